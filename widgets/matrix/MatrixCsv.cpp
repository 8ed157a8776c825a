#include "MatrixCsv.h"

#include <QSaveFile>

#include "CsvField.h"
#include "Ctrl.h"
#include "MatrixTexts.h"
#include "TextCodec.h"

QByteArray MatrixCsv(const MatrixTexts& texts, QChar separator, bool text16) {
    const MatrixShape shape = texts.Shape();
    const int columns = shape.Columns();
    QString csv;
    const QLatin1String lineEnd("\r\n");
    for (int c = 0; c < columns; ++c) {
        if (c > 0) csv += separator;
        AppendCsvField(csv, texts.Heading(c), separator, true);
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
            AppendCsvField(csv, cells[size_t(c)][size_t(r)], separator, false);
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
