#include "Link.h"

std::string LayoutValueName(uint32_t id, uint32_t property) {
    // Asked for each shown value: spelled out by hand rather than through a format.
    static const char hex[] = "0123456789ABCDEF";
    std::string name(16, '0');
    for (int i = 0; i < 8; ++i) {
        name[size_t(7 - i)] = hex[(id >> (4 * i)) & 15];
        name[size_t(15 - i)] = hex[(property >> (4 * i)) & 15];
    }
    return name;
}

int GetLayoutInt(uint32_t id, uint32_t property, int def) {
    ILayoutStore* store = LinkGetServices().layoutStore;
    if (!store) return def;
    return store->GetInt(LinkGetTitle(), LayoutValueName(id, property), def);
}

void SetLayoutInt(uint32_t id, uint32_t property, int value) {
    if (ILayoutStore* store = LinkGetServices().layoutStore)
        store->SetInt(LinkGetTitle(), LayoutValueName(id, property), value);
}

bool HasLayoutInt(uint32_t id, uint32_t property) {
    return GetLayoutInt(id, property, 1) == GetLayoutInt(id, property, 2);
}
