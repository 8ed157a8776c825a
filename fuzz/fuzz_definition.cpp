// Any bytes as one control definition: the parser must stay inside them.
#include <cstddef>
#include <cstdint>

#include "Definition.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CLinkCtrl entry = ParseDefinition(data, size, nullptr);
    (void)entry;
    return 0;
}
