#include "SettingsLayoutStore.h"

#include <QSettings>

// One settings object per call: QSettings is reentrant but not thread-safe, and the receive
// thread writes layout records while the view reads them.

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
    QSettings settings(QSettings::IniFormat, QSettings::UserScope, "Talvex", "Talvex 3.0");
    settings.beginGroup(GroupName(section));
    bool ok = false;
    int value = settings.value(QString::fromStdString(valueName)).toInt(&ok);
    return ok ? value : def;
}

void SettingsLayoutStore::SetInt(const std::u16string& section, const std::string& valueName,
                                 int value) {
    QSettings settings(QSettings::IniFormat, QSettings::UserScope, "Talvex", "Talvex 3.0");
    settings.beginGroup(GroupName(section));
    settings.setValue(QString::fromStdString(valueName), value);
}
