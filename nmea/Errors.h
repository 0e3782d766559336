#pragma once

#include <QString>
#include <stdexcept>

// Every failure the program reports travels as one of these: the command that started the
// work catches them and shows the text. They carry the message as UTF-8 so that what() stays
// usable, and give the QString back unchanged.
class EError : public std::runtime_error {
public:
    explicit EError(const QString& message)
        : std::runtime_error(message.toStdString())
        , text(message) {}
    const QString& Message() const noexcept { return text; }

private:
    QString text;
};

// A sentence that cannot be used; the receive pump discards these silently.
class ENmeaError : public EError {
public:
    using EError::EError;
};

// Access to a field a sentence does not have. Unlike ENmeaError this is a fault of the
// handler that asked, so the receive pump reports it.
class EFieldError : public EError {
public:
    using EError::EError;
};

// Link failures (bootloader replies, opening ports).
class ECommError : public EError {
public:
    using EError::EError;
};

// A socket that failed while writing: for TCP the connection is gone.
class ESocketError : public ECommError {
public:
    using ECommError::ECommError;
};

// No reply from the multiplexer in time.
class ETimeOut : public EError {
public:
    using EError::EError;
};

// File input and output.
class EInOutError : public EError {
public:
    using EError::EError;
};
