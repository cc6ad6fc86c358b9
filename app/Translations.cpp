#include "Translations.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QTranslator>

QString installTranslations(const QLocale &locale, const QStringList &folders)
{
    auto *qt = new QTranslator(QCoreApplication::instance());
    if (qt->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                 QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(qt);
    else
        delete qt;

    for (const QString &folder : folders) {
        auto *own = new QTranslator(QCoreApplication::instance());
        if (own->load(locale, QStringLiteral("qorlog"), QStringLiteral("_"), folder)) {
            QCoreApplication::installTranslator(own);
            return own->filePath();
        }
        delete own;
    }
    return QString();
}

QStringList translationFolders(const QString &programFolder)
{
    return {QDir(programFolder).filePath(QStringLiteral("../share/qorlog/translations")),
            QStringLiteral(":/i18n")};
}
