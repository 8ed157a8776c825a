// The layout store on the user's settings (organisation "Talvex", application "Talvex 3.0"):
// one group per panel title, escaped so that any title is one group. Safe from any thread.
#pragma once

#include <QString>

#include "LinkServices.h"

class SettingsLayoutStore : public ILayoutStore {
public:
    int GetInt(const std::u16string& section, const std::string& valueName, int def) override;
    void SetInt(const std::u16string& section, const std::string& valueName, int value) override;

    // "/" and "\" would split the group; "%" is escaped so the mapping can be undone.
    static QString GroupName(const std::u16string& section);
};
