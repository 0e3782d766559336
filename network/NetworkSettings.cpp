#include "network/NetworkSettings.h"

#include "network/AddressCalc.h"
#include "nmea/Numbers.h"

namespace {

constexpr TIPv4 BroadcastIP = 0xFFFFFFFF;

QString AddressText(TIPv4 ip) {
    return TAddressCalc::IPText(ip);
}

} // namespace

TNetworkFields NetworkFieldsOf(const TXPortSetup& setup) {
    TNetworkFields fields;
    fields.IP = AddressText(setup.IP());
    fields.Mask = AddressText(TAddressCalc::MaskOfHostBits(setup.HostBits()));
    fields.Gateway = AddressText(setup.Gateway());
    fields.Port = QString::number(setup.LocalPort());
    fields.Udp = setup.IsUdp();
    if (fields.Udp && setup.Destination() != BroadcastIP) {
        fields.UdpMode = umDirected;
        fields.Destination = AddressText(setup.Destination());
    }
    return fields;
}

TNetworkField StoreNetworkFields(const TNetworkFields& fields, TXPortSetup& setup) {
    const std::optional<TIPv4> ip = TAddressCalc::ParseIP(fields.IP);
    if (!ip)
        return nfIP;
    setup.SetIP(*ip);

    const std::optional<TIPv4> mask = TAddressCalc::ParseIP(fields.Mask);
    const std::optional<int> hostBits = mask ? TAddressCalc::HostBitsOfMask(*mask) : std::nullopt;
    if (!hostBits)
        return nfMask;
    setup.SetHostBits(quint8(*hostBits));

    const std::optional<TIPv4> gateway = TAddressCalc::ParseIP(fields.Gateway);
    if (!gateway)
        return nfGateway;
    setup.SetGateway(*gateway);

    const std::optional<quint64> port = ParseUnsigned(fields.Port);
    if (!port || *port < 1 || *port > 65535)
        return nfPort;
    setup.SetPort(quint16(*port));

    if (fields.Udp) {
        TIPv4 destination = BroadcastIP;
        if (fields.UdpMode == umDirected) {
            const std::optional<TIPv4> directed = TAddressCalc::ParseIP(fields.Destination);
            if (!directed)
                return nfDestination;
            destination = *directed;
        }
        setup.SetUdp(destination);
    } else {
        setup.SetTcp();
    }

    if (*ip != 0 && !TAddressCalc::HostPartValid(*ip, *mask))
        return nfIP;
    return nfNone;
}

TAssignField CheckAssignInput(const QString& mac, const QString& ip, TAssignRequest& request) {
    const auto tail = TAddressCalc::ParseMacTail(mac);
    if (!tail)
        return afMac;
    const std::optional<TIPv4> address = TAddressCalc::ParseIP(ip);
    if (!address || !TAddressCalc::AssignableIP(*address))
        return afIP;
    request.Mac5 = tail->first;
    request.Mac6 = tail->second;
    request.IP = *address;
    return afNone;
}
