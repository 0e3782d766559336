#pragma once

#include "config/Catalogue.h"
#include "config/MuxConfig.h"
#include "nmea/Nmea.h"

#include <QList>
#include <QString>

// The configuration controls of the main window's tabs, described once: which setting of the
// model each control shows and edits, in which sentence it travels, and which change handler
// serves it. The pages fill their controls from this table, the change handlers take the
// values back through it, and the tests walk it; a control that is not in it does not exist.

enum TConfigPageId : quint8 {
    cpInputsOutputs, // "NMEA Inputs/Outputs"
    cpOptions,       // "Options"
    cpConversions,   // "Conversions"
    cpModbus,        // "Modbus"
    cpNmea2000,      // "NMEA 2000"
};

enum TControlType : quint8 {
    ctList,  // drop-down list: the code is the selected position
    ctCheck, // check box: the code is 1 when ticked
    ctEdit,  // edit field, sent on Enter
};

// The settings of TMuxSettings a control can stand for.
enum TModelField : quint8 {
    mfBaudIn,
    mfBaudOut1,
    mfBaudOut2,
    mfBaudOut4,
    mfPrioTimeout,
    mfTalkerID,
    mfUniqueID,
    mfRouteOut,
    mfModeIn,
    mfModeOut,
    mfPrioIn,
    mfPrioN2K,
    mfOptions,
    mfConversions,
    mfN2KOptions,
    mfDevFunc,
    mfSrcAddr,
    mfDevInst,
};

// The change handlers; each serves a family of controls in the same way.
enum TChangeHandler : quint8 {
    chSpeed,
    chPriority,
    chTimeOut,
    chOption,
    chTrueWind,
    chConversion,
    chGeneration,
    chAttitude,
    chDepth,
    chTrueHeading,
    chDefaultRoute,
    chInputMode,
    chDeviceType,
    chTalkerID,
    chUniqueID,
    chSourceAddress,
    chDeviceInstance,
};

struct THandlerDesc {
    TChangeHandler Handler;
    const char* Name; // the handler as the window's code names it
    TSentenceKind Sentence;
    bool Guarded;       // does nothing while Refreshing is set
    bool WholeSentence; // takes every control of the sentence, not only the changed one
    bool RefreshAfter;  // the controls are filled again after the answer
};

const THandlerDesc& HandlerOf(TChangeHandler handler);

struct TControlDesc {
    QString Name; // object name of the widget
    TControlType Type;
    TConfigPageId Page;
    QString Group;   // object name of the box or page the control sits in directly
    QString Caption; // text of a check box; for lists and fields the label of their row
    TChangeHandler Handler;
    TModelField Field;
    int Index = 0; // entry of an array field
    int Bit = -1;  // bit of a mask field; -1 for the whole value
    TCodeList Codes{};
    // Shows the same setting as another control (Out3's speed is In3's): the two follow each
    // other, and only the other one is read back into the model.
    bool Mirror = false;

    TSentenceKind Sentence() const { return HandlerOf(Handler).Sentence; }
};

// Every configuration control, page by page.
const QList<TControlDesc>& ConfigControls();
// Position in ConfigControls() of the control with that object name; -1 when there is none.
int FindControl(QStringView name);

// The code a list or check box shows for the model: the list position or the bit.
int ControlCode(const TMuxSettings& settings, const TControlDesc& control);
// Stores a list position or check state into the model. For a bit of a mask only that bit
// changes.
void SetControlCode(TMuxSettings& settings, const TControlDesc& control, int code);
// Stores the text of a talker ID or unique ID field.
void SetControlText(TMuxSettings& settings, const TControlDesc& control, const QString& text);
// The text an edit field shows: the talker ID, the unique ID, a device instance, a source
// address or "n/a" for a port without one.
QString ControlText(const TMuxSettings& settings, const TControlDesc& control);

inline const QString NoAddressText = QStringLiteral("n/a");

// Input 1 reading SeaTalk runs at 4800 bit/s: the speed list is locked to code 0.
bool In1ReadsSeaTalk(const TMuxSettings& settings);
// Output 4 is given to Modbus: its routing column and host-data list give way.
bool ModbusOn(const TMuxSettings& settings);
