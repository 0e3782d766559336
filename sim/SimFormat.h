#pragma once

#include <QByteArray>
#include <QByteArrayView>

// Small text helpers of the simulator's sentence output.

// Upper-case hexadecimal, zero-padded to at least width digits, as bytes for the wire.
QByteArray HexBytes(quint64 value, int width);

// A complete TAG block around its parameters: "\" + parameters + "*" + checksum + "\". The
// checksum covers the parameters, as the sentence checksum covers what follows "$".
QByteArray TagBlock(QByteArrayView parameters);
