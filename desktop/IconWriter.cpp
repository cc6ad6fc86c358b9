// Writes the program's icon as PNG files for the desktop's icon theme, drawn by the same code
// as the window icon: FOLDER/NxN/qorlog.png for every size N given.
//
//   qorlog_icon_writer FOLDER N...

#include "Icons.h"

#include <QDir>
#include <QGuiApplication>
#include <QPixmap>

#include <cstdio>

int main(int argc, char **argv)
{
    // Drawing needs no screen; the build may run where there is none.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() < 3) {
        std::fprintf(stderr, "Usage: qorlog_icon_writer FOLDER SIZE...\n");
        return 2;
    }

    const QIcon icon = QorLogIcons::application();
    const QDir folder(arguments.at(1));
    for (qsizetype i = 2; i < arguments.size(); ++i) {
        bool ok = false;
        const int size = arguments.at(i).toInt(&ok);
        // QIcon never enlarges its pictures: a size the window icon lacks comes back smaller.
        const QPixmap pixmap = ok && size > 0 ? icon.pixmap(QSize(size, size)) : QPixmap();
        if (pixmap.size() != QSize(size, size)) {
            std::fprintf(stderr, "The program icon has no picture of size %s\n",
                         qPrintable(arguments.at(i)));
            return 1;
        }
        const QString subfolder = QStringLiteral("%1x%1").arg(size);
        const QString path = folder.filePath(subfolder + QStringLiteral("/qorlog.png"));
        if (!folder.mkpath(subfolder) || !pixmap.save(path, "PNG")) {
            std::fprintf(stderr, "Cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    return 0;
}
