// The layout store on the user's settings (organisation "Talvex", application "Talvex 3.0"):
// one group per panel title, escaped so that any title is one group. Safe from any thread.
#pragma once

#include <QElapsedTimer>
#include <QString>
#include <QTimer>
#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>

#include "LinkServices.h"

class QSettings;

class SettingsLayoutStore : public ILayoutStore {
public:
    // Changes are written to the file on the constructing thread, in one go once they have been
    // quiet for `writeDelayMs` (and when the store goes): a connect's layout request, the
    // device's records and the saved layout cost one write of the file, not one each.
    explicit SettingsLayoutStore(int writeDelayMs = 500);
    ~SettingsLayoutStore() override;
    int GetInt(const std::u16string& section, const std::string& valueName, int def) override;
    void SetInt(const std::u16string& section, const std::string& valueName, int value) override;
    // Times the changes were written to the file.
    int Writes() const { return m_nWrites; }

    // "/" and "\" would split the group; "%" is escaped so the mapping can be undone.
    static QString GroupName(const std::u16string& section);

private:
    QSettings& Settings();
    // The timer's turn: writes once the changes have been quiet for the delay.
    void WriteWhenQuiet();

    // One settings object for every thread: a device's layout records arrive as a burst of
    // writes on the receive thread, and a settings object per write would rewrite the file each
    // time. Its own deferred write-back is made to take the same lock.
    std::recursive_mutex m_mutex;
    std::unique_ptr<QSettings> m_settings;
    const int m_nWriteDelayMs;
    QTimer m_writeTimer;
    QElapsedTimer m_sinceChange; // guarded by m_mutex, like the two below
    bool m_bWritePending = false;
    std::atomic<int> m_nWrites{0};
    // What was read, missing values too: a shown value asks for its digits once a frame, and a
    // settings look-up builds its key each time. Any store's change drops it.
    std::map<std::pair<std::u16string, std::string>, std::optional<int>> m_read;
    unsigned m_nReadAtChange = 0; // guarded by m_mutex, like m_read
    static std::atomic<unsigned> s_changes;
};
