#include "Alerts.h"

#include "Link.h"

void RaiseDiagnostic(ILinkAlerts* alerts, long checkPoint, long value) {
    if (alerts) alerts->DiagnosticBox(checkPoint, LINK_UNIT, value);
}

void RaiseSizeAlarm(ILinkAlerts* alerts, long checkPoint) {
    if (!alerts) return;
    alerts->SizeAlarm(checkPoint, LINK_UNIT);
    alerts->QuitRequest();
}
