// SPDX-License-Identifier: GPL-3.0-or-later

#include "sim/registercells.h"

#include "sim/stepengine.h"
#include "sim/watchlist.h"

#include <QActionGroup>
#include <QContextMenuEvent>
#include <QInputDialog>
#include <QLabel>
#include <QMenu>
#include <QWidget>

using namespace Qt::StringLiterals;

namespace {

// A watched cell takes the breakpoint red of the table's row numbers.
const QString watchedCellStyle = u"color: rgb(255,255,255);\nborder-radius: 7px;\nborder: 0px;\n"
                                 u"background-color: rgb(226, 131, 131);"_s;

// A cell the last microoperation changed gets the frame of the table's current row.
QString withChangeFrame(QString style)
{
    return style.replace(u"border: 0px;"_s, u"border: 2px solid rgb(60, 100, 160);"_s);
}

// The radix of each register's cells, for the rest of the program's life.
std::array<orb::Radix, orb::registerCount> &radixes()
{
    static std::array<orb::Radix, orb::registerCount> chosen{};
    return chosen;
}

// A byte in binary takes two lines of a smaller type to fit its cell.
constexpr int binaryPixelSize = 9;

} // namespace

RegisterCells::RegisterCells(QWidget *beforeBox, QWidget *afterBox, const orb::StepEngine &engine,
                             QObject *parent)
    : QObject(parent), engine_(engine)
{
    const auto &keys = cellKeys();
    const auto &table = orb::registerTable();
    for (int i = 0; i < cellCount; ++i) {
        const QString key = QString::fromLatin1(keys[size_t(i)]);
        QLabel *before = beforeBox->findChild<QLabel *>(key + "BeforeLabel"_L1);
        QLabel *after = afterBox->findChild<QLabel *>(key + "AfterLabel"_L1);
        Q_ASSERT(before && after);
        before_.labels[size_t(i)] = before;
        after_.labels[size_t(i)] = after;
        plainStyles_[size_t(i)] = after->styleSheet();
        for (QLabel *label : {before, after}) {
            if (table[size_t(i)].format == orb::RegisterFormat::Hex)
                label->setToolTip(valueToolTip(0));
            label->installEventFilter(this);
        }
    }
    cellFont_ = after_.labels[0]->font();
    for (int i = 0; i < orb::registerCount; ++i) {
        if (radixOf(i) != orb::Radix::Hex)
            refill(i);
    }
}

RegisterCells::~RegisterCells() = default;

const std::array<const char *, RegisterCells::cellCount> &RegisterCells::cellKeys()
{
    static const auto keys = [] {
        std::array<const char *, cellCount> keys{};
        for (size_t i = 0; i < keys.size(); ++i)
            keys[i] = orb::registerTable()[i].panelKey;
        return keys;
    }();
    return keys;
}

void RegisterCells::setWatchList(orb::WatchList *watches)
{
    watches_ = watches;
}

void RegisterCells::fillBefore()
{
    fill(before_, engine_.beforePanel());
}

void RegisterCells::fillAfter()
{
    fill(after_, engine_.afterPanel().registers);
}

void RegisterCells::fill(Panel &panel, const orb::Processor &registers)
{
    // Only the cells whose value changed get a new text.
    const auto &table = orb::registerTable();
    for (size_t i = 0; i < table.size(); ++i) {
        const int value = table[i].read(registers);
        if (panel.shown[i] == value)
            continue;
        panel.shown[i] = value;
        QLabel *label = panel.labels[i];
        label->setText(table[i].format == orb::RegisterFormat::Hex
                           ? orb::formatRadix(value, radixOf(int(i)))
                           : orb::formatRegisterValue(table[i], value));
        if (table[i].format == orb::RegisterFormat::Hex)
            label->setToolTip(valueToolTip(value));
    }
}

