// The soak's stream: a simulated device streams values, matrix rows and requested files to the
// real client at about 1,000 messages a second, each asking to be acknowledged, for the given
// time; then everything acknowledged must have been applied and resident memory must have
// stayed flat after the first minute.
#pragma once

#include "SoakFigures.h"

SoakReport RunStreamSoak(double minutes);
