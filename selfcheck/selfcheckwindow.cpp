// SPDX-License-Identifier: GPL-3.0-or-later

#include "selfcheck/selfcheckwindow.h"
#include "ui_selfcheckwindow.h"

#include <QHeaderView>
#include <QStandardItemModel>

using namespace Qt::StringLiterals;

namespace {

// The program's green of the row numbers and its light red of the breakpoints and red cells.
const QColor passedColor(101, 220, 177);
const QColor failedColor(240, 180, 180);

constexpr int rowRole = Qt::UserRole + 1;
constexpr int fieldRole = Qt::UserRole + 2;

} // namespace

SelfCheckWindow::SelfCheckWindow(QWidget *parent)
    : QWidget(parent, Qt::Window), ui(std::make_unique<Ui::SelfCheckWindow>())
{
    ui->setupUi(this);
    model_ = new QStandardItemModel(0, ColumnCount, this);
    model_->setHorizontalHeaderLabels(
        {u"Случай"_s, u"Результат"_s, u"Баллы"_s, u"Первое расхождение"_s});
    ui->casesView->setModel(model_);
    ui->casesView->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    ui->casesView->horizontalHeader()->setStretchLastSection(true);
    QFont bold = ui->summaryLabel->font();
    bold.setBold(true);
    ui->summaryLabel->setFont(bold);
    ui->problemsLabel->hide();
    ui->problemsList->hide();

    connect(ui->otherFileButton, &QPushButton::clicked, this, &SelfCheckWindow::otherFileRequested);
    connect(ui->casesView, &QTableView::activated, this,
            [this](const QModelIndex &index) { emit caseActivated(index.row()); });
    connect(ui->problemsList, &QListWidget::itemActivated, this, [this](QListWidgetItem *item) {
        const QVariant row = item->data(rowRole);
        if (row.isValid())
            emit cellChosen(row.toInt(), item->data(fieldRole).toInt());
    });
}

SelfCheckWindow::~SelfCheckWindow() = default;

QTableView *SelfCheckWindow::casesView() const
{
    return ui->casesView;
}

QString SelfCheckWindow::summary() const
{
    return ui->summaryLabel->text();
}

int SelfCheckWindow::selectedCase() const
{
    const QModelIndexList rows = ui->casesView->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void SelfCheckWindow::showTestFile(const QString &path)
{
    ui->testFileLabel->setText(u"Тесты: "_s + path);
    ui->testFileLabel->setToolTip(path);
}

void SelfCheckWindow::showTestFileError(const QString &message)
{
    model_->removeRows(0, model_->rowCount());
    shownFailing_.clear();
    ui->summaryLabel->setText(u"Файл тестов не годится, ничего не запущено."_s);
    ui->problemsLabel->setText(u"Ошибка в файле тестов:"_s);
    setProblems({message}, {{-1, -1}});
}

void SelfCheckWindow::setProblems(const QStringList &lines, const QList<QPair<int, int>> &places)
{
    // One line an item, each as high as the next, rebuilt only when the lines change: wrapped and
    // rebuilt every time, the findings of orb-bench's 500-row table made inserting a row take
    // 30 ms instead of 4.4 ms (now 4.3 ms). The tool tip shows a long line whole.
    if (lines == shownProblems_ && places == shownPlaces_)
        return;
    shownProblems_ = lines;
    shownPlaces_ = places;
    ui->problemsList->clear();
    for (qsizetype i = 0; i < lines.size(); ++i) {
        auto *item = new QListWidgetItem(lines[i], ui->problemsList);
        item->setToolTip(lines[i]);
        if (places[i].first >= 0) {
            item->setData(rowRole, places[i].first);
            item->setData(fieldRole, places[i].second);
        }
    }
    ui->problemsLabel->setVisible(!lines.isEmpty());
    ui->problemsList->setVisible(!lines.isEmpty());
}

void SelfCheckWindow::showOutcome(const orb::TestFile &tests, const orb::CheckOutcome &outcome)
{
    QStringList lines;
    QList<QPair<int, int>> places;
    for (const orb::WrongCell &cell : outcome.wrongCells) {
        lines << cell.line();
        places << qMakePair(cell.row, cell.field);
    }
    for (const orb::Finding &finding : outcome.findings) {
        lines << orb::findingLine(finding);
        places << qMakePair(finding.row() - 1, -1);
    }
    ui->problemsLabel->setText(outcome.wrongCells.isEmpty()
                                   ? u"Замечания к таблице (двойной щелчок — перейти к строке):"_s
                                   : u"Красные ячейки — ничего не запущено (двойной щелчок — "
                                     u"перейти к ячейке):"_s);
    setProblems(lines, places);
    ui->summaryLabel->setText(outcome.summary());

    const int count = int(outcome.cases.size());
    if (model_->rowCount() != count) {
        model_->removeRows(0, model_->rowCount());
        model_->setRowCount(count);
    }
    QList<int> failing;
    for (int i = 0; i < count; ++i) {
        const orb::CaseResult &result = outcome.cases[size_t(i)].result;
        const bool passed = result.status == orb::CaseStatus::Passed;
        if (!passed)
            failing << i;
        // A teacher's own file runs its hidden cases too; they are named so, since a
        // student's copy has none of them.
        const bool hidden = i < tests.cases.size() && !tests.cases[i].visible();
        const QString name = i < tests.cases.size() ? tests.cases[i].name : QString();
        const QString texts[ColumnCount] = {hidden ? u"%1 (скрытый)"_s.arg(name) : name,
                                            orb::caseStatusText(result.status),
                                            u"%1 из %2"_s.arg(result.points).arg(result.maxPoints),
                                            outcome.cases[size_t(i)].failure};
        for (int column = 0; column < ColumnCount; ++column) {
            auto *item = new QStandardItem(texts[column]);
            item->setBackground(passed ? passedColor : failedColor);
            item->setForeground(QColor(30, 40, 50));
            if (column == FailureColumn)
                item->setToolTip(texts[column]);
            if (column == NameColumn && hidden)
                item->setToolTip(u"Скрытый случай: в копии теста для студентов его нет"_s);
            model_->setItem(i, column, item);
        }
    }
    // The first failing case comes into view selected, unless the same cases still fail and the
    // student has picked another one meanwhile.
    if (failing != shownFailing_ || selectedCase() < 0) {
        shownFailing_ = failing;
        const int row = failing.isEmpty() ? (count > 0 ? 0 : -1) : failing.first();
        if (row >= 0) {
            ui->casesView->selectRow(row);
            ui->casesView->scrollTo(model_->index(row, 0));
        }
    }
}
