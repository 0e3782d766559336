#include "config/ConfigEditor.h"

#include "config/ConfigSentences.h"
#include "nmea/Numbers.h"
#include "session/Session.h"
#include "session/User.h"

#include <algorithm>

namespace {

const QString MsgTalkerProprietary = QStringLiteral("A Talker ID cannot start with a 'P'");
const QString MsgTalkerIllegal = QStringLiteral("Illegal character in Talker ID");

QString MsgNotAnInteger(const QString& text) {
    return QStringLiteral("'%1' is not a valid integer value").arg(text);
}

constexpr int MaxSourceAddress = 251;
constexpr int MaxDeviceInstance = 255;

// The window shows "n/a" for a port without an address; an emptied field means the same.
bool MeansNoAddress(const QString& text) {
    return text.isEmpty() || text == NoAddressText;
}

} // namespace

TConfigEditor::TConfigEditor(TSession& aSession, IUser& aUser, QObject* parent)
    : QObject(parent)
    , session(aSession)
    , user(aUser) {
    // Commands held back by a wait that was not ours go out once that wait has ended (and the
    // code that waited has run on).
    connect(&session, &TSession::WaitsFinished, this, [this] {
        if (!pending.isEmpty())
            QMetaObject::invokeMethod(this, &TConfigEditor::RunPending, Qt::QueuedConnection);
    });
}

QList<int> TConfigEditor::ControlsOf(TChangeHandler handler) const {
    QList<int> list;
    const QList<TControlDesc>& all = ConfigControls();
    for (qsizetype i = 0; i < all.size(); ++i)
        if (all[i].Handler == handler)
            list.append(int(i));
    // Fields are checked and stored in port order.
    std::stable_sort(list.begin(), list.end(),
                     [&all](int a, int b) { return all[a].Index < all[b].Index; });
    return list;
}

void TConfigEditor::ControlChange(int control) {
    if (!controls || control < 0 || control >= ConfigControls().size())
        return;
    const TControlDesc& changed = ConfigControls().at(control);
    const THandlerDesc& handler = HandlerOf(changed.Handler);
    if (handler.Guarded && session.Refreshing)
        return;
    switch (changed.Handler) {
    case chSpeed:
        cbBaudIOChange(control);
        break;
    case chInputMode:
        cbInputModeChange(control);
        break;
    case chTalkerID:
    case chUniqueID:
    case chSourceAddress:
    case chDeviceInstance:
        break; // fields are sent on Enter
    default:
        TakeValues(control);
        Submit(handler.Sentence, handler.RefreshAfter);
        break;
    }
}

void TConfigEditor::ControlEnter(int control) {
    if (!controls || control < 0 || control >= ConfigControls().size())
        return;
    switch (ConfigControls().at(control).Handler) {
    case chTalkerID:
        edtTalkerIDKeyPress();
        break;
    case chUniqueID:
        edtUniqueIDKeyPress(control);
        break;
    case chSourceAddress:
        edtSrcAddrKeyPress();
        break;
    case chDeviceInstance:
        edtDevInstKeyPress();
        break;
    default:
        break;
    }
}

void TConfigEditor::TakeValues(int control) {
    const QList<TControlDesc>& all = ConfigControls();
    const TControlDesc& changed = all.at(control);
    if (!HandlerOf(changed.Handler).WholeSentence) {
        SetControlCode(session.Config, changed, controls->Code(control));
        return;
    }
    for (qsizetype i = 0; i < all.size(); ++i) {
        const TControlDesc& c = all[i];
        if (c.Sentence() != changed.Sentence() || c.Type == ctEdit || c.Mirror)
            continue;
        const int code = controls->Code(int(i));
        if (code >= 0)
            SetControlCode(session.Config, c, code);
    }
}

void TConfigEditor::cbBaudIOChange(int control) {
    // Input 3 and output 3 are one port with one speed: the other list follows.
    const QList<TControlDesc>& all = ConfigControls();
    const TControlDesc& changed = all.at(control);
    for (qsizetype i = 0; i < all.size(); ++i) {
        if (i != control && all[i].Field == changed.Field && all[i].Index == changed.Index)
            controls->SetCode(int(i), controls->Code(control));
    }
    TakeValues(control);
    Submit(nkSP, HandlerOf(chSpeed).RefreshAfter);
}

void TConfigEditor::cbInputModeChange(int control) {
    TakeValues(control);
    Submit(nkIN, HandlerOf(chInputMode).RefreshAfter);
}

