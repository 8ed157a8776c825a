// One control definition parsed into a CLinkCtrl: a function of its bytes alone (plus the code
// page). Wrong lengths and missing required attributes are reported through `alerts`.
#pragma once

#include <cstddef>
#include <cstdint>

#include "LinkCtrl.h"
#include "LinkServices.h"

CLinkCtrl ParseDefinition(const uint8_t* bytes, size_t size, ILinkAlerts* alerts);

// Limits on sizes announced by the device.
inline constexpr uint32_t LINK_MAX_COUNT = 65536; // counts, definition sizes, texts
inline constexpr uint32_t LINK_MAX_MATRIX_BYTES = 0x100000;
inline constexpr uint32_t LINK_MAX_IMAGE_BYTES = 0xFFFFFF;
// A device value the view reads whole (an Image's new picture) stays below this.
inline constexpr uint32_t LINK_MAX_VALUE_BYTES = 0x100000;
