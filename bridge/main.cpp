// talvex-bridge: one device's panel as an MQTT device, without a window.
#include <unistd.h>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QStandardPaths>
#include <cstdio>

#include "BridgeService.h"
#include "FilesDirectory.h"
#include "HeadlessPanel.h"
#include "Link.h"
#include "QuitSignals.h"

namespace {

int Fail(const QString& text) {
    std::fprintf(stderr, "talvex-bridge: %s\n", qPrintable(text));
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("talvex-bridge"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TALVEX_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Makes the panel of a Talvex device an MQTT device."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption port(
        QStringLiteral("port"),
        QStringLiteral("The device: a serial port, tcp://HOST:PORT or bt://ADDRESS."),
        QStringLiteral("PORT"));
    const QCommandLineOption mqtt(QStringLiteral("mqtt"),
                                  QStringLiteral("The broker: mqtt://HOST[:PORT] or mqtts://..."),
                                  QStringLiteral("URL"));
    const QCommandLineOption prefix(QStringLiteral("prefix"),
                                    QStringLiteral("Topic prefix (talvex/<panel title>)."),
                                    QStringLiteral("P"));
    const QCommandLineOption filesDir(QStringLiteral("files-dir"),
                                      QStringLiteral("Where files from the device go."),
                                      QStringLiteral("DIR"));
    const QCommandLineOption user(QStringLiteral("user"), QStringLiteral("Broker user name."),
                                  QStringLiteral("U"));
    const QCommandLineOption passwordFile(QStringLiteral("password-file"),
                                          QStringLiteral("File whose first line is the password."),
                                          QStringLiteral("F"));
    const QCommandLineOption caFile(QStringLiteral("ca-file"),
                                    QStringLiteral("CA certificate for mqtts://."),
                                    QStringLiteral("F"));
    const QCommandLineOption noDiscovery(QStringLiteral("no-discovery"),
                                         QStringLiteral("No Home Assistant discovery configs."));
    parser.addOptions({port, mqtt, prefix, filesDir, user, passwordFile, caFile, noDiscovery});
    parser.process(app);
    if (!parser.isSet(port) || !parser.isSet(mqtt))
        return Fail(QStringLiteral("--port and --mqtt are required (see --help)"));

    BridgeOptions options;
    options.prefix = parser.value(prefix).toStdString();
    options.discovery = !parser.isSet(noDiscovery);
    std::string error;
    if (!ParseMqttUrl(parser.value(mqtt).toStdString(), options.mqtt, error))
        return Fail(QString::fromStdString(error));
    options.mqtt.user = parser.value(user).toStdString();
    options.mqtt.caFile = parser.value(caFile).toStdString();
    if (parser.isSet(passwordFile)) {
        QFile file(parser.value(passwordFile));
        if (!file.open(QIODevice::ReadOnly))
            return Fail(QStringLiteral("cannot read the password file %1").arg(file.fileName()));
        options.mqtt.password = file.readLine(4096).trimmed().toStdString();
    }
    char host[256] = {};
    gethostname(host, sizeof host - 1);
    options.mqtt.clientId = "talvex-bridge-" + std::string(host) + "-" + std::to_string(getpid());

    const FilesDirectoryChoice files = ChooseFilesDirectory(
        parser.value(filesDir), QStandardPaths::writableLocation(QStandardPaths::DownloadLocation));
    if (!files.error.isEmpty()) return Fail(files.error);
    if (!files.note.isEmpty()) std::fprintf(stderr, "talvex-bridge: %s\n", qPrintable(files.note));
    LinkSetFilesDirectory(QFile::encodeName(files.directory).toStdString());

    HeadlessPanel panel(parser.value(port).toStdString());
    BridgeService bridge(options, panel);
    CQuitSignals quit;
    QObject::connect(&quit, &CQuitSignals::Caught, &app, [&] {
        bridge.Stop();
        panel.Stop();
        app.quit();
    });
    if (!bridge.Start(error)) return Fail(QString::fromStdString(error));
    panel.Start();
    const int status = app.exec();
    bridge.Stop();
    panel.Stop();
    LinkShutdown();
    return status;
}
