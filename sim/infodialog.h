#pragma once

// SPDX-License-Identifier: GPL-3.0-or-later
//
// The model's display device: a small modal dialog that shows one message of a step and waits
// for a key (message mode), or asks for one data byte in hexadecimal and, on Return, stores it
// into register A of the execution window (data-byte mode).

#include <QDialog>

#include <memory>

class ExecutionWindow;

namespace Ui {
class InfoDialog;
}

class InfoDialog final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(InfoDialog)

public:
    InfoDialog(ExecutionWindow *window, const QString &message, bool requestByte,
               QWidget *parent = nullptr);
    ~InfoDialog() override;

    // The data byte's field already typed in (a case's input byte); Enter takes it.
    void setByteText(const QString &text);

    void setVisible(bool visible) override;

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    std::unique_ptr<Ui::InfoDialog> ui;
    ExecutionWindow *window;
    bool requestByte;
};
