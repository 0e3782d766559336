#include "session/LinkUrl.h"

#include "nmea/Errors.h"
#include "nmea/Numbers.h"

TLinkTarget ParseLinkUrl(const QString& url) {
    const qsizetype colon = url.indexOf(u':');
    const QString scheme = colon < 0 ? QString() : url.left(colon).toLower();
    const QString rest = colon < 0 ? QString() : url.mid(colon + 1);
    const auto fail = [&](const QString& why) {
        return EError(QStringLiteral("Bad link \"%1\": %2.\nUse tcp:HOST[:PORT], udp:HOST[:PORT], "
                                     "udp-all:HOST[:PORT] or serial:DEVICE.")
                          .arg(url, why));
    };

    TLinkTarget target;
    if (scheme == u"serial") {
        if (rest.isEmpty())
            throw fail(QStringLiteral("no serial device"));
        target.Selector = SelectorFirstSerial;
        target.Device = rest;
        return target;
    }
    if (scheme == u"tcp")
        target.Selector = SelectorTcp;
    else if (scheme == u"udp")
        target.Selector = SelectorUdp;
    else if (scheme == u"udp-all")
        target.Selector = SelectorUdpAll;
    else
        throw fail(QStringLiteral("unknown link kind"));

    const qsizetype portColon = rest.indexOf(u':');
    target.Host = portColon < 0 ? rest : rest.left(portColon);
    target.Port = portColon < 0 ? QString::fromLatin1(DefaultNetPort) : rest.mid(portColon + 1);
    if (target.Host.isEmpty())
        throw fail(QStringLiteral("no host"));
    const std::optional<quint64> port = ParseUnsigned(target.Port);
    if (!port || *port < 1 || *port > 65535)
        throw fail(QStringLiteral("the port must be a number from 1 to 65535"));
    return target;
}
