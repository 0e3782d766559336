#include "config/InOutPage.h"

#include "ui_InOutPage.h"

#include "session/Session.h"

#include <QLineEdit>
#include <QStyle>
#include <QStyleOptionFrame>

namespace {

// Capability bit of a multiplexer with an NMEA 2000 interface.
constexpr quint16 CapabilityN2K = 0x10;

} // namespace

TInOutPage::TInOutPage(QWidget* parent)
    : TConfigPage(cpInputsOutputs, parent)
    , ui(new Ui::TInOutPage) {
    ui->setupUi(this);
    // A talker ID is two letters: the field is as wide as two wide ones need in the page's font.
    QLineEdit* const fields[] = {ui->edtTalkerID1, ui->edtTalkerID2, ui->edtTalkerID3,
                                 ui->edtTalkerID4, ui->edtTalkerID5, ui->edtTalkerID6,
                                 ui->edtTalkerID7, ui->edtTalkerID8, ui->edtTalkerIDConv};
    for (QLineEdit* field : fields) {
        QStyleOptionFrame option;
        option.initFrom(field);
        const QSize text(field->fontMetrics().horizontalAdvance(QStringLiteral("WW")) + 8,
                         field->sizeHint().height());
        field->setFixedWidth(
            style()->sizeFromContents(QStyle::CT_LineEdit, &option, text, field).width());
    }
    // Controls hidden by the input mode or by Modbus on output 4 keep their room, so the
    // columns do not move under the pointer.
    for (QWidget* w : findChildren<QWidget*>()) {
        QSizePolicy policy = w->sizePolicy();
        policy.setRetainSizeWhenHidden(true);
        w->setSizePolicy(policy);
    }
}

TInOutPage::~TInOutPage() {
    delete ui;
}

QList<QWidget*> TInOutPage::Containers() {
    return {ui->gbInputSettings, ui->gbOutputSettings, ui->gbPriority};
}

void TInOutPage::RefreshInputsOutputs() {
    TMuxConfig& config = session->Config;

    // Input 1 reading SeaTalk runs at 4800 bit/s, which the list then shows and locks.
    const bool seaTalk = In1ReadsSeaTalk(config);
    if (seaTalk)
        config.BaudIn[0] = 0;
    ui->cbBaudIn1->setEnabled(widgets->Enabled && !seaTalk);

    // Plain text has no talker.
    const std::array<QLineEdit*, InputCount> talkers{
        ui->edtTalkerID1, ui->edtTalkerID2, ui->edtTalkerID3, ui->edtTalkerID4,
        ui->edtTalkerID5, ui->edtTalkerID6, ui->edtTalkerID7, ui->edtTalkerID8};
    for (int i = 0; i < InputCount; ++i)
        talkers[i]->setVisible(config.ModeIn[i] != ModePlainText);

    // Output 4 running Modbus routes nothing and carries no host data.
    const bool modbus = ModbusOn(config);
    for (QWidget* w : {ui->chbRouteIn1Out4, ui->chbRouteIn2Out4, ui->chbRouteIn3Out4,
                       ui->chbRouteIn4Out4, ui->chbRouteIn5Out4, ui->chbRouteIn6Out4,
                       ui->chbRouteIn7Out4, ui->chbRouteIn8Out4, ui->chbRouteConvOut4})
        w->setVisible(!modbus);
    ui->cbHostData4->setVisible(!modbus);
    ui->chbRouteN2KOut4->setVisible(!modbus &&
                                    (session->Identification().Capabilities & CapabilityN2K));
    ui->lblModbusOut4->setVisible(modbus);

    FillControls();
}
