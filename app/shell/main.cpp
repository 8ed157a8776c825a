#include <QApplication>

#include "CommandLine.h"
#include "TalvexApp.h"

int main(int argc, char** argv) {
    QApplication qtApp(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Talvex"));
    QCoreApplication::setApplicationName(QStringLiteral("Talvex 3.0"));
    QCoreApplication::setApplicationVersion(QStringLiteral("3.0.00004"));
    AppOptions options;
    int exitCode = 0;
    if (!ParseCommandLine(QCoreApplication::arguments(), options, exitCode)) return exitCode;
    CTalvex22App app(options);
    if (!app.InitInstance()) return 1;
    return qtApp.exec();
}
