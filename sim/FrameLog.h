// One readable line per frame, both directions, for the simulator's verbose output: the message
// code's name, the header flags and the decoded payload (items by the kind of their control).
#pragma once

#include <cstdint>
#include <string>

#include "ClientParser.h"
#include "DeviceWire.h"
#include "SimPanel.h"

std::string DescribeClientMessage(const ClientMessage& msg, const Panel& panel);
std::string DescribeDeviceFrame(uint16_t code, uint16_t flags, const ByteVec& payload,
                                const Panel& panel);
