#include "session/Viewer.h"

#include "nmea/Nmea.h"

const QStringList& TViewer::FilterItems() {
    static const QStringList items{"All",     "Input 1",     "Input 2",   "Input 3",
                                   "Input 4", "Input 5",     "Input 6",   "Input 7",
                                   "Input 8", "Conversions", "NMEA 2000", "Multiplexer"};
    return items;
}

int TViewer::FilterOfItem(int item) {
    if (item <= 0 || item >= FilterItems().size())
        return -1;
    if (item == FilterItems().size() - 1)
        return 0;
    return item;
}

bool TViewer::Accepts(const TSentence& sentence) const {
    if (ViewFilter == -1)
        return true;
    switch (sentence.SourceKind) {
    case skPort:
        return ViewFilter == sentence.SourcePort;
    case skN2K:
        return ViewFilter == 10;
    case skNone:
    default:
        return true;
    }
}

QString TViewer::ShownText(const TSentence& sentence) const {
    return TagBlocks ? sentence.TagBlock + sentence.Text : sentence.Text;
}

bool TViewer::Add(const TSentence& sentence) {
    if (sentence.Kind == nkSTAT)
        return false;
    QString text = ShownText(sentence);
    if (!NoScroll) {
        if (Lines.size() >= MaxScrollLines)
            Lines.removeFirst();
        Lines.append(std::move(text));
        ++Appended;
        return true;
    }
    // One line per sentence address: the first line mentioning the address is replaced.
    if (!sentence.Address.isEmpty()) {
        for (QString& line : Lines) {
            if (line.contains(sentence.Address)) {
                line = std::move(text);
                Rewritten = true;
                return true;
            }
        }
    }
    Lines.append(std::move(text));
    Rewritten = true;
    return true;
}
