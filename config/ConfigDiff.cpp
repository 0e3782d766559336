#include "config/ConfigDiff.h"

#include "config/IniFile.h"
#include "config/MuxConfig.h"

namespace {

const QStringList ComparedSections{QStringLiteral("Configuration"), QStringLiteral("Routing"),
                                   QStringLiteral("ModBus")};

} // namespace

QList<TSettingDifference> CompareConfigurations(const TMuxConfig& device, const TMuxConfig& file) {
    // Both sides in the form the file takes, so that values compare as they are written.
    TIniFile deviceIni;
    TIniFile fileIni;
    device.SaveToIni(deviceIni, QString(), QString(), QString(), QString());
    file.SaveToIni(fileIni, QString(), QString(), QString(), QString());

    QList<TSettingDifference> differences;
    for (const QString& section : ComparedSections) {
        // Keys in the device's order, then those only the file has.
        QStringList keys;
        for (const auto& [key, value] : deviceIni.Entries(section))
            keys.append(key);
        for (const auto& [key, value] : fileIni.Entries(section))
            if (!keys.contains(key, Qt::CaseInsensitive))
                keys.append(key);
        for (const QString& key : std::as_const(keys)) {
            const QString deviceValue = deviceIni.Value(section, key).value_or(QString());
            const QString fileValue = fileIni.Value(section, key).value_or(QString());
            if (deviceValue != fileValue)
                differences.append({section + u'.' + key, deviceValue, fileValue});
        }
    }
    return differences;
}

QString DifferenceLine(const TSettingDifference& difference) {
    return difference.Key + QStringLiteral(": ") + difference.Device + QStringLiteral(" -> ") +
           difference.File;
}
