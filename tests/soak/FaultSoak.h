// The soak's fault runs: noisy stretches of streaming, the device vanishing at every byte of
// the demo panel's definition and of a file message, round after round for the given time, at
// an easy pace (the machine is shared).
#pragma once

#include "SoakFigures.h"

SoakReport RunFaultSoak(double minutes);
