// What of a panel goes into the value log: the device's values and matrix rows as the view
// applies them, and the user's values as the records send them, of every control not left out.
// Lives as long as its host, so logging goes on across reconnects and new panels.
#pragma once

#include <cstdint>
#include <set>
#include <utility>

#include "ValueLog.h"

class CCtrl;

class CValueLogFeed {
public:
    explicit CValueLogFeed(const CValueLogClock* clock = nullptr,
                           size_t queueLimit = CValueLog::kDefaultQueue)
        : m_log(clock, queueLimit) {}

    CValueLog& Log() { return m_log; }
    // The panel the next values belong to, and the controls of it not to log.
    void SetPanel(const QString& title, std::set<uint32_t> skipped);
    void SetSkipped(std::set<uint32_t> skipped) { m_skipped = std::move(skipped); }
    const QString& PanelTitle() const { return m_strPanel; }

    // The record's new value from the device; for a matrix, the rows that came since its row
    // count was `rowsBefore`, one line each.
    void DeviceValue(const CCtrl& c);
    void DeviceRows(const CCtrl& c, int rowsBefore);
    // The user's value as the record sent it.
    void UserValue(const CCtrl& c, const uint8_t* bytes, uint32_t length);

    // The name a control has in the log (and in the choice of controls): its own, or its id.
    static QString Name(const CCtrl& c);
    // Whether the kind has values to log.
    static bool HasValues(const CCtrl& c);

private:
    bool Wanted(const CCtrl& c) const;
    void AppendValue(const CCtrl& c);

    CValueLog m_log;
    QString m_strPanel;
    std::set<uint32_t> m_skipped;
};
