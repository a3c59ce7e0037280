// SPDX-License-Identifier: GPL-3.0-or-later

#include "app/exitdialog.h"

#include "ui_exitdialog.h"

#include "style/dialogfont.h"

ExitDialog::ExitDialog(QWidget *parent) : QDialog(parent), ui(std::make_unique<Ui::ExitDialog>())
{
    ui->setupUi(this);
    ui->exitLabel->setFont(orb::dialogFont(17));
    ui->infoLabel->setFont(orb::dialogFont(12));
    // A stray Enter must not end the program and lose the table: " Нет" answers it.
    ui->cancelButton->setDefault(true);
    ui->cancelButton->setFocus(Qt::OtherFocusReason);
}

ExitDialog::~ExitDialog() = default;

void ExitDialog::on_okButton_clicked()
{
    accept();
}

void ExitDialog::on_cancelButton_clicked()
{
    reject();
}
