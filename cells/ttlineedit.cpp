#include "cells/ttlineedit.h"

#include "app/constants.h"
#include "app/mainwindow.h"
#include "cells/cellproblem.h"
#include "cells/rowrules.h"

#include <QApplication>
#include <QFocusEvent>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QPointer>
#include <QScrollArea>
#include <QToolTip>

#include <array>

// The row rules see the four cells of this cell's row through the owner's table.
class TTLineEdit::RowAdapter final : public orb::RowCells {
public:
    RowAdapter(const MainWindow &owner, int row) : owner_(owner), row_(row) {}

    QString cellText(int field) const override { return cell(field)->text(); }
    // QLineEdit::setText truncates to the maximum length and emits textChanged only for a
    // new text; the cell's text-change slot then runs the rules.
    void setCellText(int field, const QString &text) override { cell(field)->setText(text); }
    void setCellCorrect(int field, bool correct) override { cell(field)->setCorrect(correct); }
    orb::ParsedConditions &parsedConditions() override
    {
        return cell(orb::ConditionsField)->conditions_;
    }
    orb::ParsedSignals &parsedSignals() override { return cell(orb::SignalsField)->signals_; }

private:
    TTLineEdit *cell(int field) const { return owner_.ttCell(row_, orb::gridColumnOfField(field)); }

    const MainWindow &owner_;
    const int row_;
};

TTLineEdit::TTLineEdit(MainWindow *owner, int row, int field, QWidget *parent)
    : QLineEdit(parent), owner_(owner), row_(row), column_(orb::gridColumnOfField(field))
{
    setStyleSheet(orb::correctCellStyle);
    // Typing into the cell ends the note on what its last commit dropped, and so does any
    // other text put here (a row moved or cleared): the note belongs to the text it was made for.
    connect(this, &QLineEdit::textEdited, this, [this] { droppedNote_.clear(); });
    connect(this, &QLineEdit::textChanged, this, [this](const QString &text) {
        if (text != droppedFromText_)
            droppedNote_.clear();
    });
}

TTLineEdit::~TTLineEdit() = default;

void TTLineEdit::applyStyle(const QString &style)
{
    // Re-polishing a style sheet is costly and the style rarely changes: set it only then.
    if (styleSheet() != style)
        setStyleSheet(style);
}

void TTLineEdit::setCorrect(bool value)
{
    if (!owner_)
        return;
    if (value) {
        if (correct_)
            return;
        if (orb::isStateField(field()) && !orb::isStateTextValid(text()))
            return;
        applyStyle(orb::correctCellStyle);
        correct_ = true;
        owner_->decreaseErrorCount();
    } else {
        applyStyle(orb::incorrectCellStyle);
        if (correct_) {
            correct_ = false;
            owner_->increaseErrorCount();
        }
    }
}

void TTLineEdit::takeMark(bool correct)
{
    correct_ = correct;
    applyStyle(correct ? orb::correctCellStyle : orb::incorrectCellStyle);
}

void TTLineEdit::commit()
{
    if (!owner_)
        return;
    ++commitCount_;
    const QString typed = text();
    RowAdapter row(*owner_, row_);
    orb::RowRules::editingFinished(row, field());
    noteDroppedSignals(typed);
    emit owner_->tableChanged();
}

void TTLineEdit::fillAndCommit(const QString &text)
{
    if (!owner_)
        return;
    ++commitCount_;
    RowAdapter row(*owner_, row_);
    orb::RowRules::fillAndCommit(row, field(), text);
    noteDroppedSignals(text.left(maxLength()));
}

void TTLineEdit::noteDroppedSignals(const QString &typed)
{
    if (field() != orb::SignalsField || !correct_)
        return;
    // A commit that drops nothing (leaving an unchanged cell) keeps the note it has.
    const QString note = orb::droppedSignalsNote(typed);
    if (note.isEmpty())
        return;
    droppedNote_ = note;
    droppedFromText_ = text();
}

QString TTLineEdit::toolTipText() const
{
    if (!owner_)
        return QString();
    if (!correct_) {
        const RowAdapter row(*owner_, row_);
        std::array<QString, 4> texts;
        for (int field = 0; field < orb::fieldCount; ++field)
            texts[size_t(field)] = row.cellText(field);
        const std::optional<orb::CellProblem> problem = orb::rowCellProblem(texts, field());
        return problem ? problem->message : QString();
    }
    return droppedNote_;
}

bool TTLineEdit::event(QEvent *event)
{
    if (event->type() != QEvent::ToolTip)
        return QLineEdit::event(event);
    const QString tip = toolTipText();
    if (tip.isEmpty()) {
        QToolTip::hideText();
        event->ignore();
    } else {
        QToolTip::showText(static_cast<QHelpEvent *>(event)->globalPos(), tip, this, rect());
    }
    return true;
}

void TTLineEdit::onStateEditingFinished()
{
    commit();
}

void TTLineEdit::onTransitionConditionsEditingFinished()
{
    commit();
}

void TTLineEdit::onControlSignalsEditingFinished()
{
    commit();
}

void TTLineEdit::onStateChanged(const QString &text)
{
    Q_UNUSED(text)
    runTextChangedRules();
}

