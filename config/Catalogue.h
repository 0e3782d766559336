#pragma once

#include <QtGlobal>

#include <array>
#include <span>

// Constant data of the multiplexer's configuration: the choices of every code-carrying list and
// the bit assignments of the option words. The main window builds its lists and check boxes
// from these tables, and the sentences and the configuration file use the same numbers, so a
// code is always the zero-based position of its text here.

using TCodeList = std::span<const char* const>;

inline constexpr std::array<const char*, 6> SpeedCodes{"4800",  "9600",  "19200",
                                                       "38400", "57600", "115200"};
inline constexpr std::array<const char*, 6> PrioTimeoutCodes{"1 sec.", "2 sec.",  "3 sec.",
                                                             "5 sec.", "10 sec.", "30 sec."};
inline constexpr std::array<const char*, 8> InputModeCodes{
    "NMEA",         "NMEA (ERR)", "NMEA (CR/LF)", "Text to NMEA",
    "Text to PTXT", "Plain Text", "SeaTalk",      "SeaTalk-STNG"};
// SeaTalk modes exist for input 1 only; the other inputs offer the first six codes.
inline constexpr int InputModeCountOthers = 6;
inline constexpr int ModeSeaTalk = 6;
inline constexpr int ModeSeaTalkSTNG = 7;
inline constexpr int ModePlainText = 5;

