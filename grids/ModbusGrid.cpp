#include "grids/ModbusGrid.h"

#include "config/MuxConfig.h"

#include <QComboBox>
#include <QLineEdit>
#include <QRegularExpressionValidator>
#include <QTimer>

namespace {

class TUpperValidator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override {
        input = input.toUpper();
        return Acceptable;
    }
};

QValidator* Pattern(const QString& pattern, QObject* parent) {
    return new QRegularExpressionValidator(QRegularExpression(pattern), parent);
}

} // namespace

TModbusGrid::TModbusGrid(TModbusModel& model, IUser& aUser, QWidget* parent)
    : TBaseGrid(aUser, parent)
    , entries(model) {
    SetModel(&model);
    setObjectName(QStringLiteral("grdModbus"));
    setAccessibleName(QStringLiteral("Modbus table"));
    move(4, 8);
    setFixedHeight(356);
}

QWidget* TModbusGrid::CreateEditor(QWidget* parent, const QModelIndex& index) {
    if (index.column() != mcRegType && index.column() != mcDataType)
        return nullptr;
    auto* list = new QComboBox(parent);
    list->setObjectName(index.column() == mcRegType ? QStringLiteral("cbRegType")
                                                    : QStringLiteral("cbDataType"));
    list->addItems(index.column() == mcRegType ? RegTypeItems() : DataTypeItems());
    list->setFixedWidth(index.column() == mcRegType ? 120 : 200);
    list->setCurrentIndex(entries.ListEntry(index.row(), index.column()));
    const int row = index.row();
    const int column = index.column();
    // A choice sets the letter and the list goes; leaving it changes nothing.
    connect(list, &QComboBox::activated, this, [this, list, row, column](int entry) {
        if (!list->isVisible())
            return;
        entries.ChooseListEntry(row, column, entry);
        emit itemDelegate()->closeEditor(list, QAbstractItemDelegate::NoHint);
        setFocus();
    });
    return list;
}

void TModbusGrid::SetupLineEditor(QLineEdit* editor, int column) {
    switch (column) {
    case mcSlave:
        editor->setValidator(Pattern(QStringLiteral("[0-9]{0,3}"), editor));
        break;
    case mcRegister:
        editor->setValidator(Pattern(QStringLiteral("[0-9]{0,5}"), editor));
        break;
    case mcParamP:
        editor->setValidator(Pattern(QStringLiteral("[0-9]?"), editor));
        break;
    case mcXdrType:
        editor->setMaxLength(1);
        editor->setValidator(new TUpperValidator(editor));
        break;
    case mcXdrUnit:
        editor->setMaxLength(1);
        break;
    case mcXdrID:
        // Any text can be typed; the check on Enter says what a transducer ID takes.
        editor->setMaxLength(XdrIDLength);
        break;
    default:
        break;
    }
}

bool TModbusGrid::HighlightsSelection(int column) const {
    return column <= mcRegister || (column >= mcParamP && column <= mcXdrUnit);
}

void TModbusGrid::CellSelected(const QModelIndex& current) {
    // The lists open over their cell as soon as it is chosen.
    if (current.column() == mcRegType || current.column() == mcDataType)
        QTimer::singleShot(0, this, [this, index = QPersistentModelIndex(current)] {
            if (index.isValid() && currentIndex() == index && state() != EditingState)
                edit(index);
        });
}
