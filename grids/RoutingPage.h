#pragma once

#include "config/ConfigPage.h"
#include "grids/RouteModel.h"

class IUser;
class QComboBox;
class QLabel;
class QPushButton;
class TN2KDeviceList;
class TN2KDeviceListForm;
class TRouteGrid;

// "Routing": the route grid, its buttons and the "No Match:" list.
class TRoutingPage : public TConfigPage {
    Q_OBJECT

public:
    explicit TRoutingPage(QWidget* parent = nullptr);
    ~TRoutingPage() override;

    // Makes the grid over the session's routing table; before Bind.
    void CreateGrid(TSession& session, IUser& user, const TN2KDeviceList& devices,
                    TN2KDeviceListForm* picker);
    QList<QWidget*> Containers() override;
    void RefreshRouting();

    TRouteGrid& Grid() { return *grid; }
    TRouteModel& Model() { return *model; }

    void btnRouteCaptureClick();
    void btnRouteAddClick();
    void btnRouteDelClick();
    void btnRouteClearClick();
    void btnRouteStoreClick();

private:
    IUser* user = nullptr;
    TRouteModel* model = nullptr;
    TRouteGrid* grid = nullptr;
    QPushButton* btnRouteCapture;
    QPushButton* btnRouteAdd;
    QPushButton* btnRouteDel;
    QPushButton* btnRouteClear;
    QPushButton* btnRouteStore;
    QLabel* lblModeFilter;
    QComboBox* cbModeFilter;
};