inline constexpr std::array<const char*, 15> InputPriorityCodes{
    "--", "1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "20", "50", "100", "200"};
inline constexpr std::array<const char*, 11> N2KPriorityCodes{"--", "1", "2", "3", "4", "5",
                                                              "6",  "7", "8", "9", "DI"};
inline constexpr std::array<const char*, 3> HostDataModeCodes{"No", "Yes", "Override"};
inline constexpr std::array<const char*, 2> TrueWindSourceCodes{"STW", "SOG"};
inline constexpr std::array<const char*, 2> DepthSentenceCodes{"DPT", "DBT"};
inline constexpr std::array<const char*, 2> AttitudeSentenceCodes{"XDR", "PFEC"};
inline constexpr std::array<const char*, 2> TrueHeadingCodes{"HDT", "THS"};
inline constexpr std::array<const char*, 2> NoMatchModeCodes{"Default", "Block"};

// NMEA 2000 device functions of the multiplexer's virtual devices; the multiplexer translates
// the position into class and function numbers.
inline constexpr std::array<const char*, 34> DeviceFunctions{
    "NMEA 0183 Gateway",
    "PC Gateway",
    "AIS",
    "AIS (< V2)",
    "Autopilot",
    "Depth",
    "Depth & Speed",
    "Display/User Interface/Plotter",
    "DSC (< V2)",
    "ECDIS ( < V2)",
    "ECS (< V2)",
    "EPIRB",
    "EPIRB (< V2)",
    "General Purpose Display (< V2)",
    "Heading (< V2)",
    "Ownship Attitude",
    "Integrated Instruments (< V2)",
    "Integrated Navigation (< V2)",
    "Integrated Navigation System",
    "Man Overboard",
    "MF/HF Radio (< V2)",
    "Ownship Position (GNSS)",
    "Ownship Position (Loran C)",
    "Radar",
    "Rudder",
    "Satellite Communications",
    "Speed",
    "Turn Rate (< V2)",
    "VHF Radio with DSC",
    "Voyage Data Recorder",
    "Voyage Data Recorder (< V2)",
    "Water Temperature",
    "Weather Instrument (< V2)",
    "Wind/Pressure/Humidity",
};

// Bits of the default route masks (one mask per output).
struct TRouteRow {
    int Bit;
    const char* Text; // row label of the "Default Route" check boxes
};
inline constexpr std::array<TRouteRow, 10> DefaultRouteRows{{
    {0, "In 1:"},
    {1, "In 2:"},
    {2, "In 3:"},
    {3, "In 4:"},
    {4, "In 5:"},
    {5, "In 6:"},
    {6, "In 7:"},
    {7, "In 8:"},
    {8, "NMEA Conversions:"},
    {15, "NMEA 2000:"},
}};
// The bits the window owns; every other bit of a mask is kept as read.
inline constexpr quint32 DefaultRouteMask = 0x81FF;

// Option bits the program itself acts on.
inline constexpr int OptNoMatchBlock = 0;
inline constexpr int OptSeaTalkIn1 = 1; // follows the mode of input 1, has no control
inline constexpr int OptModbus = 7;
inline constexpr int OptModbusDiagnostics = 8;
inline constexpr int OptTrueWindFromSOG = 15;
inline constexpr int CnvApparentToTrueWind = 4;
inline constexpr int CnvTllToWpl = 12;
inline constexpr int N2KTllToPgn = 17;

enum TOptionWord : quint8 { owOptions, owConversions, owN2KOptions };

// One control that shows one bit of an option word. A check box shows the bit directly; a
// drop-down list (Choices not empty) selects entry 0 or 1 by the bit.
struct TOptionBit {
    const char* Name; // object name of the control
    TOptionWord Word;
    int Bit;
    const char* Text;  // check box caption, or the label of the list
    const char* Group; // box or page the control sits in
    TCodeList Choices{};
};

inline constexpr std::array<TOptionBit, 13> OptionBits{{
    {"cbNoMatch", owOptions, 0, "No Match:", "Routing", NoMatchModeCodes},
    {"chbRawSeaTalk", owOptions, 2, "Raw SeaTalk (PZRQST)", "General Options"},
    {"chbCheckGps", owOptions, 3, "Check GPS status", "Priority Control"},
    {"chbSuppressPinning", owOptions, 4, "Suppress GPS Pinning", "General Options"},
    {"chbTagBlocksOption", owOptions, 5, "TAG Blocks", "General Options"},
    {"chbNmeaV15", owOptions, 6, "NMEA V1.5", "Output Settings"},
    {"chbModbus", owOptions, 7, "Modbus", "General Options"},
    {"chbDiagnostics", owOptions, 8, "Enable Diagnostics", "Modbus"},
    {"chbSeaTalkMeters", owOptions, 10, "SeaTalk depth in meters", "General Options"},
    {"chbNoDivisor", owOptions, 11, "No Divisor", "Output Settings"},
    {"chbAisOwnPosition", owOptions, 12, "AIS Own Position to GPS data", "General Options"},
    {"cbTrueWindSource", owOptions, 15, "Speed source for True Wind:", "Conversions",
     TrueWindSourceCodes},
    {"chbVariation", owOptions, 16, "Use internal variation table", "General Options"},
}};

inline constexpr std::array<TOptionBit, 13> ConversionBits{{
    {"chbHdgHdt", owConversions, 0, "Heading Magnetic <--> True (HDG <--> HDT)", "Heading"},
    {"chbReverseHeading", owConversions, 1, "Reverse Heading  (HDM/HDG/HDT/THS)", "Heading"},
    {"chbCogToHdt", owConversions, 2, "COG to True Heading (VTG -> HDT)", "Heading"},
    {"chbVwrMwv", owConversions, 3, "VWR <--> MWV", "Wind"},
    {"chbTrueWind", owConversions, 4, "Apparent to True Wind (MWV,R -> MWV,T)", "Wind"},
    {"chbWindDirection", owConversions, 5, "Calculate Wind Direction (MWV,T -> MWD)", "Wind"},
    {"chbReverseWind", owConversions, 6, "Reverse Wind Angle (MWV)", "Wind"},
    {"chbGpsToLog", owConversions, 7, "GPS Speed to Log Speed (VTG -> VHW)", "Speed"},
    {"chbLogToGps", owConversions, 8, "Log Speed to GPS Speed (VHW -> VTG)", "Speed"},
    {"chbReverseSpeed", owConversions, 9, "Reverse Speed (VBW)", "Speed"},
    {"chbCombineVhw", owConversions, 10, "Combine Heading and Speed into VHW", "Speed"},
    {"chbHdtThs", owConversions, 11, "HDT <-> THS", "Heading"},
    {"chbTllToWpl", owConversions, 12, "TLL to WPL", "Miscellaneous"},
}};

inline constexpr std::array<TOptionBit, 19> N2KOptionBits{{
    {"chbRMC", owN2KOptions, 0, "RMC", "GPS"},
    {"chbGGA", owN2KOptions, 1, "GGA", "GPS"},
    {"chbGLL", owN2KOptions, 2, "GLL", "GPS"},
    {"chbVTG", owN2KOptions, 3, "VTG", "GPS"},
    {"chbGSx", owN2KOptions, 4, "GSx", "GPS"},
    {"chbRMB", owN2KOptions, 5, "RMB", "Autopilot"},
    {"chbAPB", owN2KOptions, 6, "APB", "Autopilot"},
    {"chbXTE", owN2KOptions, 7, "XTE", "Autopilot"},
    {"chbBWx", owN2KOptions, 8, "BWx", "Autopilot"},
    {"chbZDA", owN2KOptions, 9, "ZDA/PGN 126992", "System Time:"},
    {"cbDepth", owN2KOptions, 10, "Depth:", "Options", DepthSentenceCodes},
    {"chbGps10Hz", owN2KOptions, 11, "10 Hz", "GPS"},
    {"cbAttitude", owN2KOptions, 12, "Attitude:", "Options", AttitudeSentenceCodes},
    {"chbZTG", owN2KOptions, 13, "ZTG", "Autopilot"},
    {"chbSpeed10Hz", owN2KOptions, 14, "VBW/VHW (Speed) at 10 Hz", "Miscellaneous"},
    {"cbTrueHeading", owN2KOptions, 16, "True heading:", "Options", TrueHeadingCodes},
    {"chbTllToPgn", owN2KOptions, 17, "TLL to PGN 130074", "Conversions"},
    {"chbMxpgnUnknown", owN2KOptions, 30, "From unknown PGN's", "Generate $MXPGN"},
    {"chbMxpgnAll", owN2KOptions, 31, "From all PGN's", "Generate $MXPGN"},
}};

// The bits of a word that some control owns; the others travel back as they were read.
constexpr quint32 OwnedBits(std::span<const TOptionBit> table) {
    quint32 mask = 0;
    for (const TOptionBit& entry : table)
        mask |= quint32(1) << entry.Bit;
    return mask;
}
