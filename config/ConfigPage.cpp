#include "config/ConfigPage.h"

#include "session/Session.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QStyle>
#include <QStyleOptionComboBox>

namespace {

// Takes letters and digits up to a length, turned into upper case as they are typed.
class TUpperCaseValidator : public QRegularExpressionValidator {
public:
    TUpperCaseValidator(const QString& pattern, QObject* parent)
        : QRegularExpressionValidator(QRegularExpression(pattern), parent) {}
    State validate(QString& input, int& pos) const override {
        input = input.toUpper();
        return QRegularExpressionValidator::validate(input, pos);
    }
};

QValidator* ValidatorFor(TChangeHandler handler, QObject* parent) {
    switch (handler) {
    case chTalkerID:
        return new TUpperCaseValidator(QStringLiteral("[A-Z0-9]{0,2}"), parent);
    case chUniqueID:
        return new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[A-Za-z0-9]*")),
                                               parent);
    case chSourceAddress:
        // Digits; the "n/a" the field shows for a port without an address may be edited away.
        return new QRegularExpressionValidator(
            QRegularExpression(QStringLiteral("[0-9]{0,3}|n(/a?)?")), parent);
    default:
        return new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,3}")),
                                               parent);
    }
}

int MaxLengthFor(TChangeHandler handler) {
    switch (handler) {
    case chTalkerID:
        return TalkerIDLength;
    case chUniqueID:
        return UniqueIDLength;
    default:
        return 3;
    }
}

// The field's background, with text that stays readable on it: the palette's own text on the
// palette's colours, black on the fixed marks (a dark theme's light text would vanish on yellow).
void SetBase(QLineEdit* edit, const QColor& colour,
             const QColor& text = QApplication::palette().color(QPalette::Text)) {
    QPalette palette = edit->palette();
    palette.setColor(QPalette::Base, colour);
    palette.setColor(QPalette::Text, text);
    edit->setPalette(palette);
}

// What a screen reader announces for a control: its row and its column, so that the fields of
// the eight "In n:" rows are told apart and none is announced as its group's title.
QString AccessibleNameOf(const TControlDesc& desc) {
    QString row = desc.Caption;
    row.remove(u'&');
    while (row.endsWith(u':') || row.endsWith(u' '))
        row.chop(1);
    switch (desc.Field) {
    case mfBaudIn:
    case mfBaudOut1:
    case mfBaudOut2:
    case mfBaudOut4:
        return row + QStringLiteral(" speed");
    case mfTalkerID:
        return row + QStringLiteral(" talker ID");
    case mfPrioIn:
    case mfPrioN2K:
        return row + QStringLiteral(" priority");
    case mfModeIn:
        return row + QStringLiteral(" input mode");
    case mfModeOut:
        return row + QStringLiteral(" host data");
    case mfRouteOut:
        return QStringLiteral("Out %1 default route from %2").arg(desc.Index + 1).arg(row);
    case mfDevFunc:
        return row + QStringLiteral(" device type");
    case mfSrcAddr:
        return row + QStringLiteral(" source address");
    case mfDevInst:
        return row + QStringLiteral(" device instance");
    default:
        // Options, conversions, the time-out and the unique ID: the caption is the name.
        return row;
    }
}

} // namespace

// --- TConfigWidgets ----------------------------------------------------------------------

TConfigWidgets::TConfigWidgets()
    : widgets(ConfigControls().size(), nullptr) {}

void TConfigWidgets::Add(int control, QWidget* widget) {
    widgets[control] = widget;
}

int TConfigWidgets::Code(int control) const {
    QWidget* widget = Widget(control);
    if (auto* combo = qobject_cast<QComboBox*>(widget))
        return combo->currentIndex();
    if (auto* check = qobject_cast<QCheckBox*>(widget))
        return check->isChecked() ? 1 : 0;
    return -1;
}

void TConfigWidgets::SetCode(int control, int code) {
    QWidget* widget = Widget(control);
    if (auto* combo = qobject_cast<QComboBox*>(widget))
        combo->setCurrentIndex(code < combo->count() ? code : -1);
    else if (auto* check = qobject_cast<QCheckBox*>(widget))
        check->setChecked(code != 0);
}

QString TConfigWidgets::Text(int control) const {
    if (auto* edit = qobject_cast<QLineEdit*>(Widget(control)))
        return edit->text();
    return QString();
}

void TConfigWidgets::Mark(int control, TFieldMark mark) {
    auto* edit = qobject_cast<QLineEdit*>(Widget(control));
    if (!edit)
        return;
    const QPalette standard = QApplication::palette(edit);
    switch (mark) {
    case fmNormal:
        SetBase(edit, standard.color(QPalette::Base));
        break;
    case fmTyped:
        SetBase(edit, Qt::yellow, Qt::black);
        break;
    case fmInvalid:
        SetBase(edit, Qt::red, Qt::black);
        break;
    case fmButtonFace:
        SetBase(edit, standard.color(QPalette::Button));
        break;
    }
    edit->deselect();
}

void TConfigWidgets::RefreshControls() {
    if (OnRefresh)
        OnRefresh();
}

