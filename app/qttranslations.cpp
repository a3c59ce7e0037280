// SPDX-License-Identifier: GPL-3.0-or-later

#include "app/qttranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include <memory>

namespace orb {

QString systemQtTranslationsPath()
{
    return QLibraryInfo::path(QLibraryInfo::TranslationsPath);
}

QTranslator *installQtTranslations(QCoreApplication *application, const QString &directory)
{
    // Russian whatever the system's locale: the whole interface is Russian. qtbase holds the
    // texts of the widgets the program uses.
    auto translator = std::make_unique<QTranslator>(application);
    if (!translator->load(QStringLiteral("qtbase_ru"), directory))
        return nullptr;
    if (!QCoreApplication::installTranslator(translator.get()))
        return nullptr;
    return translator.release();
}

} // namespace orb
