#pragma once

// What every way out of a firmware update leaves behind, whatever ended it: no progress window,
// the normal cursor, the link in line mode and free for other work, and the session idle.
#include "ScriptedUser.h"

#include "comms/Comms.h"
#include "session/Session.h"

#include <QTest>

inline void VerifyUpdateReleased(TSession& session, const TScriptedUser& user, int timeoutMs) {
    QVERIFY(!user.ProgressShown);
    QVERIFY(!user.Busy);
    QVERIFY(!session.Comm().InPacketMode());
    QVERIFY(!session.LinkHeld);
    QVERIFY(!session.FirmwareUpdateRunning);
    QTRY_COMPARE_WITH_TIMEOUT(session.Activity(), acIdle, timeoutMs);
}
