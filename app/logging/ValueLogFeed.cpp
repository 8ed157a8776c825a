#include "ValueLogFeed.h"

#include <algorithm>

#include "Ctrl.h"

void CValueLogFeed::SetPanel(const QString& title, std::set<uint32_t> skipped) {
    m_strPanel = title;
    m_skipped = std::move(skipped);
    m_log.SetPanel(title);
}

QString CValueLogFeed::Name(const CCtrl& c) {
    return c.m_strName.isEmpty() ? QStringLiteral("#%1").arg(c.m_nId) : c.m_strName;
}

bool CValueLogFeed::HasValues(const CCtrl& c) {
    return c.m_nType == TYPE_MATRIX || c.LogValue().has_value();
}

bool CValueLogFeed::Wanted(const CCtrl& c) const {
    return m_log.IsOn() && !m_skipped.count(c.m_nId);
}

void CValueLogFeed::AppendValue(const CCtrl& c) {
    if (std::optional<LoggedValue> value = c.LogValue())
        m_log.Append(Name(c), value->shown, value->raw);
}

void CValueLogFeed::DeviceValue(const CCtrl& c) {
    if (Wanted(c)) AppendValue(c);
}

void CValueLogFeed::DeviceRows(const CCtrl& c, int rowsBefore) {
    if (!Wanted(c)) return;
    const int inUse = c.RowsInUse();
    // A row rewritten in place changes no count: the newest row stands for it.
    const int arrived =
        std::max(ArrivedRows(rowsBefore, c.m_nRows, c.m_nMaxRows), inUse > 0 ? 1 : 0);
    // More than the queue holds would only be dropped there, and a device's absurd matrix must
    // not hold the view up: the newest rows up to a bound of cells are logged, the rest counted.
    constexpr int kMaxCells = 1 << 16;
    const int cells = std::clamp(c.m_nCols, 1, kMaxCells);
    const int logged = int(std::min<size_t>(
        {size_t(arrived), m_log.QueueLimit(), size_t(std::max(1, kMaxCells / cells))}));
    m_log.AddDropped(uint64_t(arrived - logged));
    const QString name = Name(c);
    for (int position = inUse - logged; position < inUse; ++position) {
        const LoggedValue row = c.LogRow(position);
        m_log.Append(name, row.shown, row.raw);
    }
}

void CValueLogFeed::UserValue(const CCtrl& c, const uint8_t* bytes, uint32_t length) {
    if (!Wanted(c)) return;
    // A press changes no state of the record: what went is the value.
    if (c.m_nType == TYPE_BUTTON) {
        const uint8_t sent = bytes && length ? bytes[0] : 0;
        m_log.Append(Name(c), sent ? QStringLiteral("Pressed") : QStringLiteral("Released"),
                     QString::number(sent));
        return;
    }
    AppendValue(c);
}
