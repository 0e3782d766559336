#pragma once

#include "windows/Database.h"

#include <QWidget>

class QLabel;
class QTableWidget;
class TSession;

// The navigation database window: the multiplexer's database as a table of parameter, value
// and source, one row per entry as the entries arrive.
class TNavDBForm : public QWidget {
    Q_OBJECT

public:
    explicit TNavDBForm(TSession& session, QWidget* parent = nullptr);

    TNavDatabase& Database() { return database; }

    // The menu command: asks the multiplexer for its database, empties the table and shows the
    // window.
    void Query();

private:
    void Reset();
    void AddEntry(const TNavDBEntry& entry);
    void ShowState();

    TSession& session;
    TNavDatabase database;
    QLabel* lblState = nullptr;
    QTableWidget* DBGrid = nullptr;
};
