// Report handlers and route capture on arbitrary received lines (one per line of the input,
// into one model, so that its tables reach their limits): they may raise only the parameter
// error, and the model must stay within its limits and format again.
//
// The model is made afresh for every input: a model kept from input to input made every input
// look like a leak to the fuzzer, whose leak check then ran after nearly every input.
#include "config/ConfigSentences.h"
#include "config/MuxConfig.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TMuxConfig config;
    const QString input = QString::fromLatin1(reinterpret_cast<const char*>(data), qsizetype(size));
    for (const QStringView line : QStringView(input).split(u'\n')) {
        const TSentence sentence(line.toString(), QStringLiteral("CVZ"));
        try {
            HandleConfigReport(config, sentence);
        } catch (const EParameterError& e) {
            if (!e.Message().startsWith(QStringLiteral("Parameter error in sentence:\n")))
                std::abort();
        }
        if (sentence.Kind == nkNone)
            config.CaptureSentence(sentence, [](quint8 address) { return quint64(address) << 56; });
    }

    if (config.Routes.size() > MaxRoutes || config.ModbusMaps.size() > MaxModbusMaps)
        std::abort();
    for (const TRoute& route : config.Routes) {
        if (route.Sentence.size() > RouteSentenceLength || !RouteCommand(route).startsWith('$'))
            std::abort();
    }
    for (const TModbus& entry : config.ModbusMaps) {
        if (entry.XdrID.size() > XdrIDLength || !ModbusCommand(entry).startsWith('$'))
            std::abort();
    }
    for (const TSentenceKind kind : ConfigWriteOrder) {
        if (FormatCommand(kind, config).isEmpty())
            std::abort();
    }
    if (config.TalkerID[0].size() > TalkerIDLength || config.UniqueID.size() > UniqueIDLength)
        std::abort();
    return 0;
}
