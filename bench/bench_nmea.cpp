// Sentence construction over a mix of lines as a busy multiplexer forwards them.
#include "nmea/Nmea.h"

#include <benchmark/benchmark.h>

#include <QStringList>

namespace {

const QStringList& Corpus() {
    static const QStringList lines{
        "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A",
        "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47",
        "$IIMWV,045.0,R,12.6,N,A*2B",
        "$SDDPT,12.3,0.5*6F",
        "$HCHDG,101.1,,,7.1,W*3C",
        "!AIVDM,1,1,,A,13aEOK?P00PD2wVMdLDRhgvL289?,0*26",
        "!AIVDM,2,1,3,B,55P5TL01VIaAL@7WKO@mBplU@<PDhh000000001S;AJ::4A80?4i@E53,0*3E",
        "\\s:CVZ0001-3,c:1700000000*5B\\$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,"
        "003.1,W*6A",
        "\\s:CVZ0001#1C,c:1700000000*20\\$IIMWV,045.0,R,12.6,N,A*2B",
        "\\s:CVZ0001=35*00\\$WIMWD,270.0,T,266.9,M,12.6,N,6.5,M*5A",
        "\\s:CVZ0001-9*00\\$GPVTG,084.4,T,081.3,M,022.4,N,041.5,K,A*2C",
        "$PZRQSTAT,R,10368,50,10,20,0,0,0,100,12*00",
        "$PZRQNA,R,1,2,3,-,5,6,7,8,9,10*00",
        "$PZRQRTE,R,GPRMC,0003,0,41,0000000000000000*00",
        "\\s:CVZ0001#0A*00\\$PZRQNP,B,Wind Sensor,SN12345*00",
        "$PZRQOV,C*00",
    };
    return lines;
}

void SentenceConstruction(benchmark::State& state) {
    const QStringList& lines = Corpus();
    const QString uniqueId = QStringLiteral("CVZ0001");
    qsizetype i = 0;
    for (auto _ : state) {
        TSentence sentence(lines[i], uniqueId);
        benchmark::DoNotOptimize(sentence.Kind);
        if (++i == lines.size())
            i = 0;
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["lines/s"] =
        benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(SentenceConstruction);

} // namespace
