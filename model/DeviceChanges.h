// What the device changed since the records last looked: copied out of the link's table under the
// lock, applied to the records after it is let go, so that the records' refreshes never run with
// the lock held. The panel view and the headless panel share it.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "CtrlArray.h"

struct DeviceChange {
    CCtrl* ctrl = nullptr;
    bool matrix = false;
    bool oversize = false;   // a value over 0xFFFFF bytes: dropped, the size alarm is due
    bool movesPlace = false; // Section or Password: its state picks its rectangle
    std::vector<uint8_t> value;
    uint32_t rows = 0;
    std::vector<uint8_t> cells, rowLabels;
};

struct AttributeChange {
    CCtrl* ctrl = nullptr;
    uint32_t flags = 0, colour = 0;
};

// Each takes the lock itself; call them without holding it.
std::vector<DeviceChange> TakeValueChanges(const CtrlArray& ctrls);
std::vector<AttributeChange> TakeAttributeChanges(const CtrlArray& ctrls);
// File controls whose file has come, with its name; each is taken once.
std::vector<std::pair<CCtrl*, std::u16string>> TakeDeliveredFiles(const CtrlArray& ctrls);

// The change applied to its record (ShowValue or SetMatrixData).
void ApplyValueChange(DeviceChange& change);
