// The layout store on the user's settings (organisation "Talvex", application "Talvex 3.0"):
// one group per panel title, escaped so that any title is one group. Safe from any thread.
#pragma once

#include <QString>
#include <memory>
#include <mutex>

#include "LinkServices.h"

class QSettings;

class SettingsLayoutStore : public ILayoutStore {
public:
    SettingsLayoutStore();
    ~SettingsLayoutStore() override;
    int GetInt(const std::u16string& section, const std::string& valueName, int def) override;
    void SetInt(const std::u16string& section, const std::string& valueName, int value) override;

    // "/" and "\" would split the group; "%" is escaped so the mapping can be undone.
    static QString GroupName(const std::u16string& section);

private:
    QSettings& Settings();

    // One settings object for every thread: a device's layout records arrive as a burst of
    // writes on the receive thread, and a settings object per write would rewrite the file each
    // time. Its own deferred write-back is made to take the same lock.
    std::recursive_mutex m_mutex;
    std::unique_ptr<QSettings> m_settings;
};
