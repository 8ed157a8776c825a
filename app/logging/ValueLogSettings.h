// The value log's settings: on or off, the folder and its size limit in section "Talvex Client
// 3.0" ("m_ValueLog" 0/1, "m_strValueLogFolder", "m_nValueLogLimitMiB"), and per panel title the
// controls left out of the log (group "Value Log", one key per escaped title, their ids), so that
// controls a panel gains later are logged.
#pragma once

#include <QString>
#include <QtGlobal>
#include <cstdint>
#include <set>

struct ValueLogSettings {
    bool on = false;
    QString folder = DefaultFolder();
    int limitMiB = 1024;

    qint64 LimitBytes() const { return qint64(limitMiB) << 20; }
    // "Talvex Logs" in the user's documents folder.
    static QString DefaultFolder();
};

// Missing values keep the defaults.
ValueLogSettings ReadValueLogSettings();
void WriteValueLogSettings(const ValueLogSettings& settings);
std::set<uint32_t> ReadValueLogSkipped(const QString& panelTitle);
void WriteValueLogSkipped(const QString& panelTitle, const std::set<uint32_t>& ids);
