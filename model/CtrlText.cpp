// Texts of a record's value: the Number and Date/time texts the widgets show, the weekday names,
// and the text lists of controls show for a control.
#include <algorithm>

#include "Ctrl.h"
#include "LayoutProps.h"
#include "LinkCtrl.h"
#include "TextCodec.h"
#include "ValueFormat.h"

namespace {

// Enough of a blob to recognise it by; a log line stays short.
constexpr uint32_t kLoggedBlobBytes = 256;

LoggedValue State(uint8_t value, const char* on, const char* off) {
    return {QString::fromLatin1(value ? on : off), QString::number(value)};
}

} // namespace

QString CCtrl::NumberText(int width) const {
    return FormatScaled(m_nValue, NumberStyleOf(m_dwFlags), m_strFormat, m_nDecimals, m_nExponent,
                        width);
}

QString CCtrl::NumberEditText() const {
    return FormatScaled(m_nValue, NumberStyleOf(m_dwFlags), QStringLiteral("%%"), m_nDecimals,
                        m_nExponent, 0);
}

int CCtrl::NumberWidth() const {
    return GetLayoutInt(m_nId, CTRL_PROP_DIGITS, 0);
}

QString CCtrl::DateTimeText() const {
    return FormatDateTime(DateTimeValue(), m_strFormat);
}

QStringList CCtrl::WeekdayNames() {
    QStringList names;
    DateTimeRecord day;
    for (uint8_t weekday = 0; weekday < 7; ++weekday) {
        day.weekday = weekday;
        names.append(FormatDateTime(day, QStringLiteral("%ddd%")));
    }
    return names;
}

std::optional<QString> CCtrl::ControlText() const {
    if (!m_strName.isEmpty()) return m_strName;
    switch (m_nType) {
    case TYPE_UNSUPPORTED:
        return QStringLiteral("[???]");
    case TYPE_TEXT:
        if (!IsEditable()) return m_strText; // what the value label shows
        if (m_dwFlags & CTRLF_TEXT_MASKED) return QStringLiteral("[Password]");
        return std::nullopt;
    case TYPE_DATETIME:
        if (IsEditable()) return std::nullopt;
        return DateTimeText();
    case TYPE_NUMBER:
        if (IsEditable() && m_nStyle == 0) return std::nullopt;
        return NumberText(NumberWidth());
    case TYPE_PASSWORD:
        return QStringLiteral("[Password]");
    case TYPE_LIST:
        if (m_nSelection >= 0 && m_nSelection < m_strItems.size()) return m_strItems[m_nSelection];
        return m_strItems.isEmpty() ? QString() : m_strItems.first();
    case TYPE_MESSAGEBOX:
        return m_strText;
    case TYPE_BUTTON:
    case TYPE_LATCH:
    case TYPE_SECTION:
    case TYPE_MATRIX:
    case TYPE_BLOB:
    case TYPE_FILE:
    case TYPE_IMAGE:
        // Their main button, latch and check box carry the name, which is empty here.
        return m_strName;
    default:
        Diagnostic(CP_CONTROL_TEXT);
        return QString();
    }
}

int CCtrl::TextLimit() const {
    const int64_t bytes = int64_t(m_nMaxLength) - 1;
    const int64_t chars = (m_dwFlags & CTRLF_TEXT16) ? bytes / 2 : bytes;
    return chars > 0 ? int(std::min<int64_t>(chars, 32767)) : 32767;
}

std::optional<LoggedValue> CCtrl::LogValue() const {
    switch (m_nType) {
    case TYPE_BUTTON:
    case TYPE_LATCH:
    case TYPE_SECTION:
        return State(m_bValue, "On", "Off");
    case TYPE_PASSWORD:
        return State(m_bValue, "Logged in", "Logged out");
    case TYPE_TEXT:
        if (m_dwFlags & CTRLF_TEXT_MASKED)
            return LoggedValue{QStringLiteral("[Password]"), QStringLiteral("[Password]")};
        return LoggedValue{m_strText, m_strText};
    case TYPE_MESSAGEBOX:
        return LoggedValue{m_strText, m_strText};
    case TYPE_NUMBER:
        return LoggedValue{NumberText(0).trimmed(), QString::number(m_nValue)};
    case TYPE_DATETIME: {
        const DateTimeRecord r = DateTimeValue();
        return LoggedValue{DateTimeText(),
                           QString::asprintf("%04u-%02u-%02u %02u:%02u:%02u", unsigned(r.year),
                                             unsigned(r.month), unsigned(r.day), unsigned(r.hour),
                                             unsigned(r.minute), unsigned(r.second))};
    }
    case TYPE_LIST: {
        const QString item = m_nSelection >= 0 && m_nSelection < m_strItems.size()
                                 ? m_strItems[m_nSelection]
                                 : QString();
        return LoggedValue{item, QString::number(m_nSelection)};
    }
    case TYPE_BLOB: {
        const uint32_t length = std::min<uint32_t>(m_nDataLen, uint32_t(m_pData.size()));
        const uint32_t shown = std::min(length, kLoggedBlobBytes);
        QString raw = QString::fromLatin1(
            QByteArray(reinterpret_cast<const char*>(m_pData.data()), int(shown)).toHex());
        if (shown < length) raw += QStringLiteral("...");
        if (IsRawBlob(m_dwFlags)) return LoggedValue{QStringLiteral("%1 bytes").arg(length), raw};
        return LoggedValue{QString::fromStdU16String(DecodeUtf16LE(m_pData.data(), shown)), raw};
    }
    default:
        return std::nullopt;
    }
}
