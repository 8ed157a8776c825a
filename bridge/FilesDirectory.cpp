#include "FilesDirectory.h"

#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

bool IsWritableDirectory(const QString& path) {
    return QFileInfo(path).isDir() &&
           ::access(QFile::encodeName(path).constData(), W_OK | X_OK) == 0;
}

FilesDirectoryChoice ChooseFilesDirectory(const QString& requested, const QString& downloads,
                                          const std::function<bool(const QString&)>& writable) {
    FilesDirectoryChoice choice;
    if (!requested.isEmpty()) {
        const QFileInfo info(requested);
        if (!info.exists())
            choice.error = QStringLiteral("--files-dir %1: no such directory").arg(requested);
        else if (!info.isDir())
            choice.error = QStringLiteral("--files-dir %1: not a directory").arg(requested);
        else if (!writable(requested))
            choice.error =
                QStringLiteral("--files-dir %1: the directory cannot be written").arg(requested);
        else
            choice.directory = info.absoluteFilePath();
        return choice;
    }
    // Kept apart from whatever else the download folder holds.
    choice.directory =
        QDir(downloads.isEmpty() ? QDir::homePath() + QStringLiteral("/Downloads") : downloads)
            .absoluteFilePath(QStringLiteral("Talvex"));
    QDir().mkpath(choice.directory);
    if (!writable(choice.directory))
        choice.note = QStringLiteral("Files sent by the device cannot be saved: %1 cannot be "
                                     "written (choose another folder with --files-dir).")
                          .arg(choice.directory);
    return choice;
}
