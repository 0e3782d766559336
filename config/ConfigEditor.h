#pragma once

#include "config/ConfigControls.h"

#include <QList>
#include <QObject>

class IUser;
class TSession;

// How an edit field is marked.
enum TFieldMark : quint8 {
    fmNormal,     // the normal window colour: sent, or nothing typed
    fmTyped,      // yellow: typed into and not yet sent
    fmInvalid,    // red: a talker ID that failed its check
    fmButtonFace, // the normal look of the source address fields
};

// What the editor needs of the configuration controls on the screen. The window implements it
// over its widgets, tests may implement it over plain values. Controls are named by their
// position in ConfigControls().
class IConfigControls {
public:
    virtual ~IConfigControls() = default;
    // List position (-1 for none) or check state (1 ticked) of a list or check box.
    virtual int Code(int control) const = 0;
    virtual void SetCode(int control, int code) = 0;
    // Text of an edit field.
    virtual QString Text(int control) const = 0;
    // Colours an edit field and removes its text selection.
    virtual void Mark(int control, TFieldMark mark) = 0;
    // The window's overall refresh: every control filled again from the model.
    virtual void RefreshControls() = 0;
};

// The change handlers of the configuration controls: a user change goes into the model, and the
// whole sentence that carries it goes to the multiplexer, which must answer with the same
// sentence within 1000 ms.
//
// One command waits at a time. A change made while another command waits (the message loop runs
// during every wait, so the user can go on clicking) updates the model at once, and its sentence
// goes out when the wait has ended; a sentence already queued is sent once, with the latest
// values. So every wait ends on its own answer or its own time-out.
class TConfigEditor : public QObject {
    Q_OBJECT

public:
    TConfigEditor(TSession& session, IUser& user, QObject* parent = nullptr);

    void SetControls(IConfigControls* view) { controls = view; }

    // A list's selection changed or a check box was clicked by the user.
    void ControlChange(int control);
    // Enter in an edit field.
    void ControlEnter(int control);
    // Focus leaves a talker ID field: checks that field alone. False when it failed (the user
    // has been told and the field is marked); nothing is stored or sent either way.
    bool TalkerIDExit(int control);

    // A command of a change handler runs or waits to run.
    bool Busy() const { return running || !pending.isEmpty(); }

    // The handlers by their names; ControlChange and ControlEnter pick one of them.
    void cbBaudIOChange(int control);
    void cbInputModeChange(int control);
    void edtTalkerIDKeyPress();
    void edtUniqueIDKeyPress(int control);
    void edtSrcAddrKeyPress();
    void edtDevInstKeyPress();

private:
    struct TPending {
        TSentenceKind Kind;
        bool Refresh;
    };

    // Stores the values of the sentence's controls (or of the changed one alone) in the model.
    void TakeValues(int control);
    void Submit(TSentenceKind kind, bool refresh);
    void Run(const TPending& command);
    void RunPending();
    bool MayRunNow() const;
    QList<int> ControlsOf(TChangeHandler handler) const;

    TSession& session;
    IUser& user;
    IConfigControls* controls = nullptr;
    QList<TPending> pending;
    bool running = false;
};
