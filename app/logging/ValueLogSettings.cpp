#include "ValueLogSettings.h"

#include <QSettings>
#include <QStandardPaths>
#include <QStringList>

#include "SettingsLayoutStore.h"

namespace {

const char* const kSection = "Talvex Client 3.0";
const QLatin1String kSkippedGroup("Value Log");

QString SkippedKey(const QString& panelTitle) {
    return SettingsLayoutStore::GroupName(panelTitle.toStdU16String());
}

} // namespace

QString ValueLogSettings::DefaultFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation) +
           QStringLiteral("/Talvex Logs");
}

ValueLogSettings ReadValueLogSettings() {
    ValueLogSettings s;
    QSettings settings(QSettings::IniFormat, QSettings::UserScope, "Talvex", "Talvex 3.0");
    settings.beginGroup(kSection);
    s.on = settings.value("m_ValueLog", 0).toInt() != 0;
    s.folder = settings.value("m_strValueLogFolder", s.folder).toString();
    bool ok = false;
    const int limit = settings.value("m_nValueLogLimitMiB", s.limitMiB).toInt(&ok);
    if (ok && limit > 0) s.limitMiB = limit;
    return s;
}

void WriteValueLogSettings(const ValueLogSettings& s) {
    QSettings settings(QSettings::IniFormat, QSettings::UserScope, "Talvex", "Talvex 3.0");
    settings.beginGroup(kSection);
    settings.setValue("m_ValueLog", s.on ? 1 : 0);
    settings.setValue("m_strValueLogFolder", s.folder);
    settings.setValue("m_nValueLogLimitMiB", s.limitMiB);
}

std::set<uint32_t> ReadValueLogSkipped(const QString& panelTitle) {
    QSettings settings(QSettings::IniFormat, QSettings::UserScope, "Talvex", "Talvex 3.0");
    settings.beginGroup(kSkippedGroup);
    std::set<uint32_t> ids;
    for (const QString& id : settings.value(SkippedKey(panelTitle)).toStringList()) {
        bool ok = false;
        const uint32_t n = id.toUInt(&ok);
        if (ok) ids.insert(n);
    }
    return ids;
}

void WriteValueLogSkipped(const QString& panelTitle, const std::set<uint32_t>& ids) {
    QSettings settings(QSettings::IniFormat, QSettings::UserScope, "Talvex", "Talvex 3.0");
    settings.beginGroup(kSkippedGroup);
    if (ids.empty()) {
        settings.remove(SkippedKey(panelTitle));
        return;
    }
    QStringList list;
    for (uint32_t id : ids) list << QString::number(id);
    settings.setValue(SkippedKey(panelTitle), list);
}
