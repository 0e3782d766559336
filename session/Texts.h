#pragma once

#include <QString>

// Texts that the window and the command-line tool both show; one place each, so that the two
// faces of the program say the same thing.

// The caption of every question and warning box.
inline QString ProgramCaption() {
    return QStringLiteral("Tidewright");
}

inline QString MsgNoResponse() {
    return QStringLiteral("Multiplexer does not respond");
}

// A job whose link closed under it; whoever closed the link has told the user why.
inline QString MsgLinkClosed() {
    return QStringLiteral("The link to the multiplexer was closed");
}

inline QString MsgErrorCreating(const QString& fileName) {
    return QStringLiteral("Error Creating \"%1\"").arg(fileName);
}

// A command refused because the multiplexer is busy with another one.
inline QString MsgBusy() {
    return QStringLiteral("The multiplexer is busy. Please try again when it has finished.");
}
