#include "grids/RoutingPage.h"

#include "config/Catalogue.h"
#include "grids/RouteGrid.h"
#include "grids/TableStore.h"
#include "session/Session.h"
#include "session/User.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>

TRoutingPage::TRoutingPage(QWidget* parent)
    : TConfigPage(cpRouting, parent) {
    // The buttons and list stand right of the grid; CreateGrid places them.
    btnRouteCapture =
        MakeButton("btnRouteCapture", "Capture", QStringLiteral("Capture routes"), 0, 8);
    btnRouteAdd = MakeButton("btnRouteAdd", "Add", QStringLiteral("Add route"), 0, 48);
    btnRouteDel = MakeButton("btnRouteDel", "Delete", QStringLiteral("Delete route"), 0, 80);
    btnRouteClear = MakeButton("btnRouteClear", "Clear", QStringLiteral("Clear routes"), 0, 112);
    btnRouteStore = MakeButton("btnRouteStore", "Store", QStringLiteral("Store routes"), 0, 152);
    btnRouteDel->setEnabled(false);
    lblModeFilter = new QLabel(QStringLiteral("No Match:"), this);
    lblModeFilter->setObjectName(QStringLiteral("lblModeFilter"));
    cbModeFilter = new QComboBox(this);
    cbModeFilter->setObjectName(QStringLiteral("cbModeFilter"));
}

TRoutingPage::~TRoutingPage() = default;

void TRoutingPage::CreateGrid(TSession& aSession, IUser& aUser, const TN2KDeviceList& devices,
                              TN2KDeviceListForm* picker) {
    user = &aUser;
    model = new TRouteModel(aSession.Config, &devices, this);
    grid = new TRouteGrid(*model, aUser, this);
    grid->SetPicker(picker);
    grid->SetDeleteButton(btnRouteDel);
    grid->lower();
    const int x = grid->x() + grid->width() + 8;
    for (QPushButton* button :
         {btnRouteCapture, btnRouteAdd, btnRouteDel, btnRouteClear, btnRouteStore})
        button->move(x, button->y());
    lblModeFilter->setGeometry(x, 200, 75, 16);
    cbModeFilter->setGeometry(x, 218, 75, 22);

    connect(btnRouteCapture, &QPushButton::clicked, this, [this] { btnRouteCaptureClick(); });
    connect(btnRouteAdd, &QPushButton::clicked, this, [this] { btnRouteAddClick(); });
    connect(btnRouteDel, &QPushButton::clicked, this, [this] { btnRouteDelClick(); });
    connect(btnRouteClear, &QPushButton::clicked, this, [this] { btnRouteClearClick(); });
    connect(btnRouteStore, &QPushButton::clicked, this, [this] { btnRouteStoreClick(); });
}

QList<QWidget*> TRoutingPage::Containers() {
    return {this};
}

void TRoutingPage::RefreshRouting() {
    switch (session->Activity()) {
    case acIdle: {
        btnRouteCapture->setText(QStringLiteral("Capture"));
        btnRouteDel->setEnabled(false);
        quint8 flags = 0;
        if (!ModbusOn(session->Config))
            flags |= rfOut4;
        if (In1ReadsSeaTalk(session->Config))
            flags |= rfSeaTalkIn1;
        grid->SetFlags(flags);
        break;
    }
    case acRouteCapture:
        btnRouteCapture->setEnabled(true);
        btnRouteCapture->setText(QStringLiteral("Stop"));
        break;
    default:
        break;
    }
    FillControls();
}

void TRoutingPage::btnRouteCaptureClick() {
    switch (session->Activity()) {
    case acIdle:
        session->StartRouteCapture();
        break;
    case acRouteCapture:
        session->StopRouteCapture();
        break;
    default:
        break;
    }
}

void TRoutingPage::btnRouteAddClick() {
    if (!model->Add())
        user->ShowMessage(MsgRoutingTableFull);
}

void TRoutingPage::btnRouteDelClick() {
    grid->Delete();
}

void TRoutingPage::btnRouteClearClick() {
    session->Config.ClearRoutes();
}

void TRoutingPage::btnRouteStoreClick() {
    // Edits wait until the multiplexer has the table.
    setEnabled(false);
    StoreTable(*session, *user, tbRoutes);
    setEnabled(true);
}
