#pragma once

#include <QString>
#include <QStringList>

class TSentence;

// What the NMEA viewer shows: the source filter, the scrolling and the one-line-per-address
// modes, with or without TAG blocks. Widget-free, so the command-line monitor shows exactly
// what the window would.
class TViewer {
public:
    static constexpr qsizetype MaxScrollLines = 101;

    // The items of the "Source:" filter, in order.
    static const QStringList& FilterItems();
    // ViewFilter value for a filter item: "All" -1, "Multiplexer" 0, otherwise the item index.
    static int FilterOfItem(int item);

    int ViewFilter = -1; // -1 all, 0 the multiplexer, 1..8 inputs, 9 conversions, 10 NMEA 2000
    bool NoScroll = false;
    bool TagBlocks = false;
    QStringList Lines; // ViewerLines
    // What changed since a view last caught up: lines appended to the end in scrolling mode,
    // or any other change (a line replaced, the list cleared), after which a view rebuilds.
    qint64 Appended = 0;
    bool Rewritten = false;

    // Whether the source filter lets the sentence through.
    bool Accepts(const TSentence& sentence) const;
    // The text shown for a sentence (with its TAG block when TagBlocks is on).
    QString ShownText(const TSentence& sentence) const;
    // Adds a sentence that passed the filter; returns false for sentences never shown
    // (statistics).
    bool Add(const TSentence& sentence);
    void Clear() {
        Lines.clear();
        Rewritten = true;
    }
};
