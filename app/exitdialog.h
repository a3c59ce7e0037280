#pragma once

// SPDX-License-Identifier: GPL-3.0-or-later
//
// The question every close request of the main window asks before the program ends. It is
// asked whether or not anything changed: the editor keeps no record of unsaved changes.

#include <QDialog>

#include <memory>

namespace Ui {
class ExitDialog;
}

class ExitDialog final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ExitDialog)

public:
    explicit ExitDialog(QWidget *parent = nullptr);
    ~ExitDialog() override;

private slots:
    void on_okButton_clicked();
    void on_cancelButton_clicked();

private:
    std::unique_ptr<Ui::ExitDialog> ui;
};
