#pragma once

#include <QTableWidget>

class TN2KDeviceList;
struct TN2KDevice;

// The grid of the device list window: one row per device of the complete list, in list order,
// under a single-line header; the columns are those of N2KColumns.
class TN2KGrid : public QTableWidget {
    Q_OBJECT

public:
    static constexpr int RowHeight = 16;

    explicit TN2KGrid(const TN2KDeviceList& list, QWidget* parent = nullptr);

    // The row count follows the complete list; every cell is filled again.
    void UpdateRows();
    // The device of a row, or nullptr.
    const TN2KDevice* RowDevice(int row) const;
    // The last row whose device has that NAME; -1 for none.
    int RowOfName(quint64 name) const;

    // The selected row is shown in the selection colours only while this is on.
    void SetShowSelection(bool show);
    bool ShowSelection() const { return showSelection; }

private:
    const TN2KDeviceList& list;
    bool showSelection = false;
};
