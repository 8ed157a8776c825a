#include "SettingsLayoutStore.h"

#include <QEvent>
#include <QSettings>

namespace {

class LockedSettings : public QSettings {
public:
    explicit LockedSettings(std::recursive_mutex& mutex)
        : QSettings(QSettings::IniFormat, QSettings::UserScope, "Talvex", "Talvex 3.0"),
          m_mutex(mutex) {}

protected:
    bool event(QEvent* e) override {
        std::lock_guard g(m_mutex);
        return QSettings::event(e);
    }

private:
    std::recursive_mutex& m_mutex;
};

} // namespace

SettingsLayoutStore::SettingsLayoutStore() = default;

SettingsLayoutStore::~SettingsLayoutStore() {
    std::lock_guard g(m_mutex);
    m_settings.reset();
}

// Made on first use, so a test can point the settings elsewhere after constructing the store.
QSettings& SettingsLayoutStore::Settings() {
    if (!m_settings) m_settings = std::make_unique<LockedSettings>(m_mutex);
    return *m_settings;
}

QString SettingsLayoutStore::GroupName(const std::u16string& section) {
    QString in = QString::fromStdU16String(section);
    QString out;
    out.reserve(in.size());
    for (QChar c : in) {
        if (c == u'%')
            out += QStringLiteral("%25");
        else if (c == u'/')
            out += QStringLiteral("%2F");
        else if (c == u'\\')
            out += QStringLiteral("%5C");
        else
            out += c;
    }
    // An empty group would put the values at the top level.
    return out.isEmpty() ? QStringLiteral("%") : out;
}

int SettingsLayoutStore::GetInt(const std::u16string& section, const std::string& valueName,
                                int def) {
    std::lock_guard g(m_mutex);
    QSettings& settings = Settings();
    settings.beginGroup(GroupName(section));
    bool ok = false;
    int value = settings.value(QString::fromStdString(valueName)).toInt(&ok);
    settings.endGroup();
    return ok ? value : def;
}

void SettingsLayoutStore::SetInt(const std::u16string& section, const std::string& valueName,
                                 int value) {
    std::lock_guard g(m_mutex);
    QSettings& settings = Settings();
    settings.beginGroup(GroupName(section));
    settings.setValue(QString::fromStdString(valueName), value);
    settings.endGroup();
}
