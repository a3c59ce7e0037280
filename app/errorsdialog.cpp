#include "app/errorsdialog.h"

#include "ui_errorsdialog.h"

#include "style/dialogfont.h"

ErrorsDialog::ErrorsDialog(const QString &title, const QString &message, QWidget *parent)
    : QDialog(parent), ui(std::make_unique<Ui::ErrorsDialog>())
{
    ui->setupUi(this);
    ui->errorLabel->setText(title);
    ui->infoLabel->setText(message);

    ui->errorLabel->setFont(orb::dialogFont(17));
    ui->infoLabel->setFont(orb::dialogFont(12));
}

ErrorsDialog::~ErrorsDialog() = default;

void ErrorsDialog::on_okButton_pressed()
{
    ui->okButton->move(ui->okButton->x() - 1, ui->okButton->y() - 1);
    ui->okButton->resize(ui->okButton->width() - 1, ui->okButton->height() - 1);
}

void ErrorsDialog::on_okButton_released()
{
    ui->okButton->move(ui->okButton->x() + 1, ui->okButton->y() + 1);
    ui->okButton->resize(ui->okButton->width() + 1, ui->okButton->height() + 1);
}

void ErrorsDialog::on_okButton_clicked()
{
    accept();
}
