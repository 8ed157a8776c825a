// How the simulated device takes the client's values: each item is applied to the device's own
// model of its control, and the replies a real device would give are collected (confirmed
// values, password results, file deliveries), with a line for the console per item.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "DeviceWire.h"
#include "SimPanel.h"

struct Reaction {
    std::vector<ValueItem> values;                     // device values to send back (message 9)
    std::vector<uint32_t> fileRequests;                // File controls whose content is asked for
    std::vector<uint32_t> dateTimesSet;                // Date/time controls the client set
    std::vector<std::pair<uint32_t, uint8_t>> answers; // message-box answers
    std::vector<std::string> notes;
};

Reaction ApplyClientValues(Panel& panel, const std::vector<ValueItem>& items);
// The client went away: a logged-in session ends with it.
void ForgetClient(Panel& panel);
// "#12 "Vent"" for the console.
std::string ControlLabel(const PanelControl& control);
