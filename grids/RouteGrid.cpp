#include "grids/RouteGrid.h"

#include "config/MuxConfig.h"
#include "n2k/N2K.h"
#include "n2k/N2KForm.h"

#include <QLineEdit>
#include <QMouseEvent>
#include <QRegularExpressionValidator>

namespace {

// Turns letters to upper case as they are typed.
class TUpperValidator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override {
        input = input.toUpper();
        return Acceptable;
    }
};

} // namespace

TRouteGrid::TRouteGrid(TRouteModel& model, IUser& aUser, QWidget* parent)
    : TBaseGrid(aUser, parent)
    , routes(model) {
    SetModel(&model);
    setObjectName(QStringLiteral("grdRoutes"));
    setAccessibleName(QStringLiteral("Routing table"));
    move(4, 8);
    setFixedHeight(356);
    setMouseTracking(true);
}

void TRouteGrid::SetupLineEditor(QLineEdit* editor, int column) {
    if (column == rcSentence) {
        // Whatever is typed is shown; the check on Enter says what a sentence address takes.
        editor->setMaxLength(RouteSentenceLength);
        editor->setValidator(new TUpperValidator(editor));
    } else {
        editor->setMaxLength(2);
        editor->setValidator(new QRegularExpressionValidator(
            QRegularExpression(QStringLiteral("[0-9]{0,2}")), editor));
    }
}

bool TRouteGrid::HighlightsSelection(int column) const {
    return column == rcRow || column == rcDevice || column == rcSentence || column == rcDivisor;
}

void TRouteGrid::mouseDoubleClickEvent(QMouseEvent* event) {
    const QModelIndex index = indexAt(event->position().toPoint());
    if (event->button() == Qt::LeftButton && index.isValid() && index.column() == rcDevice) {
        event->accept();
        PickSource(index.row());
        return;
    }
    TBaseGrid::mouseDoubleClickEvent(event);
}

void TRouteGrid::PickSource(int row) {
    if (!picker || row < 0 || row >= routes.rowCount())
        return;
    // The list scans first when it has no complete device yet.
    if (picker->Pick(routes.SourceName(row)) != QDialog::Accepted)
        return;
    const TN2KDevice* device = picker->PickedDevice();
    // The table may have changed while the list was open (a disconnect empties it).
    if (device && row < routes.rowCount())
        routes.SetSource(row, device->Address, device->Name);
    viewport()->update();
}
