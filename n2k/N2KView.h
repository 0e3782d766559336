#pragma once

#include <QString>
#include <QStringList>

#include <array>

class TN2KDeviceList;
struct TN2KDevice;

// What the windows and the command-line tool show of the NMEA 2000 devices, and the checks of
// the values a user enters for a device: one description for the grid, the CSV file and the
// command-line tool.

struct TN2KColumn {
    const char* Header;
    int Width; // in the grid, pixels
};

inline constexpr std::array<TN2KColumn, 8> N2KColumns{{
    {"Manufacturer", 150},
    {"Model ID", 200},
    {"Serial No.", 150},
    {"Version", 88},
    {"LE (mA)", 48},
    {"SA", 25},
    {"DI", 25},
    {"SI", 25},
}};

// The text of one cell of the device list.
QString N2KCellText(const TN2KDeviceList& list, const TN2KDevice& device, int column);
// The complete list as CSV: a header row, then one row per device; fields quoted where they
// need it, lines ending in CR LF. withName adds a last column "NAME" with each device's NAME
// in 16 hexadecimal digits, as the commands that change a device take it.
QString N2KDeviceListCsv(const TN2KDeviceList& list, bool withName = false);
// The complete list as a table of aligned columns for a terminal.
QString N2KDeviceListText(const TN2KDeviceList& list, bool withName = false);

// Texts of the device information window.
QString N2KProductCodeText(quint16 code);
QString N2KCertificationText(quint8 level);
QString N2KLoadEquivalencyText(quint8 load);

// The values entered for a device: source address, device instance, system instance.
struct TN2KDeviceEntry {
    quint8 SourceAddress = 0;
    quint8 DeviceInstance = 0;
    quint8 SystemInstance = 0;
};

// Checks the three entries in this order and fills entry with those that pass. Returns the
// message of every check that failed; empty when all passed.
QStringList CheckDeviceEntry(const QString& sourceAddress, const QString& deviceInstance,
                             const QString& systemInstance, TN2KDeviceEntry& entry);
