// SPDX-License-Identifier: GPL-3.0-or-later

#include "testutil.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>

#include <memory>

namespace testutil {

ModalAnswerer::ModalAnswerer(std::function<void(QWidget *)> answer, int timeoutMs)
    : answered_(std::make_shared<bool>(false)), className_(std::make_shared<QString>())
{
    // A free-standing timer polls until a modal dialog is active, answers it once and goes.
    auto *timer = new QTimer(qApp);
    timer->setInterval(10);
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    auto answeredFlag = answered_;
    auto className = className_;
    QObject::connect(timer, &QTimer::timeout, timer,
                     [timer, clock, answer, answeredFlag, className, timeoutMs]() {
                         if (QWidget *dialog = QApplication::activeModalWidget()) {
                             timer->stop();
                             timer->deleteLater();
                             *answeredFlag = true;
                             *className = QString::fromLatin1(dialog->metaObject()->className());
                             answer(dialog);
                         } else if (clock->elapsed() > timeoutMs) {
                             timer->stop();
                             timer->deleteLater();
                         }
                     });
    timer->start();
}

QString renderToPng(QWidget *widget, const QString &name)
{
    QString dir = qEnvironmentVariable("ORB_PNG_DIR");
    if (dir.isEmpty())
        dir = QDir::currentPath() + QStringLiteral("/png");
    QDir().mkpath(dir);
    const QString file = dir + QLatin1Char('/') + name + QStringLiteral(".png");
    widget->grab().save(file);
    return file;
}

} // namespace testutil
