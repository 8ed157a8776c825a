#include <cstdio>

#include "Link.h"

std::string LayoutValueName(uint32_t id, uint32_t property) {
    char name[20];
    std::snprintf(name, sizeof name, "%08X%08X", unsigned(id), unsigned(property));
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
