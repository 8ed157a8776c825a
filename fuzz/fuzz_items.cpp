// Any bytes as a device item applied to a control parsed from the first part of the input:
// values, matrix rows and attribute changes must stay inside the entry's buffers. The same bytes
// as any message's payload must decode for people within the decoder's bound.
#include <cstddef>
#include <cstdint>

#include "Definition.h"
#include "Frame.h"
#include "FrameDecoder.h"
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
    const ControlKindTable kinds({{entry.m_nId, entry.m_nKind, entry.m_dwFlags}});
    for (uint16_t code = 0; code <= MSG_MATRIX_ROWS; ++code)
        for (bool sent : {false, true})
            if (DecodeFramePayload(code, uint16_t(split), sent, item, n, &kinds).size() >
                FRAME_DECODE_MAX_CHARS)
                __builtin_trap();
    return 0;
}
