#pragma once

// SPDX-License-Identifier: GPL-3.0-or-later
//
// A small modal report with a heading, a message and an "OK" button: the launch shows it for a
// table with wrong cells, the run to the end when it passes its step limit.

#include <QDialog>

#include <memory>

namespace Ui {
class ErrorsDialog;
}

class ErrorsDialog final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ErrorsDialog)

public:
    ErrorsDialog(const QString &title, const QString &message, QWidget *parent = nullptr);
    ~ErrorsDialog() override;

    // `message` in lines of the message label's width, `path` in it shortened in its middle.
    static QString fitMessage(QString message, const QString &path);

private slots:
    void on_okButton_pressed();
    void on_okButton_released();
    void on_okButton_clicked();

private:
    std::unique_ptr<Ui::ErrorsDialog> ui;
};