QString RegisterCells::valueToolTip(int value)
{
    QStringList forms;
    for (int radix = 0; radix < orb::radixCount; ++radix)
        forms << orb::formatRadix(value, orb::Radix(radix));
    return forms.join(u" = "_s);
}

void RegisterCells::restyle()
{
    const quint64 changed = changeMarks_ ? engine_.changedRegisters() : 0;
    const auto &table = orb::registerTable();
    const std::vector<orb::Watch> &watches = engine_.watches();
    quint64 watched = 0;
    for (int i = 0; i < cellCount; ++i) {
        std::optional<orb::Watch> watch;
        for (const orb::Watch &candidate : watches) {
            if (candidate.kind == orb::Watch::Kind::Register && candidate.index == i)
                watch = candidate;
        }
        const bool wasMarked = (markedCells_ | watchedCells_) >> i & 1;
        const bool marked = changed >> i & 1;
        const QString &style = watch ? watchedCellStyle : plainStyles_[size_t(i)];
        QLabel *before = before_.labels[size_t(i)];
        QLabel *after = after_.labels[size_t(i)];
        if (before->styleSheet() != style)
            before->setStyleSheet(style);
        const QString afterStyle = marked ? withChangeFrame(style) : style;
        if (after->styleSheet() != afterStyle)
            after->setStyleSheet(afterStyle);
        if (watch)
            watched |= quint64(1) << i;
        if (!watch && !marked && !wasMarked)
            continue;
        // The tool tips say what the looks mean.
        auto tipOf = [&](int value, bool changedHere) {
            QString tip = table[size_t(i)].format == orb::RegisterFormat::Hex ? valueToolTip(value)
                                                                              : QString();
            auto addLine = [&tip](const QString &line) {
                tip += (tip.isEmpty() ? QString() : u"\n"_s) + line;
            };
            if (changedHere) {
                const orb::Watch any{orb::Watch::Kind::Register, i, -1};
                addLine(u"Изменён микрооперацией: "_s +
                        orb::watchValueText(any, table[size_t(i)].read(engine_.beforePanel())) +
                        u" → "_s + orb::watchValueText(any, value));
            }
            if (watch)
                addLine(watch->value < 0 ? u"Остановка при изменении"_s
                                         : u"Остановка при значении "_s +
                                               orb::watchValueText(*watch, watch->value));
            return tip;
        };
        before->setToolTip(tipOf(before_.shown[size_t(i)], false));
        after->setToolTip(tipOf(after_.shown[size_t(i)], marked));
    }
    markedCells_ = changed;
    watchedCells_ = watched;
}

void RegisterCells::setChangeMarks(bool on)
{
    changeMarks_ = on;
    restyle();
}

orb::Radix RegisterCells::radixOf(int registerIndex)
{
    if (registerIndex < 0 || registerIndex >= orb::registerCount)
        return orb::Radix::Hex;
    return radixes()[size_t(registerIndex)];
}

void RegisterCells::chooseRadix(int registerIndex, orb::Radix radix)
{
    if (registerIndex < 0 || registerIndex >= orb::registerCount)
        return;
    radixes()[size_t(registerIndex)] = radix;
    refill(registerIndex);
}

QString RegisterCells::radixText(orb::Radix radix)
{
    switch (radix) {
    case orb::Radix::Hex:
        break;
    case orb::Radix::Unsigned:
        return u"Десятичное без знака"_s;
    case orb::Radix::Signed:
        return u"Десятичное со знаком"_s;
    case orb::Radix::Binary:
        return u"Двоичное"_s;
    }
    return u"Шестнадцатеричное"_s;
}

void RegisterCells::refill(int registerIndex)
{
    const bool binary = radixOf(registerIndex) == orb::Radix::Binary;
    for (Panel *panel : {&before_, &after_}) {
        QLabel *label = panel->labels[size_t(registerIndex)];
        QFont font = cellFont_;
        if (binary)
            font.setPixelSize(binaryPixelSize);
        label->setFont(font);
        label->setWordWrap(binary);
        panel->shown[size_t(registerIndex)] = -1;
    }
    fillBefore();
    fillAfter();
    restyle();
}

