#include "network/NetworkJobs.h"

#include "network/AddressCalc.h"
#include "session/User.h"

#include <QCoreApplication>

#include <optional>

namespace {

// The hourglass and the progress window for the span of one job.
class TProgressScope {
public:
    TProgressScope(IUser& aUser, const QString& caption, int maximum)
        : user(aUser) {
        user.ShowProgress(caption);
        user.SetProgressTask(QString());
        user.SetProgressRange(0, maximum);
        user.SetProgressPosition(0);
    }
    ~TProgressScope() { user.HideProgress(); }
    TProgressScope(const TProgressScope&) = delete;
    TProgressScope& operator=(const TProgressScope&) = delete;

private:
    IUser& user;
};

class TBusyScope {
public:
    explicit TBusyScope(IUser& aUser)
        : user(aUser) {
        user.SetBusy(true);
    }
    ~TBusyScope() { user.SetBusy(false); }
    TBusyScope(const TBusyScope&) = delete;
    TBusyScope& operator=(const TBusyScope&) = delete;

private:
    IUser& user;
};

// Positions 0 to last, one pause after each.
void StepThrough(TXPort& xport, IUser& user, int last) {
    for (int step = 0; step <= last; ++step) {
        user.SetProgressPosition(step);
        XPortPause(xport.Options().PauseMs);
    }
}

} // namespace

void RunAssignIP(TXPort& xport, IUser& user, const TAssignRequest& request) {
    TBusyScope busy(user);
    xport.AssignIP(request.Mac5, request.Mac6, request.IP);
    TProgressScope progress(user, AssigningCaption, 19);
    StepThrough(xport, user, 19);
}

bool VerifyNetworkSettings(TXPort& xport, IUser& user, const QString& host,
                           const TXPortSetup& setup, bool ipChanged) {
    const QString verify = ipChanged && setup.IP() != 0 ? TAddressCalc::IPText(setup.IP()) : host;
    bool verified = false;
    {
        // The device server restarts with its new settings: give it five seconds, then look
        // for it for up to ten attempts.
        TProgressScope progress(user, UpdatingCaption, 20);
        for (int step = 1; step <= 20 && !verified; ++step) {
            user.SetProgressPosition(step);
            QCoreApplication::processEvents();
            if (step <= 10)
                XPortPause(xport.Options().PauseMs);
            else
                verified = xport.TryConnect(verify, xport.Options().VerifyTimeoutMs);
        }
    }
    if (!verified)
        user.ShowMessage(UnableToVerifyText);
    return verified;
}

TWriteOutcome WriteNetworkSettings(TXPort& xport, IUser& user, const QString& host,
                                   const TXPortSetup& setup, bool ipChanged) {
    TBusyScope busy(user);
    if (!xport.SetSetup(host, setup, ipChanged)) {
        user.ShowMessage(CannotConnectText);
        return woFailed;
    }
    return VerifyNetworkSettings(xport, user, host, setup, ipChanged) ? woVerified : woUnverified;
}

bool RunFactoryReset(TXPort& xport, IUser& user, const QString& host) {
    if (!user.AskYesNo(FactoryResetQuestion))
        return false;
    std::optional<TBusyScope> busy(std::in_place, user);
    if (!xport.RestoreDefaults(host)) {
        busy.reset();
        user.ShowMessage(CannotConnectText);
        return false;
    }
    TProgressScope progress(user, RestoringCaption, 20);
    StepThrough(xport, user, 20);
    return true;
}
