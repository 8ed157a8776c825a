#include "HelpPage.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QUrl>

namespace {

const char* const kRelative = "talvex/help/com-ports.html";

} // namespace

QString ComPortsHelpPath() {
    const QString installed = QDir::cleanPath(
        QDir(QCoreApplication::applicationDirPath())
            .absoluteFilePath(QStringLiteral("../share/") + QLatin1String(kRelative)));
    if (QFileInfo::exists(installed)) return installed;
    const QString shared =
        QStandardPaths::locate(QStandardPaths::GenericDataLocation, QLatin1String(kRelative));
    if (!shared.isEmpty()) return shared;
#ifdef TALVEX_SOURCE_HELP_PAGE
    if (QFileInfo::exists(QStringLiteral(TALVEX_SOURCE_HELP_PAGE)))
        return QStringLiteral(TALVEX_SOURCE_HELP_PAGE);
#endif
    return installed;
}

bool OpenInBrowser(const QString& path) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}
