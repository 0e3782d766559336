// The configuration file reader on arbitrary bytes: loading never fails, and once a file has
// been saved by the program, loading and saving it again gives the same bytes.
#include "config/IniFile.h"
#include "config/MuxConfig.h"

#include <cstdint>
#include <cstdlib>
#include <utility>

namespace {

QByteArray LoadAndSave(TIniFile ini) {
    // As Save does with an existing file: read it, and write the model into what was read.
    TMuxConfig config;
    config.LoadFromIni(ini);
    config.SaveToIni(ini, QStringLiteral("tool"), QStringLiteral("device"), QStringLiteral("1.0"),
                     QStringLiteral("1"));
    return ini.ToBytes();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TIniFile read = TIniFile::FromBytes(QByteArrayView(data, qsizetype(size)));

    // Reading and writing a document unchanged is stable after the first normalisation.
    const QByteArray written = read.ToBytes();
    if (TIniFile::FromBytes(written).ToBytes() != written)
        std::abort();

    // The first save normalises (blanks, cut texts, dropped entries); the file it writes loads
    // back as the model it was saved from, so saving again gives the same bytes. That check
    // costs as much as the rest of the run but depends on nothing except the bytes of the first
    // save, which are often those of the input before: a first save equal to the one checked
    // last is already known to be such a file.
    static QByteArray lastChecked;
    const QByteArray first = LoadAndSave(std::move(read));
    if (first != lastChecked) {
        if (LoadAndSave(TIniFile::FromBytes(first)) != first)
            std::abort();
        lastChecked = first;
    }
    return 0;
}
