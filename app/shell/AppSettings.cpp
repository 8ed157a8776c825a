#include "AppSettings.h"

#include <QSettings>

namespace {

const char* const kSection = "Talvex Client 3.0";

} // namespace

void ReadAppSettings(AppSettings& s) {
    QSettings settings(QSettings::IniFormat, QSettings::UserScope, "Talvex", "Talvex 3.0");
    settings.beginGroup(kSection);
    s.m_iComOutGoing = settings.value("m_iComOutGoing", s.m_iComOutGoing).toInt();
    s.m_strComPath = settings.value("m_strComPath", s.m_strComPath).toString();
    s.m_strComName = settings.value("m_strComName", s.m_strComName).toString();
    s.m_AlwaysReload = settings.value("m_AlwaysReload", s.m_AlwaysReload).toInt();
    s.m_AutoReconnect = settings.value("m_AutoReconnect", s.m_AutoReconnect).toInt();
}

void WriteAppSettings(const AppSettings& s) {
    QSettings settings(QSettings::IniFormat, QSettings::UserScope, "Talvex", "Talvex 3.0");
    settings.beginGroup(kSection);
    settings.setValue("m_iComOutGoing", s.m_iComOutGoing);
    settings.setValue("m_strComPath", s.m_strComPath);
    settings.setValue("m_strComName", s.m_strComName);
    settings.setValue("m_AlwaysReload", s.m_AlwaysReload ? 1 : 0);
    settings.setValue("m_AutoReconnect", s.m_AutoReconnect ? 1 : 0);
}
