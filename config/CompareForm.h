#pragma once

#include "config/ConfigDiff.h"

#include <QDialog>

namespace Ui {
class TCompareForm;
}

// The settings a configuration file would change on the multiplexer, shown before anything is
// written; "Load" sends the file.
class TCompareForm : public QDialog {
    Q_OBJECT

public:
    enum TResult { Closed = QDialog::Rejected, Load = QDialog::Accepted };

    TCompareForm(const QList<TSettingDifference>& differences, const QString& fileName,
                 QWidget* parent = nullptr);
    ~TCompareForm() override;

private:
    Ui::TCompareForm* ui;
};
