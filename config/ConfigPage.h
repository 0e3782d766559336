#pragma once

#include "config/ConfigEditor.h"

#include <QList>
#include <QWidget>

#include <functional>

class QPushButton;

class TSession;

// The configuration controls of all pages, by their position in ConfigControls(): what the
// change handlers read and mark.
class TConfigWidgets : public IConfigControls {
public:
    TConfigWidgets();

    void Add(int control, QWidget* widget);
    QWidget* Widget(int control) const { return widgets.value(control); }

    int Code(int control) const override;
    void SetCode(int control, int code) override;
    QString Text(int control) const override;
    void Mark(int control, TFieldMark mark) override;
    void RefreshControls() override;

    // The window's overall refresh.
    std::function<void()> OnRefresh;
    // The state EnableConfigControls asked for last: controls that a page enables by a rule
    // of its own stay off while the whole configuration is off.
    bool Enabled = false;

private:
    QList<QWidget*> widgets;
};

// One page of the configuration tabs. It finds its controls by the names of the control table,
// gives the lists their choices, fills everything from the model and hands every user change
// to the change handlers.
class TConfigPage : public QWidget {
    Q_OBJECT

public:
    TConfigPage(TConfigPageId page, QWidget* parent);

    void Bind(TSession& session, TConfigEditor& editor, TConfigWidgets& widgets);
    // The boxes whose controls EnableConfigControls switches, in its order.
    virtual QList<QWidget*> Containers() = 0;

protected:
    // A button of a table's tab: the pages' buttons share their size. The accessible name says
    // which table it acts on, as both tables have buttons of the same captions.
    QPushButton* MakeButton(const char* name, const char* text, const QString& accessibleName,
                            int x, int y);
    // Every control of the page shows the model's value.
    void FillControls();
    bool eventFilter(QObject* watched, QEvent* event) override;

    TSession* session = nullptr;
    TConfigEditor* editor = nullptr;
    TConfigWidgets* widgets = nullptr;

private:
    void BindEdit(int control, const TControlDesc& desc, QWidget* widget);

    TConfigPageId page;
    QList<int> controls;   // the page's entries of the control table
    bool checking = false; // a talker ID check of a field being left is telling the user
};
