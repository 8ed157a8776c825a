#include "SimPanel.h"

#include <algorithm>

namespace {

struct KindEntry {
    SimKind kind;
    const char* name;
    char letter;
};

constexpr KindEntry kKinds[] = {
    {SimKind::Text, "text", 'T'},
    {SimKind::Button, "button", 'B'},
    {SimKind::Latch, "latch", 'G'},
    {SimKind::Section, "section", 'S'},
    {SimKind::DateTime, "datetime", 'D'},
    {SimKind::Number, "number", 'N'},
    {SimKind::Matrix, "matrix", 'M'},
    {SimKind::Password, "password", 'P'},
    {SimKind::List, "list", 'L'},
    {SimKind::MessageBox, "messagebox", 'X'},
    {SimKind::Blob, "blob", 'O'},
    {SimKind::File, "file", 'F'},
    {SimKind::Unsupported, "unsupported", 'Q'},
    {SimKind::Image, "image", 'I'},
};

int WidthFromCode(uint32_t code) {
    static constexpr int widths[] = {4, 2, 1, 0};
    return widths[code & 3];
}

} // namespace

const char* KindName(SimKind kind) {
    for (const KindEntry& k : kKinds)
        if (k.kind == kind) return k.name;
    return "?";
}

std::optional<SimKind> KindFromName(std::string_view name) {
    for (const KindEntry& k : kKinds)
        if (name == k.name) return k.kind;
    return std::nullopt;
}

char KindLetter(SimKind kind) {
    for (const KindEntry& k : kKinds)
        if (k.kind == kind) return k.letter;
    return 'Q';
}

int MatrixLabelKind(uint32_t flags) {
    return int((flags >> 16) & 3);
}
int MatrixCellBytes(uint32_t flags) {
    return WidthFromCode(flags >> 20);
}

int MatrixLabelBytes(uint32_t flags) {
    switch (MatrixLabelKind(flags)) {
    case 1:
        return WidthFromCode(flags >> 18);
    case 3:
        return 8;
    default:
        return 0;
    }
}

bool IsTextBlob(uint32_t flags) {
    return !(flags & CTRLF_TEXT16) && (flags & CTRLF_EDITABLE);
}

PanelControl* Panel::Find(uint32_t id) {
    auto it = std::find_if(controls.begin(), controls.end(),
                           [id](const PanelControl& c) { return c.id == id; });
    return it == controls.end() ? nullptr : &*it;
}

const PanelControl* Panel::Find(uint32_t id) const {
    return const_cast<Panel*>(this)->Find(id);
}
