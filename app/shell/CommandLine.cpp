#include "CommandLine.h"

#include <QCommandLineParser>
#include <cstdio>

#include "PortAddress.h"

QString ProgramVersion() {
    return QStringLiteral(TALVEX_VERSION);
}

bool ParseCommandLine(const QStringList& arguments, AppOptions& options, int& exitCode) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Operates remote devices over a serial link."));
    QCommandLineOption help = parser.addHelpOption();
    QCommandLineOption version = parser.addVersionOption();
    QCommandLineOption port(QStringLiteral("port"),
                            QStringLiteral("Open this serial device, tcp://HOST:PORT (a serial "
                                           "bridge on the network) or bt://ADDRESS (a paired "
                                           "Bluetooth device), instead of the numbered port."),
                            QStringLiteral("PATH"));
    QCommandLineOption connect(QStringLiteral("connect"), QStringLiteral("Connect at start-up."));
    QCommandLineOption demo(QStringLiteral("demo"),
                            QStringLiteral("Start the built-in demo device and connect to it."));
    QCommandLineOption screenshot(QStringLiteral("screenshot"),
                                  QStringLiteral("Save a PNG of the window once the panel is laid "
                                                 "out, then exit."),
                                  QStringLiteral("FILE"));
    QCommandLineOption filesDir(QStringLiteral("files-dir"),
                                QStringLiteral("Directory for files sent by the device."),
                                QStringLiteral("DIR"));
    QCommandLineOption trace(QStringLiteral("trace"),
                             QStringLiteral("Write every frame sent and received to FILE."),
                             QStringLiteral("FILE"));
    QCommandLineOption capture(QStringLiteral("capture"),
                               QStringLiteral("Capture every frame sent and received to FILE, a "
                                              "pcapng file for Wireshark or talvex-sim --replay."),
                               QStringLiteral("FILE.pcapng"));
    QCommandLineOption codepage(QStringLiteral("codepage"),
                                QStringLiteral("Code page of the device's 8-bit texts "
                                               "(default CP1252)."),
                                QStringLiteral("NAME"));
    for (const auto& o : {port, connect, demo, screenshot, filesDir, trace, capture, codepage})
        parser.addOption(o);
    parser.addPositionalArgument(QStringLiteral("file"), QStringLiteral("A .Tvx document."),
                                 QStringLiteral("[FILE.Tvx]"));
    if (!parser.parse(arguments)) {
        std::fprintf(stderr, "%s\n", qPrintable(parser.errorText()));
        exitCode = 2;
        return false;
    }
    if (parser.isSet(help)) {
        std::printf("%s", qPrintable(parser.helpText()));
        exitCode = 0;
        return false;
    }
    if (parser.isSet(version)) {
        std::printf("talvex %s\n", qPrintable(ProgramVersion()));
        exitCode = 0;
        return false;
    }
    if (parser.positionalArguments().size() > 1) {
        std::fprintf(stderr, "At most one document can be opened.\n");
        exitCode = 2;
        return false;
    }
    options.portPath = parser.value(port);
    if (parser.isSet(port)) {
        const PortAddress address = ParsePortAddress(options.portPath.toStdString());
        if (address.kind == PortAddress::Kind::Invalid) {
            std::fprintf(stderr, "%s\n", address.error.c_str());
            exitCode = 2;
            return false;
        }
    }
    options.connect = parser.isSet(connect);
    options.demo = parser.isSet(demo);
    options.screenshot = parser.value(screenshot);
    options.filesDir = parser.value(filesDir);
    options.trace = parser.value(trace);
    options.capture = parser.value(capture);
    options.codepage = parser.value(codepage);
    options.document = parser.positionalArguments().value(0);
    return true;
}
