#include "Utf8.h"

#include "FrameDecoder.h"

std::string ConsoleQuote(std::u16string_view text) {
    return QuoteDeviceText(text);
}
