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
// 1..14 gives the box 1302 ("Talvex22View") and an unbuilt record. Each entry is copied under
// the link lock and its record made after the lock is let go, so the host's hooks never run
// with the lock held; call it without holding the lock. May throw std::bad_alloc.
CtrlArray BuildCtrlArray(ICtrlHost* host);
// Starts every Message box whose flag 0x1 is clear. Call without holding the link lock.
void ShowPendingMessageBoxes(const CtrlArray& ctrls);
// The whole rebuild on a new panel: build, replace the array (the old records are destroyed),
// then the pending Message boxes. False when memory ran out: the array is then empty.
bool RebuildCtrlArray(CtrlArray& ctrls, ICtrlHost* host);

// Switches off every latch of the group except those with flag 0x10000.
void ReleaseLatchGroup(const CtrlArray& ctrls, uint32_t group);
// The first record with the device id, or none.
CCtrl* FindCtrl(const CtrlArray& ctrls, uint32_t id);
