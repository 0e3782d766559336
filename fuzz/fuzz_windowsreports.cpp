// Statistics and navigation database reports on arbitrary received lines: a statistics report
// sets a prefix of its fields and nothing else, its text and CSV forms keep their shape, and a
// database entry comes only from a "$PZRQDB" report with field 1 "R".
#include "windows/Database.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString line = QString::fromLatin1(reinterpret_cast<const char*>(data), qsizetype(size));
    const TSentence sentence(line, QStringLiteral("CVZ"));

    TStatValues values;
    values.Value.fill(7);
    const int set = ApplyStatReport(sentence, values);
    if (set < 0 || set > int(sbCount) || (set > 0 && sentence.Fields.value(1) != u"R"))
        std::abort();
    for (const TStatBarInfo& info : StatBars) {
        const bool expected = info.Field < 2 + set;
        if (values.Has(info.Bar) != expected || (!expected && values.Value[info.Bar] != 7))
            std::abort();
    }
    if (StatsCsvLine(1.5, values).count(u',') != StatsCsvHeader().count(u','))
        std::abort();
    if (StatsTextLine(1.5, values).contains(u'\n'))
        std::abort();

    const std::optional<TNavDBEntry> entry = ParseNavDBReport(sentence);
    if (entry.has_value() != (sentence.Kind == nkDB && sentence.Fields.value(1) == u"R"))
        std::abort();
    if (entry && entry->Parameter.size() + entry->Value.size() + entry->Source.size() > line.size())
        std::abort();
    return 0;
}
