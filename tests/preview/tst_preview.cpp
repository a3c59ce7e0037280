// SPDX-License-Identifier: GPL-3.0-or-later
//
// The orb-preview start window: its form, its pictures, the two toggle buttons and the actions
// that do nothing.

#include "preview/mainwindow.h"
#include "testutil.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QFrame>
#include <QImage>
#include <QPushButton>
#include <QToolBar>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

const QString windowPicture = QStringLiteral(":/Снимок экрана 2016-07-12 в 22.24.29.png");
const QString buttonPicture = QStringLiteral(":/Снимок экрана 2016-07-13 в 16.40.52.png");
const QString toolBarPicture = QStringLiteral(":/Снимок экрана 2016-07-13 в 16.52.11.png");

template <typename T> T *child(QWidget *window, const char *name)
{
    T *widget = window->findChild<T *>(QLatin1String(name));
    if (!widget)
        qFatal("no child %s", name);
    return widget;
}

int colourDistance(QRgb a, QRgb b)
{
    return qAbs(qRed(a) - qRed(b)) + qAbs(qGreen(a) - qGreen(b)) + qAbs(qBlue(a) - qBlue(b));
}

} // namespace

class TestPreview : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { testutil::failOnAnyWarning(); }

    void pictures_data();
    void pictures();
    void form();
    void actions();
    void toggleButtons();
    void actionsOpenNothing();
    void rendering();
};

void TestPreview::pictures_data()
{
    QTest::addColumn<QString>("name");
    for (const QString &name :
         {windowPicture, buttonPicture, toolBarPicture, QStringLiteral(":/misc_6569.png"),
          QStringLiteral(":/folder_open.png"), QStringLiteral(":/3floppy_unmount_8962.png"),
          QStringLiteral(":/kedit_7369.png")})
        QTest::newRow(qPrintable(name)) << name;
}

void TestPreview::pictures()
{
    QFETCH(QString, name);
    const QImage image(name);
    QVERIFY2(!image.isNull(), qPrintable(name));
}

void TestPreview::form()
{
    MainWindow window;
    QCOMPARE(window.windowTitle(), QStringLiteral("MainWindow"));
    QCOMPARE(window.size(), QSize(888, 532));
    QVERIFY(window.styleSheet().contains(windowPicture));

    auto *editButton = child<QPushButton>(&window, "editButton");
    auto *opButton = child<QPushButton>(&window, "OPButton");
    QCOMPARE(editButton->geometry(), QRect(0, -10, 61, 241));
    QCOMPARE(opButton->geometry(), QRect(0, 230, 61, 281));
    QVERIFY(editButton->text().isEmpty());
    QCOMPARE(opButton->text(), QStringLiteral("ОП"));
    QCOMPARE(opButton->font().family(), QStringLiteral("MS Serif"));
    QCOMPARE(opButton->font().pointSize(), 12);
    QVERIFY(editButton->isCheckable());
    QVERIFY(opButton->isCheckable());
    QVERIFY(editButton->isChecked());
    QVERIFY(!opButton->isChecked());
    QCOMPARE(editButton->iconSize(), QSize(35, 48));
    QVERIFY(!editButton->icon().isNull());
    QVERIFY(opButton->icon().isNull());
    QCOMPARE(editButton->styleSheet(),
             QStringLiteral("background-image: url(\"%1\");\n").arg(buttonPicture));
    QVERIFY(opButton->styleSheet().contains(buttonPicture));
    QVERIFY(!opButton->autoDefault());

    const struct {
        const char *name;
        QRect geometry;
    } lines[] = {{"line", {100, 10, 20, 471}},
                 {"line_2", {200, 10, 16, 471}},
                 {"line_3", {320, 10, 16, 471}},
                 {"line_4", {560, 10, 16, 471}}};
    for (const auto &expected : lines) {
        auto *line = child<QFrame>(&window, expected.name);
        QCOMPARE(line->geometry(), expected.geometry);
        QCOMPARE(line->frameShape(), QFrame::VLine);
        QCOMPARE(line->frameShadow(), QFrame::Sunken);
    }

    auto *toolBar = child<QToolBar>(&window, "mainToolBar");
    QCOMPARE(window.toolBarArea(toolBar), Qt::TopToolBarArea);
    QVERIFY(!toolBar->isMovable());
    QVERIFY(!toolBar->autoFillBackground());
    QVERIFY(toolBar->styleSheet().contains(toolBarPicture));
}

