#pragma once

#include <QList>
#include <QString>

class TMuxConfig;

// One setting that a configuration file would change: the key as the file names it, with its
// section ("Configuration.Baud In1", "Routing.R02"), and the two values as the file writes
// them; an empty value where one side has no such entry (a shorter table).
struct TSettingDifference {
    QString Key;
    QString Device;
    QString File;

    bool operator==(const TSettingDifference&) const = default;
};

// The settings and table entries whose values differ between the multiplexer's configuration
// (the model after a read) and a file's (a model loaded from it, so that what is compared is
// what loading would send: missing keys count with their defaults). Source addresses are never
// in a file and never compared.
QList<TSettingDifference> CompareConfigurations(const TMuxConfig& device, const TMuxConfig& file);

// "Section.Key: device -> file".
QString DifferenceLine(const TSettingDifference& difference);
