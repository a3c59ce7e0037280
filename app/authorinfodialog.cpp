// SPDX-License-Identifier: GPL-3.0-or-later

#include "app/authorinfodialog.h"

#include "ui_authorinfodialog.h"

AuthorInfoDialog::AuthorInfoDialog(QWidget *parent)
    : QDialog(parent), ui(std::make_unique<Ui::AuthorInfoDialog>())
{
    ui->setupUi(this);
    // The form's family is what the designer had; the one asked for first is the dialogs'
    // own, with the usual sans families behind it where no such font is installed.
    QFont font;
    font.setFamilies({QStringLiteral("MS Shell Dig 2"), QStringLiteral("Tahoma"),
                      QStringLiteral("Arial"), QStringLiteral("Liberation Sans")});
    font.setPixelSize(12);
    ui->label->setFont(font);
}

AuthorInfoDialog::~AuthorInfoDialog() = default;