void TestPreview::actions()
{
    MainWindow window;
    const QList<QAction *> actions = child<QToolBar>(&window, "mainToolBar")->actions();
    QCOMPARE(actions.size(), 3);
    const QStringList names{u"actionNew"_s, u"actionOpen"_s, u"actionSave"_s};
    const QStringList texts{u"New"_s, u"Open"_s, u"Save"_s};
    const QStringList toolTips{u"Новый Файл"_s, u"Открыть Файл"_s, u"Сохранить"_s};
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(actions.at(i)->objectName(), names.at(i));
        QCOMPARE(actions.at(i)->text(), texts.at(i));
        QCOMPARE(actions.at(i)->toolTip(), toolTips.at(i));
        QVERIFY(!actions.at(i)->icon().isNull());
        QVERIFY(actions.at(i)->shortcut().isEmpty());
    }
}

void TestPreview::toggleButtons()
{
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto *editButton = child<QPushButton>(&window, "editButton");
    auto *opButton = child<QPushButton>(&window, "OPButton");
    const QString style = editButton->styleSheet();
    const QPoint centre = editButton->rect().center();

    QTest::mousePress(editButton, Qt::LeftButton, {}, centre);
    QVERIFY(editButton->isDown());
    QCOMPARE(editButton->styleSheet(), style);
    QTest::mouseRelease(editButton, Qt::LeftButton, {}, centre);
    QVERIFY(!editButton->isChecked());
    QCOMPARE(editButton->styleSheet(), style);

    QTest::mouseClick(editButton, Qt::LeftButton, {}, centre);
    QVERIFY(editButton->isChecked());
    QCOMPARE(editButton->styleSheet(), style);

    // The two buttons are independent toggles.
    QTest::mouseClick(opButton, Qt::LeftButton, {}, opButton->rect().center());
    QVERIFY(opButton->isChecked());
    QVERIFY(editButton->isChecked());
    QTest::mouseClick(opButton, Qt::LeftButton, {}, opButton->rect().center());
    QVERIFY(!opButton->isChecked());
}

void TestPreview::actionsOpenNothing()
{
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QWidgetList before = QApplication::topLevelWidgets();
    for (QAction *action : child<QToolBar>(&window, "mainToolBar")->actions()) {
        action->trigger();
        QTest::qWait(50);
        QVERIFY(!QApplication::activeModalWidget());
        QCOMPARE(QApplication::topLevelWidgets(), before);
        QVERIFY(window.isVisible());
    }
}

void TestPreview::rendering()
{
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    testutil::renderToPng(&window, QStringLiteral("preview-window"));

    // The pictures are drawn, not the style's default colours: the central area shows the
    // window backdrop, the left buttons their own background.
    const QImage central = child<QWidget>(&window, "centralWidget")->grab().toImage();
    const QImage backdrop(windowPicture);
    QVERIFY(colourDistance(central.pixel(700, 300), backdrop.pixel(700, 300)) <= 3);
    const QImage button = child<QPushButton>(&window, "OPButton")->grab().toImage();
    const QImage buttonBackground(buttonPicture);
    QVERIFY(colourDistance(button.pixel(10, 20), buttonBackground.pixel(10, 20)) <= 3);
    QVERIFY(colourDistance(button.pixel(10, 20), backdrop.pixel(10, 20)) > 3);
    // A tool bar draws its style sheet background only when the sheet also gives it a border;
    // otherwise the style paints its own gradient over the picture.
    auto *toolBar = child<QToolBar>(&window, "mainToolBar");
    const QImage bar = toolBar->grab().toImage();
    const QImage barBackground(toolBarPicture);
    for (const QPoint point :
         {QPoint(500, 2), QPoint(500, bar.height() / 2), QPoint(500, bar.height() - 2)})
        QVERIFY(colourDistance(bar.pixel(point), barBackground.pixel(point)) <= 3);
}

QTEST_MAIN(TestPreview)
#include "tst_preview.moc"
