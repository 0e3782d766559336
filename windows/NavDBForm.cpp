#include "windows/NavDBForm.h"

#include "session/Session.h"

#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>

namespace {

constexpr int ClientWidth = 401;
constexpr int ClientHeight = 522;
constexpr int RowHeight = 16;

struct TColumn {
    const char* Header;
    int Width;
};
constexpr std::array<TColumn, 3> Columns{{{"Parameter", 100}, {"Value", 100}, {"Source", 70}}};

} // namespace

TNavDBForm::TNavDBForm(TSession& aSession, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint)
    , session(aSession)
    , database(aSession) {
    setObjectName(QStringLiteral("NavDBForm"));
    setWindowTitle(QStringLiteral("Navigation Database"));
    setFixedSize(ClientWidth, ClientHeight);

    lblState = new QLabel(this);
    lblState->setObjectName(QStringLiteral("lblState"));
    lblState->setGeometry(8, 8, ClientWidth - 16, 32);

    DBGrid = new QTableWidget(this);
    DBGrid->setObjectName(QStringLiteral("DBGrid"));
    DBGrid->setAccessibleName(QStringLiteral("Navigation database"));
    DBGrid->setGeometry(8, 48, 385, 441);
    DBGrid->setColumnCount(int(Columns.size()));
    for (int i = 0; i < int(Columns.size()); ++i) {
        DBGrid->setHorizontalHeaderItem(i,
                                        new QTableWidgetItem(QLatin1StringView(Columns[i].Header)));
        DBGrid->setColumnWidth(i, Columns[i].Width);
    }
    DBGrid->verticalHeader()->hide();
    DBGrid->verticalHeader()->setMinimumSectionSize(RowHeight);
    DBGrid->verticalHeader()->setDefaultSectionSize(RowHeight);
    DBGrid->setShowGrid(true);
    DBGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    DBGrid->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    DBGrid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Reset();

    connect(&database, &TNavDatabase::Cleared, this, &TNavDBForm::Reset);
    connect(&database, &TNavDatabase::EntryAdded, this, &TNavDBForm::AddEntry);
    connect(&database, &TNavDatabase::Finished, this, &TNavDBForm::ShowState);
    // A read that ends without its closing sentence (time-out, lost link) says so too.
    connect(&session, &TSession::ActivityChanged, this, &TNavDBForm::ShowState);
}

void TNavDBForm::Query() {
    database.Query();
    show();
    raise();
    activateWindow();
}

void TNavDBForm::Reset() {
    // The header and one empty row, which the first entry fills.
    DBGrid->clearContents();
    DBGrid->setRowCount(1);
    ShowState();
}

void TNavDBForm::AddEntry(const TNavDBEntry& entry) {
    const int row = int(database.Entries().size()) - 1;
    if (row >= DBGrid->rowCount())
        DBGrid->setRowCount(row + 1);
    const std::array<const QString*, 3> cells{&entry.Parameter, &entry.Value, &entry.Source};
    for (int column = 0; column < int(cells.size()); ++column)
        DBGrid->setItem(row, column, new QTableWidgetItem(*cells[column]));
    ShowState();
}

void TNavDBForm::ShowState() {
    const qsizetype count = database.Entries().size();
    if (database.Complete())
        lblState->setText(QStringLiteral("End of the database: %1 entries.").arg(count));
    else if (session.Activity() == acReadNavDB)
        lblState->setText(QStringLiteral("Reading the database: %1 entries so far...").arg(count));
    else if (isVisible())
        lblState->setText(
            QStringLiteral("The database did not arrive whole: %1 entries.").arg(count));
}
