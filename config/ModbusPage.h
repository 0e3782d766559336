#pragma once

#include "config/ConfigPage.h"

class IUser;
class QPushButton;
class QTabWidget;
class TModbusGrid;
class TModbusModel;

namespace Ui {
class TModbusPage;
}

// "Modbus": shown while output 4 runs Modbus. The Modbus grid, its buttons and "Enable
// Diagnostics".
class TModbusPage : public TConfigPage {
    Q_OBJECT

public:
    explicit TModbusPage(QWidget* parent = nullptr);
    ~TModbusPage() override;

    // Makes the grid over the session's Modbus table.
    void CreateGrid(TSession& session, IUser& user);
    QList<QWidget*> Containers() override;
    // The tab widget that shows or hides the page.
    void SetTabs(QTabWidget* tabWidget) { tabs = tabWidget; }
    void RefreshModbus();

    TModbusGrid& Grid() { return *grid; }
    TModbusModel& Model() { return *model; }

    void btnModbusAddClick();
    void btnModbusDelClick();
    void btnModbusClearClick();
    void btnModbusStoreClick();

private:
    Ui::TModbusPage* ui;
    QTabWidget* tabs = nullptr;
    IUser* user = nullptr;
    TModbusModel* model = nullptr;
    TModbusGrid* grid = nullptr;
    QPushButton* btnModbusAdd = nullptr;
    QPushButton* btnModbusDel = nullptr;
    QPushButton* btnModbusClear = nullptr;
    QPushButton* btnModbusStore = nullptr;
};
