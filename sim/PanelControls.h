// The controls of a panel file: one JSON object per control into a PanelControl, with the
// kind's attributes, flags by name and its initial value in readable form.
#pragma once

#include <nlohmann/json.hpp>

#include <cstddef>
#include <optional>
#include <string>

#include "JsonFields.h"
#include "PanelFile.h"
#include "SimPanel.h"

PanelControl ParseControl(const nlohmann::json& object, size_t index, const PanelFileReader& read);
// "#RRGGBB" or a raw 0x00BBGGRR number.
std::optional<uint32_t> ParseColour(JsonFields& fields, const char* key);
// The bytes of the file the field names, at most `limit`; fails through `fields`.
std::vector<uint8_t> ReadFileField(JsonFields& fields, const char* key, const PanelFileReader& read,
                                   size_t limit);
