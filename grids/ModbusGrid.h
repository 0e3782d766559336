#pragma once

#include "grids/BaseGrid.h"
#include "grids/ModbusModel.h"

class QComboBox;

// The Modbus grid of the "Modbus" tab. The register type and data type are chosen from lists
// that appear over their cell when it becomes current.
class TModbusGrid : public TBaseGrid {
    Q_OBJECT

public:
    TModbusGrid(TModbusModel& model, IUser& user, QWidget* parent);

    TModbusModel& Entries() { return entries; }

    QWidget* CreateEditor(QWidget* parent, const QModelIndex& index) override;
    void SetupLineEditor(QLineEdit* editor, int column) override;
    bool HighlightsSelection(int column) const override;

protected:
    void CellSelected(const QModelIndex& current) override;

private:
    TModbusModel& entries;
};
