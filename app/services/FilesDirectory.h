// Where the files a device sends are written: --files-dir when given (it must be a directory the
// program can write), else the program's directory, or the user's Downloads folder when the
// program's directory cannot be written (an installed program).
#pragma once

#include <QString>
#include <functional>

struct FilesDirectoryChoice {
    QString directory; // empty when --files-dir cannot be used
    QString error;     // why --files-dir cannot be used
    QString note;      // the fallback that was taken, to be said once at start-up
};

bool IsWritableDirectory(const QString& path);

FilesDirectoryChoice
ChooseFilesDirectory(const QString& requested, const QString& programDirectory,
                     const QString& downloads,
                     const std::function<bool(const QString&)>& writable = IsWritableDirectory);
