#include "DesktopLinks.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QUrlQuery>

#include "Ctrl.h"
#include "FileNames.h"
#include "TextCodec.h"

namespace {

class SystemOpener : public IDesktopOpener {
public:
    bool Open(const QUrl& url) override { return QDesktopServices::openUrl(url); }
};

// Only what a mail program fills in for the person to read before sending: no attachments,
// no further recipients hidden from view.
QUrl PlainMail(const QUrl& url) {
    QUrlQuery kept;
    for (const auto& [key, value] : QUrlQuery(url).queryItems(QUrl::FullyEncoded)) {
        const QString name = QUrl::fromPercentEncoding(key.toUtf8()).toLower();
        if (name == u"subject" || name == u"body" || name == u"cc") kept.addQueryItem(name, value);
    }
    QUrl mail(url);
    mail.setFragment(QString());
    mail.setQuery(kept.isEmpty() ? QString() : kept.query(QUrl::FullyEncoded));
    return mail;
}

} // namespace

IDesktopOpener& SystemDesktopOpener() {
    static SystemOpener opener;
    return opener;
}

void OpenOnDesktop(IDesktopOpener& opener, const QUrl& url,
                   const std::function<void(const QString&)>& notice) {
    if (opener.Open(url) || !notice) return;
    if (!url.isLocalFile())
        notice(QStringLiteral("No program could open %1").arg(url.toString()));
    else if (QFileInfo(url.toLocalFile()).isDir())
        notice(QStringLiteral("No program could show the folder %1").arg(url.toLocalFile()));
    else
        notice(QStringLiteral("No program could open %1").arg(url.toLocalFile()));
}

std::optional<QUrl> BlobWebAddress(const CCtrl& c) {
    if (c.m_nType != TYPE_BLOB || DataTypeOf(c.m_dwFlags) != DATA_TYPE_WEB) return std::nullopt;
    const size_t held = std::min<size_t>(c.m_nDataLen, c.m_pData.size());
    const QString text =
        QString::fromStdU16String(DecodeUtf16LE(c.m_pData.data(), held, true)).trimmed();
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid()) return std::nullopt;
    const QString scheme = url.scheme().toLower();
    if ((scheme == u"http" || scheme == u"https") && !url.host().isEmpty()) return url;
    if (scheme == u"mailto" && !url.path().isEmpty()) return PlainMail(url);
    return std::nullopt;
}

std::optional<QUrl> ReceivedFileUrl(const QString& directory, const QString& name) {
    if (directory.isEmpty() || CheckDeviceFileName(name.toStdU16String()) != FileNameProblem::None)
        return std::nullopt;
    const QDir dir(directory);
    const QFileInfo file(dir.filePath(name));
    if (file.isSymLink() || !file.isFile()) return std::nullopt;
    // Nothing the desktop would run or render with scripts: no html, svg, xml, programs.
    static const QStringList kDocuments = {
        QStringLiteral("txt"),  QStringLiteral("csv"),  QStringLiteral("log"),
        QStringLiteral("json"), QStringLiteral("pdf"),  QStringLiteral("png"),
        QStringLiteral("jpg"),  QStringLiteral("jpeg"), QStringLiteral("gif")};
    if (kDocuments.contains(file.suffix().toLower()))
        return QUrl::fromLocalFile(file.absoluteFilePath());
    return QUrl::fromLocalFile(dir.absolutePath());
}
