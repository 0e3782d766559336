// A whole configuration dump through the report handlers, and the configuration file both ways.
#include "config/ConfigSentences.h"
#include "config/IniFile.h"
#include "config/MuxConfig.h"

#include <benchmark/benchmark.h>

namespace {

// The reports of a dump with full tables, as the multiplexer sends them.
QStringList DumpLines() {
    QStringList lines{
        "$PZRQCF,R,3,2*00",
        "$PZRQSP,R,0,1,2,3,4,5,0,1,2,3,4*00",
        "$PZRQID,R,GP,II,SD,VW,WI,HC,AI,YX,EC*00",
        "$PZRQUI,R,CVZ0001*00",
        "$PZRQDR,R,8103,0,00FF,1,0A00,2,0001,1*00",
        "$PZRQIN,R,6,1,2,3,4,5,0,1*00",
        "$PZRQPR,R,1,2,3,4,10,11,12,14,10*00",
        "$PZRQOP,R,00000005*00",
        "$PZRQCNV,R,00001FFF*00",
        "$PZRQNO,R,C002ABCD*00",
        "$PZRQNF,R,1,0,2,3,4,5,6,7,8,33*00",
        "$PZRQNA,R,0,1,2,-,4,5,6,7,8,251*00",
        "$PZRQND,R,0,1,2,3,4,5,6,7,8,255*00",
    };
    for (int i = 0; i < MaxRoutes; ++i)
        lines << QStringLiteral("$PZRQRTE,R,GP%1,8004,5,5F,8000000000ABCDEF*00")
                     .arg(i, 3, 10, QLatin1Char('0'));
    for (int i = 0; i < MaxModbusMaps; ++i)
        lines << QStringLiteral("$PZRQMB,R,X,%1,100,H,F,R,2,C,C,ENGINE ROOM,0B*00").arg(i);
    return lines;
}

void FillFromDump(TMuxConfig& config) {
    for (const QString& line : DumpLines())
        HandleConfigReport(config, TSentence(line, QStringLiteral("CVZ0001")));
}

void BM_ConfigurationDump(benchmark::State& state) {
    const QStringList lines = DumpLines();
    for (auto _ : state) {
        TMuxConfig config;
        for (const QString& line : lines)
            HandleConfigReport(config, TSentence(line, QStringLiteral("CVZ0001")));
        benchmark::DoNotOptimize(config.Routes.size());
    }
    state.SetItemsProcessed(state.iterations() * lines.size());
}
BENCHMARK(BM_ConfigurationDump);

void BM_SaveConfigFile(benchmark::State& state) {
    TMuxConfig config;
    FillFromDump(config);
    for (auto _ : state) {
        TIniFile ini;
        config.SaveToIni(ini, ToolText(), QStringLiteral("Corvanta-PX"), QStringLiteral("1.20"),
                         QStringLiteral("12345"));
        benchmark::DoNotOptimize(ini.ToBytes());
    }
}
BENCHMARK(BM_SaveConfigFile);

void BM_LoadConfigFile(benchmark::State& state) {
    TMuxConfig source;
    FillFromDump(source);
    TIniFile written;
    source.SaveToIni(written, ToolText(), QStringLiteral("Corvanta-PX"), QStringLiteral("1.20"),
                     QStringLiteral("12345"));
    const QByteArray bytes = written.ToBytes();
    for (auto _ : state) {
        TMuxConfig config;
        config.LoadFromIni(TIniFile::FromBytes(bytes));
        benchmark::DoNotOptimize(config.ModbusMaps.size());
    }
    state.SetBytesProcessed(state.iterations() * bytes.size());
}
BENCHMARK(BM_LoadConfigFile);

} // namespace
