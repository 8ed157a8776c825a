// Files of sim/panels/ compiled into the library (generated at configure time).
#pragma once

#include <cstddef>
#include <cstdint>

struct EmbeddedFile {
    const char* name;
    const uint8_t* data;
    size_t size;
};

extern const EmbeddedFile kEmbeddedFiles[];
extern const size_t kEmbeddedFileCount;
