#include "CsvField.h"

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

} // namespace

void AppendCsvField(QString& csv, const QString& text, QChar separator, bool quote) {
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
