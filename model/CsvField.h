// One CSV field as the program writes it everywhere (matrix exports, value logs): quoted only
// when asked to or when it holds the separator, a quote or a line break (quotes doubled), and
// text a spreadsheet would run as a formula behind a leading apostrophe.
#pragma once

#include <QChar>
#include <QString>

void AppendCsvField(QString& csv, const QString& text, QChar separator, bool quote = false);
