// talvex [--port PATH] [--connect] [--demo] [--screenshot FILE] [--files-dir DIR]
//        [--trace FILE] [--capture FILE.pcapng] [--codepage NAME] [FILE.Tvx]
#pragma once

#include <QString>
#include <QStringList>

struct AppOptions {
    QString portPath;
    bool connect = false;
    bool demo = false;
    QString screenshot;
    QString filesDir;
    QString trace;
    QString capture;
    QString codepage;
    QString document;
};

// The program's version, as --version prints it and the About box shows it.
QString ProgramVersion();

// Parses the application's arguments; on --help, --version or an error, prints and returns false
// with exitCode set.
bool ParseCommandLine(const QStringList& arguments, AppOptions& options, int& exitCode);
