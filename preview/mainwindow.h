#pragma once

// SPDX-License-Identifier: GPL-3.0-or-later
//
// The start window of orb-preview: the editor's tool bar and page buttons as pictures, with
// no working function behind them. It shares no code with ORB.

#include <QMainWindow>

#include <memory>

namespace Ui {
class MainWindow;
}

class MainWindow final : public QMainWindow {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MainWindow)

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

private slots:
    void on_editButton_pressed();
    void on_editButton_released();

private:
    void restoreEditButtonBackground();

    std::unique_ptr<Ui::MainWindow> ui;
};
