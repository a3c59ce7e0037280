// SPDX-License-Identifier: GPL-3.0-or-later

#include "preview/mainwindow.h"

#include "ui_mainwindow.h"

namespace {

// The same picture the form gives the button; pressing must not change its look.
const QString editButtonStyle =
    QStringLiteral("background-image: url(\":/Снимок экрана 2016-07-13 в 16.40.52.png\");\n");

} // namespace

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent), ui(std::make_unique<Ui::MainWindow>())
{
    ui->setupUi(this);
}

MainWindow::~MainWindow() = default;

void MainWindow::on_editButton_pressed()
{
    restoreEditButtonBackground();
}

void MainWindow::on_editButton_released()
{
    restoreEditButtonBackground();
}

void MainWindow::restoreEditButtonBackground()
{
    ui->editButton->setStyleSheet(editButtonStyle);
}
