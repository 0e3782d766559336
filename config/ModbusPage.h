#pragma once

#include "config/ConfigPage.h"

class QTabWidget;

namespace Ui {
class TModbusPage;
}

// "Modbus": shown while output 4 runs Modbus.
class TModbusPage : public TConfigPage {
    Q_OBJECT

public:
    explicit TModbusPage(QWidget* parent = nullptr);
    ~TModbusPage() override;

    QList<QWidget*> Containers() override;
    // The tab widget that shows or hides the page.
    void SetTabs(QTabWidget* tabWidget) { tabs = tabWidget; }
    void RefreshModbus();

private:
    Ui::TModbusPage* ui;
    QTabWidget* tabs = nullptr;
};
