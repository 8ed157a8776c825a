// Device texts on the console; the UTF-8 conversions themselves are the link's (TextCodec.h).
#pragma once

#include <string>
#include <string_view>

#include "TextCodec.h"

// A device text for the console: quoted, control characters shown as '.', long texts cut.
std::string ConsoleQuote(std::u16string_view text);
