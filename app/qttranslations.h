#pragma once

// SPDX-License-Identifier: GPL-3.0-or-later
//
// Qt's own Russian texts for the standard parts of the interface (file dialogs, the line
// edits' context menus, standard buttons), so that no English shows in the Russian editor.
// The program's own texts are not translated; they are Russian already.

#include <QString>

class QCoreApplication;
class QTranslator;

namespace orb {

// Where the system keeps Qt's translations (on Debian, qt6-translations-l10n fills it).
QString systemQtTranslationsPath();

// Installs Qt's Russian translations found in `directory` into the application, which then
// owns them. Returns the installed translator, or nullptr when they are missing or unreadable:
// the program then runs with Qt's English texts, as without this call.
QTranslator *installQtTranslations(QCoreApplication *application,
                                   const QString &directory = systemQtTranslationsPath());

} // namespace orb
