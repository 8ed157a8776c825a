// One readable line per frame, both directions, for the simulator's verbose output, through the
// link's frame decoder with the device's own panel giving the kinds of the controls.
#pragma once

#include <cstdint>
#include <string>

#include "ClientParser.h"
#include "DeviceWire.h"
#include "FrameDecoder.h"
#include "SimPanel.h"

std::string DescribeClientMessage(const ClientMessage& msg, const Panel& panel);
std::string DescribeClientMessage(const ClientMessage& msg, const IControlKinds* kinds);
std::string DescribeDeviceFrame(uint16_t code, uint16_t flags, const ByteVec& payload,
                                const Panel& panel);
std::string DescribeDeviceFrame(uint16_t code, uint16_t flags, const ByteVec& payload,
                                const IControlKinds* kinds);