void TTLineEdit::onTransitionConditionsChanged(const QString &text)
{
    Q_UNUSED(text)
    runTextChangedRules();
}

void TTLineEdit::onControlSignalsChanged(const QString &text)
{
    Q_UNUSED(text)
    runTextChangedRules();
}

void TTLineEdit::runTextChangedRules()
{
    if (!owner_)
        return;
    RowAdapter row(*owner_, row_);
    orb::RowRules::textChanged(row, field());
}

bool TTLineEdit::focusCell(int row, int column, CursorPlacement placement) const
{
    TTLineEdit *cell = owner_->ttCell(row, column);
    if (!cell)
        return false;
    if (placement == CursorAtStart)
        cell->setCursorPosition(0);
    else if (placement == CursorAtEnd)
        cell->setCursorPosition(int(cell->text().size()));
    cell->setFocus(Qt::OtherFocusReason);
    return true;
}

void TTLineEdit::keyPressEvent(QKeyEvent *event)
{
    if (!owner_) {
        QLineEdit::keyPressEvent(event);
        return;
    }
    const int key = event->key();
    // W, A, S and D navigate with or without Shift; with Ctrl, Alt or Meta they stay shortcuts.
    const bool letter =
        !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
    const bool atStart = cursorPosition() == 0;
    const bool atEnd = cursorPosition() == text().size();
    const int lastRow = owner_->stringCount() - 1;

    if (key == Qt::Key_Up || (letter && key == Qt::Key_W)) {
        if (row_ > 0)
            focusCell(row_ - 1, column_, CursorKept);
        event->accept();
        return;
    }
    if (key == Qt::Key_Down || (letter && key == Qt::Key_S)) {
        if (row_ < lastRow)
            focusCell(row_ + 1, column_, CursorKept);
        event->accept();
        return;
    }
    if ((letter && key == Qt::Key_A) || (key == Qt::Key_Left && atStart)) {
        if (column_ > 2)
            focusCell(row_, column_ - 2, CursorKept);
        else if (row_ > 0)
            focusCell(row_ - 1, 8, CursorAtEnd);
        event->accept();
        return;
    }
    if ((letter && key == Qt::Key_D) || (key == Qt::Key_Right && atEnd)) {
        if (column_ < 8)
            focusCell(row_, column_ + 2, CursorKept);
        else if (row_ < lastRow)
            focusCell(row_ + 1, 2, CursorAtStart);
        event->accept();
        return;
    }
    if (key == Qt::Key_Backspace && atStart && !hasSelectedText()) {
        event->accept();
        if (owner_->currentColumn() == 2) {
            // The deletion destroys the widgets of the last row, possibly this very cell
            // (deferred, but detached at once): nothing of this cell is used after it.
            MainWindow *owner = owner_;
            const int row = row_;
            const int column = column_;
            owner->deleteString();
            if (row > 0) {
                if (TTLineEdit *cell = owner->ttCell(row - 1, column))
                    cell->setFocus(Qt::OtherFocusReason);
            }
        } else {
            focusCell(row_, column_ - 2, CursorKept);
        }
        return;
    }
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        // returnPressed inserts a row and usually moves the focus, which commits this cell
        // on its way out; if the focus stayed, the edit ends here. Either way once.
        const quint64 commitsBefore = commitCount_;
        const QPointer<TTLineEdit> self(this);
        QLineEdit::keyPressEvent(event);
        if (self && commitCount_ == commitsBefore)
            commit();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

void TTLineEdit::focusInEvent(QFocusEvent *event)
{
    if (owner_) {
        RowAdapter row(*owner_, row_);
        orb::RowRules::focusIn(row, field());
        owner_->setCurrentCell(row_, column_);
        scrollIntoViewLater();
    }
    QLineEdit::focusInEvent(event);
}

void TTLineEdit::focusOutEvent(QFocusEvent *event)
{
    QLineEdit::focusOutEvent(event);
    // The cell's own context menu takes the focus without ending the edit.
    if (event->reason() == Qt::PopupFocusReason) {
        const QWidget *popup = QApplication::activePopupWidget();
        if (popup && popup->parentWidget() == this)
            return;
    }
    commit();
}

bool TTLineEdit::focusNextPrevChild(bool next)
{
    // Tab goes on to the neighbouring row, whose cells the owner may not have built yet;
    // building them puts them next in the focus chain.
    if (owner_) {
        if (next && column_ == 8)
            owner_->ttCell(row_ + 1, 2);
        else if (!next && column_ == 2)
            owner_->ttCell(row_ - 1, 8);
    }
    return QLineEdit::focusNextPrevChild(next);
}

void TTLineEdit::scrollIntoViewLater()
{
    // A cell that was just appended has no geometry until the layout has run, so the table
    // scrolls to the focused cell once the pending layout requests are through.
    QMetaObject::invokeMethod(
        this,
        [this]() {
            if (!owner_ || !hasFocus())
                return;
            for (QWidget *widget = parentWidget(); widget; widget = widget->parentWidget()) {
                if (auto *area = qobject_cast<QScrollArea *>(widget)) {
                    area->ensureWidgetVisible(this, 0, 4);
                    return;
                }
            }
        },
        Qt::QueuedConnection);
}
