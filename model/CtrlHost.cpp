#include "CtrlHost.h"

QString DiagnosticText(long checkPoint, const char* unit, long value) {
    // The unit is one of the program's own names; nothing from the device reaches the format.
    return QString::asprintf("At %ld file %s, val=%ld", checkPoint, unit ? unit : "", value);
}

QString SizeAlarmText(long checkPoint, const char* unit) {
    return QString::asprintf("Bluetooth driver error %ld %s", checkPoint, unit ? unit : "");
}
