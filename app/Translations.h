#pragma once

#include <QLocale>
#include <QStringList>

// Installs the translators for the user's language (QLocale() follows LANG, LC_ALL,
// LC_MESSAGES and LANGUAGE): Qt's own texts of standard buttons and dialogs from Qt's
// translations folder, and QorLog's from the first of `folders` that holds them. Under C or
// English nothing is installed and every text stays as written in the code. Needs a
// QCoreApplication. Returns the QorLog translation file loaded, or an empty string.
QString installTranslations(const QLocale &locale, const QStringList &folders);

// Where QorLog looks for its translations: share/qorlog/translations beside the installed
// program, then the copy built into the program.
QStringList translationFolders(const QString &programFolder);