void RegisterCells::askForWatchValue(int cell)
{
    if (!watches_)
        return;
    emit dialogOpening();
    orb::Watch watch{orb::Watch::Kind::Register, cell, -1};
    const std::optional<orb::Watch> existing = watches_->find(watch);
    const int current = orb::registerTable()[size_t(cell)].read(engine_.afterPanel().registers);
    const QString question = u"Остановиться, когда %1 станет равным\n(%2):"_s.arg(
        orb::watchName(watch, orb::WatchNames::Panel),
        watch.isFlag() ? u"0 или 1"_s : u"шестнадцатеричное число от 00 до FF"_s);
    QInputDialog dialog(before_.labels[0]->window());
    dialog.setWindowTitle(u"ORB"_s);
    dialog.setLabelText(question);
    dialog.setOkButtonText(u"Остановиться"_s);
    dialog.setCancelButtonText(u"Отмена"_s);
    dialog.setTextValue(
        orb::watchValueText(watch, existing && existing->value >= 0 ? existing->value : current));
    while (dialog.exec() == QDialog::Accepted) {
        if (const std::optional<int> value = orb::parseWatchValue(watch, dialog.textValue())) {
            watch.value = *value;
            watches_->set(watch);
            return;
        }
        dialog.setLabelText(question + u"\nЭто не подходит: "_s + dialog.textValue().left(20));
    }
}

void RegisterCells::showMenu(int cell, const QPoint &globalPosition)
{
    if (!watches_)
        return;
    QMenu menu(before_.labels[0]->window());
    const bool isRegister = cell < orb::registerCount;
    if (isRegister) {
        auto *group = new QActionGroup(&menu);
        for (int i = 0; i < orb::radixCount; ++i) {
            QAction *action = menu.addAction(radixText(orb::Radix(i)));
            action->setCheckable(true);
            action->setChecked(radixOf(cell) == orb::Radix(i));
            group->addAction(action);
            connect(action, &QAction::triggered, this,
                    [this, cell, i] { chooseRadix(cell, orb::Radix(i)); });
        }
        menu.addSeparator();
    }
    const orb::Watch any{orb::Watch::Kind::Register, cell, -1};
    const std::optional<orb::Watch> existing = watches_->find(any);
    QAction *onChange = menu.addAction(u"Остановиться при изменении (двойной щелчок)"_s);
    onChange->setCheckable(true);
    onChange->setChecked(existing && existing->value < 0);
    connect(onChange, &QAction::triggered, this, [this, any](bool on) {
        if (on)
            watches_->set(any);
        else
            watches_->remove(any);
    });
    QAction *onValue = menu.addAction(u"Остановиться при значении… (Shift+двойной щелчок)"_s);
    onValue->setCheckable(true);
    onValue->setChecked(existing && existing->value >= 0);
    connect(onValue, &QAction::triggered, this, [this, cell] { askForWatchValue(cell); });
    menu.exec(globalPosition);
}

bool RegisterCells::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::MouseButtonDblClick && type != QEvent::ContextMenu)
        return QObject::eventFilter(watched, event);
    for (int i = 0; i < cellCount; ++i) {
        const bool after = watched == after_.labels[size_t(i)];
        if (!after && watched != before_.labels[size_t(i)])
            continue;
        if (type == QEvent::ContextMenu) {
            showMenu(i, static_cast<QContextMenuEvent *>(event)->globalPos());
            return true;
        }
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (!after || mouse->button() != Qt::LeftButton || !watches_)
            return false;
        if (mouse->modifiers() & Qt::ShiftModifier)
            askForWatchValue(i);
        else
            watches_->toggle(orb::Watch{orb::Watch::Kind::Register, i, -1});
        return true;
    }
    return QObject::eventFilter(watched, event);
}
