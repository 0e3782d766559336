#include "grids/RoutingPage.h"

#include "config/Catalogue.h"
#include "grids/RouteGrid.h"
#include "grids/TableStore.h"
#include "session/Session.h"
#include "session/User.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>

namespace {

QPushButton* MakeButton(QWidget* parent, const char* name, const char* text, int y) {
    auto* button = new QPushButton(QString::fromLatin1(text), parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(0, y, 75, 25);
    return button;
}

} // namespace

TRoutingPage::TRoutingPage(QWidget* parent)
    : TConfigPage(cpRouting, parent) {
    // The buttons and list stand right of the grid; CreateGrid places them.
    btnRouteCapture = MakeButton(this, "btnRouteCapture", "Capture", 8);
    btnRouteAdd = MakeButton(this, "btnRouteAdd", "Add", 48);
    btnRouteDel = MakeButton(this, "btnRouteDel", "Delete", 80);
    btnRouteClear = MakeButton(this, "btnRouteClear", "Clear", 112);
    btnRouteStore = MakeButton(this, "btnRouteStore", "Store", 152);
    btnRouteDel->setEnabled(false);
    // The Modbus page has buttons of the same captions: the names say which table they act on.
    btnRouteCapture->setAccessibleName(QStringLiteral("Capture routes"));
    btnRouteAdd->setAccessibleName(QStringLiteral("Add route"));
    btnRouteDel->setAccessibleName(QStringLiteral("Delete route"));
    btnRouteClear->setAccessibleName(QStringLiteral("Clear routes"));
    btnRouteStore->setAccessibleName(QStringLiteral("Store routes"));
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
