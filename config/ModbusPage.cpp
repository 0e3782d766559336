#include "config/ModbusPage.h"

#include "ui_ModbusPage.h"

#include "grids/ModbusGrid.h"
#include "grids/TableStore.h"
#include "session/Session.h"
#include "session/User.h"

#include <QPushButton>
#include <QTabWidget>

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
    btnModbusAdd = MakeButton("btnModbusAdd", "Add", QStringLiteral("Add Modbus entry"), x, 8);
    btnModbusDel =
        MakeButton("btnModbusDel", "Delete", QStringLiteral("Delete Modbus entry"), x, 40);
    btnModbusClear =
        MakeButton("btnModbusClear", "Clear", QStringLiteral("Clear Modbus table"), x, 72);
    btnModbusStore =
        MakeButton("btnModbusStore", "Store", QStringLiteral("Store Modbus table"), x, 112);
    btnModbusDel->setEnabled(false);
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
