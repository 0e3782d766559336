#pragma once

#include "grids/BaseGrid.h"
#include "grids/RouteModel.h"

class TN2KDeviceListForm;

// The route grid of the "Routing" tab.
class TRouteGrid : public TBaseGrid {
    Q_OBJECT

public:
    TRouteGrid(TRouteModel& model, IUser& user, QWidget* parent);

    TRouteModel& Routes() { return routes; }
    // The device list window that picks a route's NMEA 2000 source.
    void SetPicker(TN2KDeviceListForm* form) { picker = form; }
    void SetFlags(quint8 flags) { routes.SetFlags(flags); }

    void SetupLineEditor(QLineEdit* editor, int column) override;
    bool HighlightsSelection(int column) const override;

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    // Double click on the device cell: the device list picks the route's source.
    void PickSource(int row);

    TRouteModel& routes;
    TN2KDeviceListForm* picker = nullptr;
};
