// Where the files a device sends are written: --files-dir when given (it must be a directory the
// program can write), else a folder "Talvex" of their own in the user's download folder, never
// the program's folder.
#pragma once

#include <QString>
#include <functional>

struct FilesDirectoryChoice {
    QString directory; // empty when --files-dir cannot be used
    QString error;     // why --files-dir cannot be used
    QString note;      // a problem with the folder, to be said once at start-up
};

bool IsWritableDirectory(const QString& path);

FilesDirectoryChoice
ChooseFilesDirectory(const QString& requested, const QString& downloads,
                     const std::function<bool(const QString&)>& writable = IsWritableDirectory);