namespace {

// A list placed by a layout is made wide enough for its longest choice to be drawn whole
// beside the arrow. Qt's own size measures the choices' ink, which can be a pixel or two
// narrower than the text's advance the drawing needs.
void FitLongestChoice(QComboBox* combo) {
    QStyleOptionComboBox option;
    option.initFrom(combo);
    option.editable = combo->isEditable();
    int longest = 0;
    for (int i = 0; i < combo->count(); ++i)
        longest = std::max(longest, combo->fontMetrics().horizontalAdvance(combo->itemText(i)));
    const QSize need = combo->style()->sizeFromContents(
        QStyle::CT_ComboBox, &option, {longest, combo->fontMetrics().height()}, combo);
    combo->setMinimumWidth(std::max(need.width(), combo->minimumSizeHint().width()));
}

} // namespace

// --- TConfigPage -------------------------------------------------------------------------

TConfigPage::TConfigPage(TConfigPageId aPage, QWidget* parent)
    : QWidget(parent)
    , page(aPage) {}

void TConfigPage::Bind(TSession& aSession, TConfigEditor& aEditor, TConfigWidgets& aWidgets) {
    session = &aSession;
    editor = &aEditor;
    widgets = &aWidgets;
    const QList<TControlDesc>& all = ConfigControls();
    for (qsizetype i = 0; i < all.size(); ++i) {
        const TControlDesc& desc = all[i];
        if (desc.Page != page)
            continue;
        const int control = int(i);
        QWidget* widget = findChild<QWidget*>(desc.Name);
        if (!widget)
            qFatal("The configuration control %s is missing from its page", qPrintable(desc.Name));
        controls.append(control);
        widgets->Add(control, widget);
        widget->setAccessibleName(AccessibleNameOf(desc));
        // Only what the user does reaches the handlers: selections and check states set by the
        // program raise neither of these signals.
        if (auto* combo = qobject_cast<QComboBox*>(widget)) {
            for (const char* code : desc.Codes)
                combo->addItem(QString::fromLatin1(code));
            if (combo->parentWidget() && combo->parentWidget()->layout())
                FitLongestChoice(combo);
            connect(combo, &QComboBox::activated, this,
                    [this, control] { editor->ControlChange(control); });
        } else if (auto* check = qobject_cast<QCheckBox*>(widget)) {
            connect(check, &QCheckBox::clicked, this,
                    [this, control] { editor->ControlChange(control); });
        } else {
            BindEdit(control, desc, widget);
        }
    }
}

void TConfigPage::BindEdit(int control, const TControlDesc& desc, QWidget* widget) {
    auto* edit = qobject_cast<QLineEdit*>(widget);
    if (!edit)
        qFatal("The configuration control %s is not an edit field", qPrintable(desc.Name));
    edit->setMaxLength(MaxLengthFor(desc.Handler));
    edit->setValidator(ValidatorFor(desc.Handler, edit));
    edit->setProperty("control", control);
    edit->installEventFilter(this);
    if (desc.Handler == chSourceAddress)
        widgets->Mark(control, fmButtonFace);
    // Typed and not yet sent.
    connect(edit, &QLineEdit::textEdited, this, [edit] { SetBase(edit, Qt::yellow, Qt::black); });
}

bool TConfigPage::eventFilter(QObject* watched, QEvent* event) {
    auto* edit = qobject_cast<QLineEdit*>(watched);
    if (!edit || !editor)
        return QWidget::eventFilter(watched, event);
    const int control = edit->property("control").toInt();
    const TChangeHandler handler = ConfigControls().at(control).Handler;

    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            editor->ControlEnter(control);
            return true;
        }
        if (key == Qt::Key_Delete && handler == chTalkerID) {
            // Delete empties the whole talker ID.
            edit->clear();
            SetBase(edit, Qt::yellow, Qt::black);
            return true;
        }
    } else if (event->type() == QEvent::FocusOut && handler == chTalkerID && !checking) {
        // Only a move to another control counts as leaving: not a window that comes to the
        // front (a message box), nor a field switched off by the program.
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason &&
            edit->isEnabled() && !session->Refreshing) {
            checking = true;
            if (!editor->TalkerIDExit(control))
                edit->setFocus(Qt::OtherFocusReason);
            checking = false;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TConfigPage::FillControls() {
    const QList<TControlDesc>& all = ConfigControls();
    for (const int control : std::as_const(controls)) {
        const TControlDesc& desc = all[control];
        if (desc.Type == ctEdit) {
            if (auto* edit = qobject_cast<QLineEdit*>(widgets->Widget(control)))
                edit->setText(ControlText(session->Config, desc));
        } else {
            widgets->SetCode(control, ControlCode(session->Config, desc));
        }
    }
}

QPushButton* TConfigPage::MakeButton(const char* name, const char* text,
                                     const QString& accessibleName, int x, int y) {
    auto* button = new QPushButton(QString::fromLatin1(text), this);
    button->setObjectName(QString::fromLatin1(name));
    button->setAccessibleName(accessibleName);
    button->setGeometry(x, y, 75, 25);
    return button;
}
