// The panels of the fault runs, and the sizes of the frames a device sends with them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "SimPanel.h"

// A small panel with a File control (id kFileId) and no pings.
Panel SmallPanel();
// The small panel streaming values and matrix rows, about 1,000 messages a second.
Panel StreamingPanel();
inline constexpr uint32_t kFileId = 20;

size_t PanelFrameBytes(const Panel& panel);
size_t FileFrameBytes(const Panel& panel, uint32_t fileId);
// 0, step, 2 x step, ... below n, and the last offset.
std::vector<size_t> Offsets(size_t n, size_t step = 1);
