// Texts of a record's value: the Number and Date/time texts the widgets show, the weekday names,
// and the text lists of controls show for a control.
#include <algorithm>

#include "Ctrl.h"
#include "LayoutProps.h"
#include "ValueFormat.h"

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
