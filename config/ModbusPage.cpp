#include "config/ModbusPage.h"

#include "ui_ModbusPage.h"

#include "grids/ModbusGrid.h"
#include "grids/TableStore.h"
#include "session/Session.h"
#include "session/User.h"

#include <QPushButton>
#include <QTabWidget>

namespace {

QPushButton* MakeButton(QWidget* parent, const char* name, const char* text, int x, int y) {
    auto* button = new QPushButton(QString::fromLatin1(text), parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(x, y, 75, 25);
    return button;
}

} // namespace

TModbusPage::TModbusPage(QWidget* parent)
    : TConfigPage(cpModbus, parent)
    , ui(new Ui::TModbusPage) {
    ui->setupUi(this);
}

TModbusPage::~TModbusPage() {
    delete ui;
}

void TModbusPage::CreateGrid(TSession& aSession, IUser& aUser) {
    user = &aUser;
    model = new TModbusModel(aSession.Config, this);
    grid = new TModbusGrid(*model, aUser, this);
    const int x = grid->x() + grid->width() + 8;
    btnModbusAdd = MakeButton(this, "btnModbusAdd", "Add", x, 8);
    btnModbusDel = MakeButton(this, "btnModbusDel", "Delete", x, 40);
    btnModbusClear = MakeButton(this, "btnModbusClear", "Clear", x, 72);
    btnModbusStore = MakeButton(this, "btnModbusStore", "Store", x, 112);
    btnModbusDel->setEnabled(false);
    // The Routing page has buttons of the same captions: the names say which table they act on.
    btnModbusAdd->setAccessibleName(QStringLiteral("Add Modbus entry"));
    btnModbusDel->setAccessibleName(QStringLiteral("Delete Modbus entry"));
    btnModbusClear->setAccessibleName(QStringLiteral("Clear Modbus table"));
    btnModbusStore->setAccessibleName(QStringLiteral("Store Modbus table"));
    grid->SetDeleteButton(btnModbusDel);
    ui->chbDiagnostics->move(x, 160);
    connect(btnModbusAdd, &QPushButton::clicked, this, [this] { btnModbusAddClick(); });
    connect(btnModbusDel, &QPushButton::clicked, this, [this] { btnModbusDelClick(); });
    connect(btnModbusClear, &QPushButton::clicked, this, [this] { btnModbusClearClick(); });
    connect(btnModbusStore, &QPushButton::clicked, this, [this] { btnModbusStoreClick(); });
}

QList<QWidget*> TModbusPage::Containers() {
    return {this};
}

void TModbusPage::RefreshModbus() {
    if (btnModbusDel)
        btnModbusDel->setEnabled(false);
    if (tabs)
        tabs->setTabVisible(tabs->indexOf(this), ModbusOn(session->Config));
    FillControls();
}

void TModbusPage::btnModbusAddClick() {
    if (!model->Add())
        user->ShowMessage(MsgModbusTableFull);
}

void TModbusPage::btnModbusDelClick() {
    grid->Delete();
}

void TModbusPage::btnModbusClearClick() {
    session->Config.ClearModbus();
}

void TModbusPage::btnModbusStoreClick() {
    // Edits wait until the multiplexer has the table.
    setEnabled(false);
    StoreTable(*session, *user, tbModbus);
    setEnabled(true);
}
