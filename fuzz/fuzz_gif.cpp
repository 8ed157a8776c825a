// Any bytes as a GIF file: the decoder must stay inside its buffers, and its picture must agree
// with its status.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "GifDecoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Small pictures keep the runs fast; the size limit is the same code at any size.
    CGifDecoder d(1 << 16);
    GifStatus status = d.Load(data, size, 0xFF00FF00);
    const bool none = d.Width() == 0 && d.Height() == 0 && d.Pixels().empty();
    if ((status == GifStatus::Refused) != none) std::abort();
    if (d.Pixels().size() != size_t(d.Width()) * size_t(d.Height())) std::abort();
    return 0;
}
