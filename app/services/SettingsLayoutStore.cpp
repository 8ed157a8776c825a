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
        // The store writes the changes itself, once a burst of them is over.
        if (e->type() == QEvent::UpdateRequest) return true;
        std::lock_guard g(m_mutex);
        return QSettings::event(e);
    }

private:
    std::recursive_mutex& m_mutex;
};

} // namespace

std::atomic<unsigned> SettingsLayoutStore::s_changes{0};

SettingsLayoutStore::SettingsLayoutStore(int writeDelayMs) : m_nWriteDelayMs(writeDelayMs) {
    m_writeTimer.setSingleShot(true);
    QObject::connect(&m_writeTimer, &QTimer::timeout, [this] { WriteWhenQuiet(); });
}

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
    constexpr size_t kMaxKept = 4096; // a device's panels name the keys: kept within bounds
    if (const unsigned changes = s_changes.load();
        changes != m_nReadAtChange || m_read.size() >= kMaxKept) {
        m_read.clear();
        m_nReadAtChange = changes;
    }
    auto key = std::make_pair(section, valueName);
    if (const auto read = m_read.find(key); read != m_read.end()) return read->second.value_or(def);
    QSettings& settings = Settings();
    settings.beginGroup(GroupName(section));
    bool ok = false;
    int value = settings.value(QString::fromStdString(valueName)).toInt(&ok);
    settings.endGroup();
    m_read.emplace(std::move(key), ok ? std::optional<int>(value) : std::nullopt);
    return ok ? value : def;
}

void SettingsLayoutStore::SetInt(const std::u16string& section, const std::string& valueName,
                                 int value) {
    std::lock_guard g(m_mutex);
    QSettings& settings = Settings();
    settings.beginGroup(GroupName(section));
    settings.setValue(QString::fromStdString(valueName), value);
    settings.endGroup();
    ++s_changes;
    m_sinceChange.start();
    if (m_bWritePending) return;
    m_bWritePending = true;
    // The receive thread stores the device's records too: the timer is started on its own
    // thread. Without an event loop the changes are written when the store goes.
    QMetaObject::invokeMethod(
        &m_writeTimer, [this] { m_writeTimer.start(m_nWriteDelayMs); }, Qt::QueuedConnection);
}

void SettingsLayoutStore::WriteWhenQuiet() {
    std::lock_guard g(m_mutex);
    const qint64 quiet = m_sinceChange.elapsed();
    if (quiet < m_nWriteDelayMs) {
        m_writeTimer.start(int(m_nWriteDelayMs - quiet));
        return;
    }
    m_bWritePending = false;
    Settings().sync();
    ++m_nWrites;
}
