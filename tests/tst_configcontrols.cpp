// The table of configuration controls against the sentences they travel in: every setting the
// sentences carry is edited by exactly one control, or is known to have none.
#include "config/ConfigControls.h"
#include "config/ConfigSentences.h"
#include "nmea/Numbers.h"

#include <QSet>
#include <QTest>

namespace {

// One thing a sentence carries: a field, or one bit of a field that holds a mask.
struct TCell {
    TSentenceKind Kind;
    int Field;
    int Bit; // -1 for a field that is not a mask

    bool operator==(const TCell&) const = default;
};

size_t qHash(const TCell& cell, size_t seed = 0) {
    return ::qHash(cell.Kind * 10000 + cell.Field * 100 + cell.Bit + 1, seed);
}

QString CellText(const TCell& cell) {
    return QStringLiteral("%1 field %2%3")
        .arg(QLatin1StringView(NameOfKind(cell.Kind)))
        .arg(cell.Field)
        .arg(cell.Bit >= 0 ? QStringLiteral(" bit %1").arg(cell.Bit) : QString());
}

// The sentences that carry settings, and which of their fields are masks with how many bits.
const QList<TSentenceKind> Sentences{nkCF, nkSP,  nkID, nkUI, nkDR, nkIN, nkPR,
                                     nkOP, nkCNV, nkNO, nkNF, nkNA, nkND};

int MaskBits(TSentenceKind kind, int field) {
    if (kind == nkDR && field % 2 == 0)
        return 16;
    if ((kind == nkOP || kind == nkCNV || kind == nkNO) && field == 2)
        return 32;
    return 0;
}

// What nobody edits from the tabs.
QSet<TCell> WithoutControl() {
    QSet<TCell> cells;
    cells.insert({nkCF, 2, -1}); // always 3
    for (int field = 2; field <= 8; field += 2)
        for (int bit = 9; bit <= 14; ++bit)
            cells.insert({nkDR, field, bit}); // reserved route bits, sent back as read
    cells.insert({nkOP, 2, 0});               // "No Match:", on the routing page with its table
    cells.insert({nkOP, 2, 1});               // follows input 1's mode
    for (int bit : {9, 13, 14})
        cells.insert({nkOP, 2, bit});
    for (int bit = 17; bit < 32; ++bit)
        cells.insert({nkOP, 2, bit});
    for (int bit = 13; bit < 32; ++bit)
        cells.insert({nkCNV, 2, bit});
    cells.insert({nkNO, 2, 15});
    for (int bit = 18; bit <= 29; ++bit)
        cells.insert({nkNO, 2, bit});
    return cells;
}

QStringList CommandFields(TSentenceKind kind, const TMuxSettings& settings) {
    return FormatCommand(kind, settings).split(u',');
}

// The cells a control changes when it is given a value other than the empty model's.
QList<TCell> CellsOf(const TControlDesc& control) {
    const TMuxSettings empty;
    TMuxSettings changed;
    if (control.Type == ctEdit) {
        if (control.Field == mfTalkerID || control.Field == mfUniqueID)
            SetControlText(changed, control, QStringLiteral("AB"));
        else
            SetControlCode(changed, control, 7);
    } else {
        SetControlCode(changed, control, 1);
    }
    QList<TCell> cells;
    for (const TSentenceKind kind : Sentences) {
        const QStringList before = CommandFields(kind, empty);
        const QStringList after = CommandFields(kind, changed);
        for (int field = 2; field < before.size(); ++field) {
            if (before[field] == after[field])
                continue;
            if (MaskBits(kind, field) == 0) {
                cells.append({kind, field, -1});
                continue;
            }
            const quint32 diff = *ParseHex32(before[field]) ^ *ParseHex32(after[field]);
            for (int bit = 0; bit < 32; ++bit)
                if (diff & (1u << bit))
                    cells.append({kind, field, bit});
        }
    }
    return cells;
}

} // namespace

class TestConfigControls : public QObject {
    Q_OBJECT

private slots:
    void EverySettingHasOneControl();
    void NamesAreUnique();
    void CodesRoundTrip();
    void SourceAddressText();
};

void TestConfigControls::EverySettingHasOneControl() {
    const QList<TControlDesc>& controls = ConfigControls();
    QHash<TCell, QStringList> owners;
    for (const TControlDesc& control : controls) {
        const QList<TCell> cells = CellsOf(control);
        QVERIFY2(cells.size() == 1, qPrintable(control.Name));
        // The control travels in the sentence its handler sends.
        QVERIFY2(cells[0].Kind == control.Sentence(), qPrintable(control.Name));
        if (!control.Mirror)
            owners[cells[0]].append(control.Name);
    }

    const QSet<TCell> none = WithoutControl();
    for (const TSentenceKind kind : Sentences) {
        const qsizetype fields = CommandFields(kind, TMuxSettings()).size();
        for (int field = 2; field < fields; ++field) {
            const int bits = MaskBits(kind, field);
            for (int bit = bits ? 0 : -1; bit < std::max(bits, 0); ++bit) {
                const TCell cell{kind, field, bit};
                const QStringList names = owners.value(cell);
                if (none.contains(cell))
                    QVERIFY2(names.isEmpty(), qPrintable(CellText(cell) + u' ' + names.join(u',')));
                else
                    QVERIFY2(names.size() == 1,
                             qPrintable(CellText(cell) + QStringLiteral(": ") + names.join(u',')));
            }
        }
    }
}

void TestConfigControls::NamesAreUnique() {
    QSet<QString> names;
    for (const TControlDesc& control : ConfigControls()) {
        QVERIFY2(!names.contains(control.Name), qPrintable(control.Name));
        names.insert(control.Name);
        QCOMPARE(ConfigControls().at(FindControl(control.Name)).Name, control.Name);
    }
    QCOMPARE(FindControl(u"nothing"), -1);
}

// What a control stores is what it then shows; a bit leaves its neighbours alone.
void TestConfigControls::CodesRoundTrip() {
    for (const TControlDesc& control : ConfigControls()) {
        if (control.Type == ctEdit)
            continue;
        TMuxSettings settings;
        settings.Options = settings.Conversions = settings.N2KOptions = 0xFFFFFFFF;
        settings.RouteOut.fill(0xFFFF);
        // A bit is cleared in a full word; a list takes its last choice.
        const int code = control.Bit >= 0 ? 0 : int(control.Codes.size()) - 1;
        SetControlCode(settings, control, code);
        QCOMPARE(ControlCode(settings, control), code);
        if (control.Bit >= 0) {
            // Only the control's own bit went down.
            const quint32 word = control.Field == mfRouteOut      ? settings.RouteOut[control.Index]
                                 : control.Field == mfOptions     ? settings.Options
                                 : control.Field == mfConversions ? settings.Conversions
                                                                  : settings.N2KOptions;
            const quint32 full = control.Field == mfRouteOut ? 0xFFFF : 0xFFFFFFFF;
            QCOMPARE(word, full & ~(1u << control.Bit));
        }
    }
}

void TestConfigControls::SourceAddressText() {
    const TControlDesc& host = ConfigControls().at(FindControl(u"edtSrcAddrMain"));
    TMuxSettings settings;
    settings.SrcAddr[DeviceHost] = 251;
    QCOMPARE(ControlText(settings, host), QString("251"));
    settings.SrcAddr[DeviceHost] = NoSourceAddress;
    QCOMPARE(ControlText(settings, host), QString("n/a"));
}

QTEST_GUILESS_MAIN(TestConfigControls)
#include "tst_configcontrols.moc"
