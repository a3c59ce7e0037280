#pragma once

// SPDX-License-Identifier: GPL-3.0-or-later
//
// The credits behind the tool bar's Info action: who made the model and where to report a
// fault.

#include <QDialog>

#include <memory>

namespace Ui {
class AuthorInfoDialog;
}

class AuthorInfoDialog final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AuthorInfoDialog)

public:
    explicit AuthorInfoDialog(QWidget *parent = nullptr);
    ~AuthorInfoDialog() override;

private:
    std::unique_ptr<Ui::AuthorInfoDialog> ui;
};
