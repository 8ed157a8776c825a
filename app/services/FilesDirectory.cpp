#include "FilesDirectory.h"

#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

bool IsWritableDirectory(const QString& path) {
    return QFileInfo(path).isDir() &&
           ::access(QFile::encodeName(path).constData(), W_OK | X_OK) == 0;
}

FilesDirectoryChoice ChooseFilesDirectory(const QString& requested, const QString& programDirectory,
                                          const QString& downloads,
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
    if (writable(programDirectory)) {
        choice.directory = programDirectory;
        return choice;
    }
    QDir().mkpath(downloads);
    choice.directory = downloads;
    choice.note = QStringLiteral("Files sent by the device go to %1: the program's directory %2 "
                                 "cannot be written (choose another with --files-dir).")
                      .arg(downloads, programDirectory);
    return choice;
}
