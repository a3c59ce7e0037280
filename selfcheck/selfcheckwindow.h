#pragma once

// SPDX-License-Identifier: GPL-3.0-or-later
//
// The check window: which test file is used, the table's own mistakes (red cells and the static
// checks' findings), the summary line and one row per case with its result, points and first
// failing item. It only shows what it is handed; SelfCheckLink chooses the file, runs the
// cases and answers the window's requests.

#include "grade/testfile.h"
#include "selfcheck/casecheck.h"

#include <QWidget>

#include <memory>

class QStandardItemModel;
class QTableView;

namespace Ui {
class SelfCheckWindow;
}

class SelfCheckWindow final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SelfCheckWindow)

public:
    enum Column { NameColumn, ResultColumn, PointsColumn, FailureColumn, ColumnCount };

    explicit SelfCheckWindow(QWidget *parent = nullptr);
    ~SelfCheckWindow() override;

    void showTestFile(const QString &path);
    // A test file that cannot be used: its message (as orb-grade words it) and no cases.
    void showTestFileError(const QString &message);
    // The outcome of a check of `tests`; the first failing case is selected when the failing
    // cases have changed.
    void showOutcome(const orb::TestFile &tests, const orb::CheckOutcome &outcome);

    QString summary() const;
    QTableView *casesView() const;
    const QStandardItemModel *casesModel() const { return model_; }
    // The case selected (from 0), or -1.
    int selectedCase() const;

signals:
    void otherFileRequested();
    // Double-click or Enter on a case.
    void caseActivated(int index);
    // Double-click on a mistake: a cell (row from 0, field) or a whole row (field -1).
    void cellChosen(int row, int field);

private:
    void setProblems(const QStringList &lines, const QList<QPair<int, int>> &places);

    std::unique_ptr<Ui::SelfCheckWindow> ui;
    QStandardItemModel *model_ = nullptr;
    QList<int> shownFailing_;
    QStringList shownProblems_;
    QList<QPair<int, int>> shownPlaces_;
};
