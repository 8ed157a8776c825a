#include "DemoPanel.h"

#include <cstring>
#include <string_view>

#include "EmbeddedFiles.h"

PanelFileResult LoadDemoPanel() {
    auto find = [](std::string_view name) -> const EmbeddedFile* {
        for (size_t i = 0; i < kEmbeddedFileCount; ++i)
            if (name == kEmbeddedFiles[i].name) return &kEmbeddedFiles[i];
        return nullptr;
    };
    const EmbeddedFile* json = find("demo.json");
    if (!json) return {std::nullopt, "demo.json: not built in"};
    PanelFileReader read = [find](const std::string& path, size_t limit, std::vector<uint8_t>& out,
                                  std::string& error) {
        const EmbeddedFile* f = find(path);
        if (!f || f->size > limit) {
            error = "'" + path + "' is not among the built-in files";
            return false;
        }
        out.assign(f->data, f->data + f->size);
        return true;
    };
    return ParsePanelText(std::string_view(reinterpret_cast<const char*>(json->data), json->size),
                          "demo.json (built in)", read);
}
