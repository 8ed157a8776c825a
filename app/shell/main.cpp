#include <QApplication>
#include <QIcon>
#include <cstring>

#include "CommandLine.h"
#include "TalvexApp.h"

namespace {

void SetApplicationNames() {
    QCoreApplication::setOrganizationName(QStringLiteral("Talvex"));
    QCoreApplication::setApplicationName(QStringLiteral("Talvex 3.0"));
    QCoreApplication::setApplicationVersion(ProgramVersion());
}

// --help and --version must answer without a display, so they are served before any window
// system is touched.
bool AsksOnlyForText(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        for (const char* flag : {"-h", "--help", "--help-all", "-v", "--version", "-?"})
            if (std::strcmp(argv[i], flag) == 0) return true;
    return false;
}

} // namespace

int main(int argc, char** argv) {
    AppOptions options;
    int exitCode = 0;
    if (AsksOnlyForText(argc, argv)) {
        QCoreApplication textOnly(argc, argv);
        SetApplicationNames();
        ParseCommandLine(QCoreApplication::arguments(), options, exitCode);
        return exitCode;
    }
    QApplication qtApp(argc, argv);
    SetApplicationNames();
    QGuiApplication::setDesktopFileName(QStringLiteral("org.talvex.Talvex"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("org.talvex.Talvex"),
                                                 QIcon(QStringLiteral(":/icons/talvex.png"))));
    if (!ParseCommandLine(QCoreApplication::arguments(), options, exitCode)) return exitCode;
    CTalvex22App app(options);
    if (!app.InitInstance()) return 1;
    return qtApp.exec();
}
