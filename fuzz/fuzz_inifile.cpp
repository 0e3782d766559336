// The configuration file reader on arbitrary bytes: loading never fails, and once a file has
// been saved by the program, loading and saving it again gives the same bytes.
#include "config/IniFile.h"
#include "config/MuxConfig.h"

#include <cstdint>
#include <cstdlib>

namespace {

QByteArray LoadAndSave(const QByteArray& bytes) {
    // As Save does with an existing file: read it, and write the model into what was read.
    TMuxConfig config;
    TIniFile ini = TIniFile::FromBytes(bytes);
    config.LoadFromIni(ini);
    config.SaveToIni(ini, QStringLiteral("tool"), QStringLiteral("device"), QStringLiteral("1.0"),
                     QStringLiteral("1"));
    return ini.ToBytes();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));

    // Reading and writing a document unchanged is stable after the first normalisation.
    const QByteArray written = TIniFile::FromBytes(input).ToBytes();
    if (TIniFile::FromBytes(written).ToBytes() != written)
        std::abort();

    // The first save normalises (blanks, cut texts, dropped entries); from then on the file
    // is a fixed point.
    const QByteArray first = LoadAndSave(input);
    const QByteArray second = LoadAndSave(first);
    if (LoadAndSave(second) != second)
        std::abort();
    return 0;
}
