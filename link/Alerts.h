// The link's boxes, raised through the injected alerts service (nothing happens when none is
// set). A box raised while the calling thread holds the link lock is raised when it lets go.
#pragma once

#include <string>

#include "LinkServices.h"

// "At %ld file TvxBthPPCVComClt, val=%ld".
void RaiseDiagnostic(ILinkAlerts* alerts, long checkPoint, long value);
// The size alarm: its box, then the quit request; the caller goes on with the size taken as 0.
void RaiseSizeAlarm(ILinkAlerts* alerts, long checkPoint);
// A plain message.
void RaiseMessage(ILinkAlerts* alerts, const std::u16string& text);
