#pragma once

#include <QDialog>
#include <QIcon>

namespace Ui {
class TAboutBox;
}

// Program name and version, the maker's web site and support address. A double-click on the
// program icon offers to clear every saved setting; the box then ends with ClearSettings.
class TAboutBox : public QDialog {
    Q_OBJECT

public:
    static constexpr int ClearSettings = 2;

    explicit TAboutBox(QWidget* parent = nullptr);
    ~TAboutBox() override;

    static QString ProgramVersion();
    // The program's icon in every size the build drew, sharp at any screen scale.
    static QIcon ProgramIcon();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void imgIconDblClick();

    Ui::TAboutBox* ui;
};