void TConfigEditor::edtTalkerIDKeyPress() {
    for (const int c : ControlsOf(chTalkerID)) {
        const QString text = controls->Text(c);
        switch (CheckTalkerID(text)) {
        case tiEmpty:
        case tiValid:
            controls->Mark(c, fmNormal);
            SetControlText(session.Config, ConfigControls().at(c), text);
            break;
        case tiProprietary:
            controls->Mark(c, fmInvalid);
            user.ShowMessage(MsgTalkerProprietary);
            return;
        case tiIllegal:
            controls->Mark(c, fmInvalid);
            user.ShowMessage(MsgTalkerIllegal);
            return;
        }
    }
    Submit(nkID, HandlerOf(chTalkerID).RefreshAfter);
}

bool TConfigEditor::TalkerIDExit(int control) {
    if (!controls)
        return true;
    switch (CheckTalkerID(controls->Text(control))) {
    case tiEmpty:
    case tiValid:
        return true;
    case tiProprietary:
        controls->Mark(control, fmInvalid);
        user.ShowMessage(MsgTalkerProprietary);
        return false;
    case tiIllegal:
        break;
    }
    controls->Mark(control, fmInvalid);
    user.ShowMessage(MsgTalkerIllegal);
    return false;
}

void TConfigEditor::edtUniqueIDKeyPress(int control) {
    controls->Mark(control, fmNormal);
    SetControlText(session.Config, ConfigControls().at(control),
                   controls->Text(control).left(UniqueIDLength));
    Submit(nkUI, HandlerOf(chUniqueID).RefreshAfter);
}

void TConfigEditor::edtSrcAddrKeyPress() {
    const QList<int> fields = ControlsOf(chSourceAddress);
    for (const int c : fields)
        controls->Mark(c, fmButtonFace);
    for (const int c : fields) {
        const QString text = controls->Text(c);
        const TControlDesc& desc = ConfigControls().at(c);
        if (MeansNoAddress(text)) {
            SetControlCode(session.Config, desc, NoSourceAddress);
            continue;
        }
        const std::optional<qint32> value = ParseInt32(text);
        if (!value) {
            user.ShowMessage(MsgNotAnInteger(text));
            return;
        }
        // Any other number leaves the port's address as it was.
        if (*value >= 0 && *value <= MaxSourceAddress)
            SetControlCode(session.Config, desc, *value);
    }
    Submit(nkNA, HandlerOf(chSourceAddress).RefreshAfter);
}

void TConfigEditor::edtDevInstKeyPress() {
    const QList<int> fields = ControlsOf(chDeviceInstance);
    for (const int c : fields)
        controls->Mark(c, fmNormal);
    for (const int c : fields) {
        const QString text = controls->Text(c);
        if (MeansNoAddress(text))
            continue;
        const std::optional<qint32> value = ParseInt32(text);
        if (!value) {
            user.ShowMessage(MsgNotAnInteger(text));
            return;
        }
        if (*value >= 0 && *value <= MaxDeviceInstance)
            SetControlCode(session.Config, ConfigControls().at(c), *value);
    }
    Submit(nkND, HandlerOf(chDeviceInstance).RefreshAfter);
}

void TConfigEditor::Submit(TSentenceKind kind, bool refresh) {
    // A sentence already waiting to go out goes once, formatted from the model when it is sent.
    for (TPending& queued : pending) {
        if (queued.Kind == kind) {
            queued.Refresh = queued.Refresh || refresh;
            return;
        }
    }
    pending.append({kind, refresh});
    RunPending();
}

bool TConfigEditor::MayRunNow() const {
    return !running && session.WaitDepth() == 0;
}

void TConfigEditor::RunPending() {
    // The command that runs takes the queue on when it ends; someone else's wait brings us
    // back through WaitsFinished.
    while (!pending.isEmpty() && MayRunNow()) {
        if (!session.IsOpen() || session.Activity() != acIdle) {
            // A new read or a lost link: the model is being replaced, nothing of it is sent.
            pending.clear();
            break;
        }
        Run(pending.takeFirst());
    }
}

void TConfigEditor::Run(const TPending& command) {
    running = true;
    try {
        session.SendAndWait(FormatCommand(command.Kind, session.Config), command.Kind);
        if (command.Kind == nkIN)
            SetBit(session.Config.Options, OptSeaTalkIn1, In1ReadsSeaTalk(session.Config));
        if (command.Refresh && controls)
            controls->RefreshControls();
    } catch (const ECancelled&) {
        // The program is closing: nothing more goes out.
        pending.clear();
    } catch (const ELinkLost&) {
        // The disconnect has said so, and nothing more can go out.
        pending.clear();
    } catch (const EError& e) {
        // The model keeps the new value and the control the user's choice; no refresh.
        user.ShowMessage(e.Message());
    }
    running = false;
}
