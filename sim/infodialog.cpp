// SPDX-License-Identifier: GPL-3.0-or-later

#include "sim/infodialog.h"

#include "ui_infodialog.h"

#include "style/dialogfont.h"
#include "sim/executionwindow.h"

#include <QKeyEvent>

using namespace Qt::StringLiterals;

InfoDialog::InfoDialog(ExecutionWindow *window, const QString &message, bool requestByte,
                       QWidget *parent)
    : QDialog(parent), ui(std::make_unique<Ui::InfoDialog>()), window(window),
      requestByte(requestByte)
{
    ui->setupUi(this);
    ui->infoLabel->setText(message);
    if (requestByte) {
        ui->pressKeyLabel->setText(u"Для продолжения нажмите Enter"_s);
        // The prompt stands at the left, clear of the entry at the label's right end.
        ui->infoLabel->setAlignment(Qt::AlignLeft);
        ui->infoLabel->setContentsMargins(21, 11, 0, 0);
        ui->byteLineEdit->setInputMask(u">HH"_s);
        ui->byteLineEdit->setFocus(Qt::OtherFocusReason);
    } else {
        ui->pressKeyLabel->setText(u"Для продолжения нажмите любую клавишу"_s);
        ui->byteLineEdit->hide();
    }

    ui->infoLabel->setFont(orb::dialogFont(15));
    ui->pressKeyLabel->setFont(orb::dialogFont(12));
}

InfoDialog::~InfoDialog() = default;

void InfoDialog::setByteText(const QString &text)
{
    ui->byteLineEdit->setText(text);
}

void InfoDialog::setVisible(bool visible)
{
    QDialog::setVisible(visible);
    // Selected once shown (showing moves the entry's cursor and drops a selection made
    // before), so that what the user types replaces the "00" instead of landing in front of a
    // zero: "a" stores 0A, not A0. Return on the untouched entry still stores 0.
    if (visible && requestByte)
        ui->byteLineEdit->selectAll();
}

void InfoDialog::keyPressEvent(QKeyEvent *event)
{
    // The dialog's own key handling (Escape rejects, Enter clicks a button) is never used.
    event->accept();
    if (!requestByte) {
        close();
        return;
    }
    // Only the main Return key confirms: the keypad's Enter and Escape are ignored.
    if (event->key() != Qt::Key_Return)
        return;
    bool ok = false;
    int value = ui->byteLineEdit->text().toInt(&ok, 16);
    if (!ok)
        value = 0;
    if (window)
        window->setA(value);
    close();
}
