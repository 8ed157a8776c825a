#include "MatrixCsv.h"

#include <QSaveFile>

#include "Ctrl.h"
#include "MatrixTexts.h"
#include "TextCodec.h"

namespace {

// Sign, digits with at most one point, an optional exponent: what a spreadsheet reads as a number.
bool IsPlainNumber(QStringView s) {
    qsizetype i = 0;
    const qsizetype n = s.size();
    auto digits = [&] {
        const qsizetype from = i;
        while (i < n && s[i] >= u'0' && s[i] <= u'9') ++i;
        return i - from;
    };
    if (i < n && (s[i] == u'+' || s[i] == u'-')) ++i;
    qsizetype mantissa = digits();
    if (i < n && s[i] == u'.') {
        ++i;
        mantissa += digits();
    }
    if (mantissa == 0) return false;
    if (i < n && (s[i] == u'e' || s[i] == u'E')) {
        ++i;
        if (i < n && (s[i] == u'+' || s[i] == u'-')) ++i;
        if (digits() == 0) return false;
    }
    return i == n;
}

// A spreadsheet runs such a cell as a formula; device texts must never become one.
bool LooksLikeFormula(QStringView s) {
    if (s.isEmpty()) return false;
    const QChar c = s.front();
    if (c == u'=' || c == u'@' || c == u'\t' || c == u'\r') return true;
    return (c == u'+' || c == u'-') && !IsPlainNumber(s);
}

// One field: formula-like text behind an apostrophe, quoted (quotes doubled) when asked to or
// when it holds the separator, a quote or a line break.
void AppendField(QString& csv, const QString& text, QChar separator, bool quote) {
    const bool guard = LooksLikeFormula(text);
    for (QChar c : text)
        if (c == separator || c == u'"' || c == u'\r' || c == u'\n') quote = true;
    if (quote) csv += u'"';
    if (guard) csv += u'\'';
    if (quote && text.contains(u'"'))
        csv += QString(text).replace(u'"', QLatin1String("\"\""));
    else
        csv += text;
    if (quote) csv += u'"';
}

} // namespace

QByteArray MatrixCsv(const MatrixTexts& texts, QChar separator, bool text16) {
    const MatrixShape shape = texts.Shape();
    const int columns = shape.Columns();
    QString csv;
    const QLatin1String lineEnd("\r\n");
    for (int c = 0; c < columns; ++c) {
        if (c > 0) csv += separator;
        AppendField(csv, texts.Heading(c), separator, true);
    }
    csv += lineEnd;
    const std::vector<std::vector<QString>> cells = texts.AllTexts(shape.rows);
    qsizetype length = csv.size() + qsizetype(shape.rows) * (columns + 2);
    for (const auto& column : cells)
        for (const QString& text : column) length += text.size();
    csv.reserve(length);
    for (int r = 0; r < shape.rows; ++r) {
        for (int c = 0; c < columns; ++c) {
            if (c > 0) csv += separator;
            AppendField(csv, cells[size_t(c)][size_t(r)], separator, false);
        }
        csv += lineEnd;
    }
    if (!text16) return csv.toUtf8();
    const std::vector<uint8_t> bytes = EncodeUtf16LE(
        std::u16string_view(reinterpret_cast<const char16_t*>(csv.utf16()), size_t(csv.size())));
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
}

QByteArray MatrixCsv(const CCtrl& ctrl, QChar separator) {
    return MatrixCsv(MatrixTexts(ctrl), separator, (ctrl.m_dwFlags & CTRLF_TEXT16) != 0);
}

FileWrite WriteWholeFile(const QString& path, const QByteArray& bytes) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return FileWrite::OpenError;
    // commit() does not report a failed flush of the last bytes (a full disk), so flush first.
    if (file.write(bytes) != bytes.size() || !file.flush() ||
        file.error() != QFileDevice::NoError) {
        file.cancelWriting();
        return FileWrite::WriteError;
    }
    return file.commit() ? FileWrite::Written : FileWrite::WriteError;
}
