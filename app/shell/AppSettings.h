// The application's own settings: organisation "Talvex", application "Talvex 3.0", section
// "Talvex Client 3.0" with "m_iComOutGoing", "m_strComPath", "m_strComName", "m_AlwaysReload"
// and "m_AutoReconnect" (booleans stored as 0/1).
#pragma once

#include <QString>

struct AppSettings {
    int m_iComOutGoing = 0;
    // A serial device chosen by its path (not /dev/rfcommN); when set, it is opened instead of
    // the numbered port.
    QString m_strComPath;
    // The name of the Bluetooth device chosen as bt://ADDRESS, shown while the system names none.
    QString m_strComName;
    int m_AlwaysReload = 1;
    // Reopen the port after the device was lost (not after Close or the device's goodbye).
    int m_AutoReconnect = 0;
};

// Missing values keep the fields' current values.
void ReadAppSettings(AppSettings& settings);
void WriteAppSettings(const AppSettings& settings);
