// SPDX-License-Identifier: GPL-3.0-or-later
//
// The main window's document files: Open, Save and New, and their file dialogs.

#include "app/mainwindow.h"

#include "app/document.h"
#include "app/errorsdialog.h"
#include "cells/ttlineedit.h"
#include "undo/documenthistory.h"

#include <QFileDialog>

namespace {

const QString documentFilter = QStringLiteral("*.orb");

} // namespace

QString MainWindow::chooseSaveFileName(const QString &startPath)
{
    // A name typed without a suffix gets ".orb", or Open's filter would hide the saved file;
    // the dialog asks before it replaces an existing file of the completed name.
    QFileDialog dialog(this, QString(), startPath, documentFilter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("orb"));
    if (dialog.exec() != QDialog::Accepted)
        return QString();
    return dialog.selectedFiles().value(0);
}

QString MainWindow::chooseOpenFileName(const QString &startPath)
{
    return QFileDialog::getOpenFileName(this, QString(), startPath, documentFilter);
}

void MainWindow::on_actionOpen_activated()
{
    commitCurrentCell();
    const QString fileName = chooseOpenFileName(lastOpenPath_);
    if (!fileName.isEmpty())
        openDocument(fileName);
}

bool MainWindow::openDocument(const QString &fileName)
{
    lastOpenPath_ = fileName;
    // A file that cannot be read or is no document changes nothing, and says nothing.
    const std::optional<orb::LoadedDocument> document = orb::readDocumentFile(fileName);
    if (!document)
        return false;
    history_->beginDocumentChange();
    loadDocument(*document);
    history_->endDocumentChange();
    documentPath_ = fileName;
    emit closed();
    return true;
}

void MainWindow::on_actionSave_activated()
{
    commitCurrentCell();
    const QString fileName = chooseSaveFileName(lastSavePath_);
    if (fileName.isEmpty())
        return;
    lastSavePath_ = fileName;

    QList<orb::RowTexts> rows;
    rows.reserve(stringCount());
    for (int row = 0; row < stringCount(); ++row) {
        orb::RowTexts texts;
        for (int field = 0; field < orb::fieldCount; ++field)
            texts[size_t(field)] = cellText(row, orb::gridColumnOfField(field));
        rows.append(texts);
    }
    // Written atomically: a failed save leaves the previous file as it was, and says so.
    QString error;
    if (orb::writeDocumentFile(fileName, orb::serializeDocument(rows, memory_.texts()), &error)) {
        documentPath_ = fileName;
        return;
    }
    ErrorsDialog dialog(QStringLiteral("Не удалось сохранить файл"),
                        ErrorsDialog::fitMessage(error, fileName));
    dialog.exec();
}

void MainWindow::on_actionNew_activated()
{
    history_->beginDocumentChange();
    removeStringWidgets();
    rows_.reset({});
    addString(0);
    rows_.setCurrentRow(0);
    currentColumn_ = 2;
    memory_.fill(QStringLiteral("00"));
    history_->endDocumentChange();
    documentPath_.clear();
    emit closed();
}
