// A matrix as a CSV file: a line of quoted headings, then one line per row, the chosen separator
// between fields and CR LF after each line. Cells are quoted only when they hold the separator, a
// quote or a line break (quotes doubled); text a spreadsheet would run as a formula gets a leading
// apostrophe. 16-bit matrices are written as UTF-16LE without a byte-order mark, others as UTF-8.
// The texts are those of the table.
#pragma once

#include <QByteArray>
#include <QChar>
#include <QString>

class CCtrl;
class MatrixTexts;

QByteArray MatrixCsv(const MatrixTexts& texts, QChar separator, bool text16);
// With the control's own texts and character width.
QByteArray MatrixCsv(const CCtrl& ctrl, QChar separator);

enum class FileWrite { Written, OpenError, WriteError };
// Writes the whole file or nothing: a file already there is replaced only once every byte is
// safely written.
FileWrite WriteWholeFile(const QString& path, const QByteArray& bytes);
