#include "DesktopLinks.h"

#include <QDir>
#include <QFileInfo>

#include "Ctrl.h"
#include "TextCodec.h"

std::optional<QUrl> BlobWebAddress(const CCtrl& c) {
    if (c.m_nType != TYPE_BLOB || DataTypeOf(c.m_dwFlags) != DATA_TYPE_WEB) return std::nullopt;
    const size_t held = std::min<size_t>(c.m_nDataLen, c.m_pData.size());
    const QString text =
        QString::fromStdU16String(DecodeUtf16LE(c.m_pData.data(), held, true)).trimmed();
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid()) return std::nullopt;
    const QString scheme = url.scheme().toLower();
    if ((scheme == u"http" || scheme == u"https") && !url.host().isEmpty()) return url;
    if (scheme == u"mailto" && !url.path().isEmpty()) return url;
    return std::nullopt;
}

std::optional<QUrl> ReceivedFileUrl(const QString& directory, const QString& name) {
    if (name.isEmpty() || name == u"." || name == u".." || name.contains(u'/') ||
        name.contains(u'\\') || name.contains(u':'))
        return std::nullopt;
    for (QChar ch : name)
        if (ch.unicode() < 0x20 || ch.unicode() == 0x7F) return std::nullopt;
    const QDir dir(directory);
    const QFileInfo file(dir.filePath(name));
    if (file.isSymLink() || !file.isFile()) return std::nullopt;
    static const QStringList kDocuments = {
        QStringLiteral("html"), QStringLiteral("htm"),  QStringLiteral("txt"),
        QStringLiteral("pdf"),  QStringLiteral("png"),  QStringLiteral("jpg"),
        QStringLiteral("jpeg"), QStringLiteral("gif"),  QStringLiteral("svg"),
        QStringLiteral("csv"),  QStringLiteral("json"), QStringLiteral("xml")};
    if (kDocuments.contains(file.suffix().toLower()))
        return QUrl::fromLocalFile(file.absoluteFilePath());
    return QUrl::fromLocalFile(dir.absolutePath());
}
