// Files a panel names, from memory, so fuzzing and corpus making never touch the disk: the
// simulator's built-in files by name, a path with "missing" in it is not there, and any other
// path reads as its own name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "EmbeddedFiles.h"

inline bool ReadFromMemory(const std::string& path, size_t limit, std::vector<uint8_t>& out,
                           std::string& error) {
    if (path.find("missing") != std::string::npos) {
        error = "cannot open '" + path + "'";
        return false;
    }
    out.assign(path.begin(), path.end());
    for (size_t i = 0; i < kEmbeddedFileCount; ++i)
        if (path == kEmbeddedFiles[i].name)
            out.assign(kEmbeddedFiles[i].data, kEmbeddedFiles[i].data + kEmbeddedFiles[i].size);
    if (out.size() <= limit) return true;
    error = "'" + path + "' is too large";
    return false;
}
