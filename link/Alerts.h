// The link's boxes, raised through the injected alerts service (nothing happens when none is set).
#pragma once

#include "LinkServices.h"

// "At %ld file TvxBthPPCVComClt, val=%ld".
void RaiseDiagnostic(ILinkAlerts* alerts, long checkPoint, long value);
// The size alarm: its box, then the quit request; the caller goes on with the size taken as 0.
void RaiseSizeAlarm(ILinkAlerts* alerts, long checkPoint);
