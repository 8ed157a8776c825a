// Panel files: a device's panel written by hand in JSON (title, panel flags, the controls with
// readable initial values, a recommended layout and timed behaviour), loaded into a Panel.
// Errors name the file, the entry (control index and id) and the field.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "SimPanel.h"

struct PanelFileResult {
    std::optional<Panel> panel;
    std::string error; // set when there is no panel
};

// Reads a file the panel names (a picture, a file's content) by its path as written there;
// false with `error` set when it cannot, or when it holds more than `limit` bytes.
using PanelFileReader = std::function<bool(const std::string& path, size_t limit,
                                           std::vector<uint8_t>& out, std::string& error)>;

PanelFileResult LoadPanelFile(const std::string& path);
// The same from text already read: `fileName` names it in errors, `read` finds the files it
// names.
PanelFileResult ParsePanelText(std::string_view text, const std::string& fileName,
                               const PanelFileReader& read);
// A reader of files relative to `baseDir`.
PanelFileReader DiskReader(const std::string& baseDir);
