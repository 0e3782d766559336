#include "network/XportList.h"

#include "network/AssignIP.h"
#include "network/NetworkJobs.h"
#include "session/User.h"

#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

TXPortListDlg::TXPortListDlg(IUser& aUser, TAssignIPDlg& assignIPDlg, QWidget* parent)
    : TXPortDialog(aUser, parent)
    , assignIP(assignIPDlg) {
    setWindowTitle(QStringLiteral("Search results"));
    lblMessage = new QLabel(this);
    lblMessage->setObjectName(QStringLiteral("lblMessage"));
    lbxIPList = new QListWidget(this);
    lbxIPList->setObjectName(QStringLiteral("lbxIPList"));
    lbxIPList->setAccessibleName(QStringLiteral("Device servers found"));
    lbxIPList->setMinimumSize(280, 120);
    lbxIPList->hide();
    lblNotFound = new QLabel(QStringLiteral("No Corvanta-NX found"), this);
    lblNotFound->setObjectName(QStringLiteral("lblNotFound"));
    lblNotFound->setAlignment(Qt::AlignCenter);
    // The label takes the list's place whenever the list is hidden.
    auto* results = new QGridLayout;
    results->addWidget(lblNotFound, 0, 0);
    results->addWidget(lbxIPList, 0, 0);

    btnOK = new QPushButton(QStringLiteral("OK"), this);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnCancel = new QPushButton(QStringLiteral("Cancel"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnReset = new QPushButton(QStringLiteral("Factory Reset"), this);
    btnReset->setObjectName(QStringLiteral("btnReset"));
    btnChangeIP = new QPushButton(QStringLiteral("Change IP Addres"), this);
    btnChangeIP->setObjectName(QStringLiteral("btnChangeIP"));
    auto* buttons = new QGridLayout;
    buttons->addWidget(btnOK, 0, 0);
    buttons->addWidget(btnCancel, 0, 1);
    buttons->addWidget(btnReset, 1, 0);
    buttons->addWidget(btnChangeIP, 1, 1);

    // The window's fixed size has room for the list, shown or not, and for a line of message,
    // so that the results never squeeze the buttons.
    for (QWidget* shared : {static_cast<QWidget*>(lbxIPList), static_cast<QWidget*>(lblNotFound)}) {
        QSizePolicy policy = shared->sizePolicy();
        policy.setRetainSizeWhenHidden(true);
        shared->setSizePolicy(policy);
    }
    lblMessage->setMinimumHeight(lblMessage->fontMetrics().lineSpacing());
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblMessage);
    layout->addLayout(results);
    layout->addLayout(buttons);
    setFixedSize(sizeHint());
    EnableSelectionButtons(false);

    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(btnReset, &QPushButton::clicked, this, [this] { btnResetClick(); });
    connect(btnChangeIP, &QPushButton::clicked, this, [this] { btnChangeIPClick(); });
    connect(lbxIPList, &QListWidget::itemSelectionChanged, this,
            [this] { EnableSelectionButtons(!lbxIPList->selectedItems().isEmpty()); });
    connect(lbxIPList, &QListWidget::itemDoubleClicked, this, [this] {
        if (!Busy())
            accept();
    });
}

QString TXPortListDlg::SelectedIP() const {
    const QListWidgetItem* item = lbxIPList->currentItem();
    if (!item || !item->isSelected())
        return {};
    return item->text().section(u' ', 0, 0);
}

QString TXPortListDlg::SelectedMac() const {
    const QListWidgetItem* item = lbxIPList->currentItem();
    if (!item || !item->isSelected())
        return {};
    const QString text = item->text();
    return text.mid(text.indexOf(u'(') + 1, 17);
}

void TXPortListDlg::FormShow() {
    lblMessage->setText(QStringLiteral("Select a Corvanta-PX:"));
    ShowResults({});
    WhenOnScreen([this] { Search(); });
}

void TXPortListDlg::ShowResults(const QStringList& found) {
    lbxIPList->clear();
    lbxIPList->addItems(found);
    lbxIPList->setVisible(!found.isEmpty());
    lblNotFound->setVisible(found.isEmpty());
    EnableSelectionButtons(false);
}

void TXPortListDlg::EnableSelectionButtons(bool enable) {
    for (QPushButton* button : {btnOK, btnReset, btnChangeIP})
        button->setEnabled(enable);
}

void TXPortListDlg::Search() {
    QStringList found;
    RunJob([&] {
        user.SetBusy(true);
        XPort().Discover();
        found = XPort().Results();
    });
    ShowResults(found);
    user.SetBusy(false);
}

void TXPortListDlg::btnResetClick() {
    if (Busy())
        return;
    const QString host = SelectedIP();
    bool restored = false;
    // Nothing on the dialog may start another job while this one runs.
    const QList<QWidget*> controls{lbxIPList, btnOK, btnCancel, btnReset, btnChangeIP};
    for (QWidget* control : controls)
        control->setEnabled(false);
    RunJob([&] { restored = RunFactoryReset(XPort(), user, host); });
    lbxIPList->setEnabled(true);
    btnCancel->setEnabled(true);
    EnableSelectionButtons(!lbxIPList->selectedItems().isEmpty());
    if (restored)
        Search();
}

void TXPortListDlg::btnChangeIPClick() {
    if (Busy())
        return;
    assignIP.SetMac(SelectedMac());
    if (assignIP.exec() == QDialog::Accepted)
        Search();
}
