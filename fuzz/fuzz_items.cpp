// Any bytes as a device item applied to a control parsed from the first part of the input:
// values, matrix rows and attribute changes must stay inside the entry's buffers.
#include <cstddef>
#include <cstdint>

#include "Definition.h"
#include "Frame.h"
#include "Receive.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 5) return 0;
    uint32_t split = GetU32LE(data) % uint32_t(size - 4);
    const uint8_t* definition = data + 4;
    CLinkCtrl entry = ParseDefinition(definition, split, nullptr);
    const uint8_t* item = definition + split;
    uint32_t n = uint32_t(size - 4 - split);
    ApplyDeviceValue(entry, item, n);
    ApplyMatrixRow(entry, item, n);
    ApplyAttributeChange(entry, item, n);
    return 0;
}
