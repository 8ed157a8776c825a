// The panel's control records as one array, built from the link's table. Records are held by
// pointer so that their addresses stay fixed for the widgets that refer to them.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "Ctrl.h"

using CtrlArray = std::vector<std::unique_ptr<CCtrl>>;

// One record per entry of the link's table, in table order: Init and the kind's creation
// operation with the entry's definition and current value. An entry of a device kind outside
// 1..14 gives the box 1302 ("Talvex22View") and an unbuilt record. Holds the link lock for the
// walk (the lock is recursive, so the caller may hold it too).
CtrlArray BuildCtrlArray(ICtrlHost* host);
// Starts every Message box whose flag 0x1 is clear. Call without holding the link lock.
void ShowPendingMessageBoxes(const CtrlArray& ctrls);
// The whole rebuild on a new panel: under the lock, build and replace the array (the old
// records are destroyed); after it, the pending Message boxes.
void RebuildCtrlArray(CtrlArray& ctrls, ICtrlHost* host);

// Switches off every latch of the group except those with flag 0x10000.
void ReleaseLatchGroup(const CtrlArray& ctrls, uint32_t group);
// The first record with the device id, or none.
CCtrl* FindCtrl(const CtrlArray& ctrls, uint32_t id);
