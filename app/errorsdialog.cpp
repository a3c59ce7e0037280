// SPDX-License-Identifier: GPL-3.0-or-later

#include "app/errorsdialog.h"

#include "ui_errorsdialog.h"

#include "style/dialogfont.h"

#include <QDir>
#include <QFontMetrics>
#include <QStringList>

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

// The message label is one fixed box without word wrap, and a file path has no blanks to wrap
// at. The path is shortened in its middle (its end names the file) and the
// message broken into lines of the label's width, a word wider than a line anywhere.
QString ErrorsDialog::fitMessage(QString message, const QString &path)
{
    constexpr int labelWidth = 341 - 10;
    const QFontMetrics metrics(orb::dialogFont(12));
    const QString shownPath = QDir::toNativeSeparators(path);
    message.replace(shownPath, metrics.elidedText(shownPath, Qt::ElideMiddle, labelWidth * 3 / 4));

    QStringList lines;
    QString line;
    const QStringList words = message.split(QLatin1Char(' '));
    for (const QString &word : words) {
        const QString candidate = line.isEmpty() ? word : line + QLatin1Char(' ') + word;
        if (metrics.horizontalAdvance(candidate) <= labelWidth) {
            line = candidate;
            continue;
        }
        if (!line.isEmpty())
            lines << line;
        line.clear();
        for (const QChar c : word) {
            if (!line.isEmpty() && metrics.horizontalAdvance(line + c) > labelWidth) {
                lines << line;
                line.clear();
            }
            line += c;
        }
    }
    if (!line.isEmpty())
        lines << line;
    return lines.join(QLatin1Char('\n'));
}
