// The panel definition download and the link's control table.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "Alerts.h"
#include "Definition.h"
#include "Frame.h"
#include "FrameTrace.h"
#include "Link.h"
#include "LinkState.h"
#include "TextCodec.h"
#include "TransferReport.h"

namespace {

using Guard = std::lock_guard<LinkMutex>;

bool KindInRange(uint16_t kind) {
    return kind >= KIND_TEXT && kind <= KIND_IMAGE;
}

void TraceLine(const char* format, long a, long b = 0) {
    char line[96];
    std::snprintf(line, sizeof line, format, a, b);
    LinkTrace(line);
}

// Drops the download table after a broken download: the release shows "Data transmission error."
// for the first entry never filled. A port closed under the read (status 6) is the end of the
// connection, which the receive side treats quietly: the partial table goes without a box.
int AbandonDownload(LinkState& s, int status) {
    if (status == LINK_PORT_CLOSED || status == LINK_PORT_LOST)
        s.download.clear();
    else
        LinkReleaseTable(s.download);
    s.downloadLeftOver = false;
    return status;
}

CLinkCtrl* FindIn(std::vector<CLinkCtrl>& table, uint32_t id) {
    for (auto& e : table)
        if (e.m_nId == id) return &e;
    return nullptr;
}

// Copies min(*size, value size) bytes of a value given as `have` bytes at `src` followed by
// zeros up to `valueSize`; with no buffer only the size is stored.
void GiveValue(const uint8_t* src, size_t have, uint32_t valueSize, void* buffer, uint32_t* size) {
    if (!size) return;
    if (!buffer) {
        *size = valueSize;
        return;
    }
    uint32_t n = std::min(*size, valueSize);
    auto* out = static_cast<uint8_t*>(buffer);
    size_t copy = std::min<size_t>(n, have);
    if (copy) std::memcpy(out, src, copy);
    if (n > copy) std::memset(out + copy, 0, n - copy);
    *size = n;
}

// What an entry's buffers take.
size_t EntryBytes(const CLinkCtrl& e) {
    auto text = [](const std::u16string& t) { return t.capacity() * sizeof(char16_t); };
    return sizeof(CLinkCtrl) + text(e.m_pszName) + text(e.m_text) + text(e.m_strFormat) +
           text(e.m_items) + text(e.m_strRowLabelFormat) + text(e.m_strCellFormat) +
           text(e.m_strRowLabelHeading) + text(e.m_columnNames) + text(e.m_password[0]) +
           text(e.m_password[1]) + text(e.m_strFileName) + e.m_cells.capacity() +
           e.m_rowLabels.capacity() + e.m_data.capacity();
}

// Refuses a panel: the download goes, the live table stays, and the user is told once.
int RefuseDownload(LinkState& s, bool outOfMemory) {
    s.download.clear();
    s.download.shrink_to_fit();
    s.downloadLeftOver = false;
    std::u16string text;
    if (outOfMemory) {
        text = u"The panel definition was refused: there is not enough memory for its controls.";
    } else {
        std::u16string mib;
        for (char digit : std::to_string(LinkGetPanelBudget() >> 20)) mib += char16_t(digit);
        text = u"The panel definition was refused: its controls would need more than " + mib +
               u" MiB of memory.";
    }
    RaiseMessage(LinkAlerts(), text);
    return LINK_E_PANEL_TOO_LARGE;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Download (receive thread only)

void LinkSetPanelBudget(size_t bytes) {
    LinkStateInstance().panelBudget = bytes;
}

size_t LinkGetPanelBudget() {
    return LinkStateInstance().panelBudget;
}

size_t LinkGetPanelBytes() {
    return LinkStateInstance().liveBytes;
}

int LinkDownloadPanel() {
    LinkState& s = LinkStateInstance();
    ILinkAlerts* alerts = LinkAlerts();

    // 1. A table left over from a broken download.
    if (s.downloadLeftOver || !s.download.empty()) AbandonDownload(s, 0);

    // 2. The count.
    uint8_t word[4] = {};
    if (int status = ReadFileBlocking(word, 4, __LINE__)) return status;
    uint32_t count = GetU32LE(word);
    if (count >= LINK_MAX_COUNT) {
        RaiseSizeAlarm(alerts, __LINE__);
        count = 0;
    }

    // 3. Zeroed entries (kind 0 until parsed). The buffers the definitions ask for are added up
    // as they are parsed; past the budget the rest is only read, to stay in step.
    TraceLine("Number of controls = %ld", long(count));
    const size_t budget = LinkGetPanelBudget();
    size_t used = size_t(count) * sizeof(CLinkCtrl);
    bool refused = used > budget, outOfMemory = false;
    if (!refused) {
        try {
            s.download.assign(count, CLinkCtrl{});
        } catch (const std::bad_alloc&) {
            refused = outOfMemory = true;
        }
    }
    s.downloadLeftOver = !refused;

    // 4. The definitions. The message carries no length: a large panel's total is estimated
    // from the definitions read so far.
    std::vector<uint8_t> definition;
    TransferReport report;
    uint64_t received = 4;
    for (uint32_t i = 0; i < count; ++i) {
        if (int status = ReadFileBlocking(word, 4, __LINE__)) return AbandonDownload(s, status);
        uint32_t size = GetU32LE(word);
        TraceLine("Control %ld size = %ld", long(i), long(size));
        if (size >= LINK_MAX_COUNT) {
            RaiseSizeAlarm(alerts, __LINE__);
            size = 0;
        }
        definition.assign(size, 0);
        if (int status = ReadFileBlocking(definition.data(), size, __LINE__))
            return AbandonDownload(s, status);
        received += 4 + uint64_t(size);
        report.Update(u"", received, 4 + (received - 4) * count / (i + 1));
        if (refused) continue;
        try {
            s.download[i] = ParseDefinition(definition.data(), size, alerts);
            used += EntryBytes(s.download[i]) - sizeof(CLinkCtrl);
        } catch (const std::bad_alloc&) {
            outOfMemory = true;
        }
        if (outOfMemory || used > budget) {
            refused = true;
            s.download.clear(); // the memory goes back at once
            s.download.shrink_to_fit();
        }
    }
    if (refused) return RefuseDownload(s, outOfMemory);

    // 5. The swap, then the release of the former live table.
    FrameTraceSetPanel(s.download);
    std::vector<CLinkCtrl> former;
    {
        Guard g(s.lock);
        former.swap(s.live);
        s.live.swap(s.download);
        s.liveBytes = used;
        s.download.clear();
        s.downloadLeftOver = false;
    }
    LinkReleaseTable(former);
    return 0;
}

void LinkReleaseTable(std::vector<CLinkCtrl>& table) {
    LinkState& s = LinkStateInstance();
    std::vector<CLinkCtrl> released;
    {
        Guard g(s.lock);
        released.swap(table);
        if (&table == &s.live) s.liveBytes = 0;
    }
    // The table is already detached: the box is raised without holding the link lock, so a box
    // shown on the user-interface thread for the receive thread cannot wait on a UI thread that
    // waits on the lock. Every entry's buffers are freed with the vector.
    for (const CLinkCtrl& e : released) {
        if (!KindInRange(e.m_nKind)) {
            RaiseMessage(LinkAlerts(), u"Data transmission error.");
            break;
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Table operations (user-interface thread)

int LinkGetCount() {
    LinkState& s = LinkStateInstance();
    Guard g(s.lock);
    return int(s.live.size());
}

bool LinkGetSummary(int index, LinkSummary& out) {
    LinkState& s = LinkStateInstance();
    if (index < 0 || size_t(index) >= s.live.size()) return false;
    const CLinkCtrl& e = s.live[size_t(index)];
    out.nId = e.m_nId;
    out.nKind = e.m_nKind;
    out.dwFlags = e.m_dwFlags;
    out.crColour = e.m_crColour;
    out.strName = e.m_pszName;
    return true;
}

const CLinkCtrl* LinkGetDefinition(int index) {
    LinkState& s = LinkStateInstance();
    if (index < 0 || size_t(index) >= s.live.size()) return nullptr;
    return &s.live[size_t(index)];
}

CLinkCtrl* LinkFind(uint32_t id) {
    return FindIn(LinkStateInstance().live, id);
}

int LinkFindIndex(uint32_t id) {
    const auto& live = LinkStateInstance().live;
    for (size_t i = 0; i < live.size(); ++i)
        if (live[i].m_nId == id) return int(i);
    return -1;
}

int LinkGetKind(uint32_t id) {
    LinkState& s = LinkStateInstance();
    Guard g(s.lock);
    const CLinkCtrl* e = FindIn(s.live, id);
    return e ? int(e->m_nKind) : -1;
}

namespace {

int GetValueOf(CLinkCtrl* e, void* buffer, uint32_t* size) {
    if (!e) return LINK_E_KIND;
    uint8_t small[8] = {};
    switch (e->m_nKind) {
    case KIND_TEXT: {
        // The text up to its first zero (or the buffer's end), then the terminator.
        size_t chars = TextLength(e->m_text.data(), e->m_text.size());
        std::vector<uint8_t> bytes((chars + 1) * 2, 0);
        for (size_t i = 0; i < chars; ++i) PutU16LE(&bytes[2 * i], e->m_text[i]);
        GiveValue(bytes.data(), bytes.size(), uint32_t(bytes.size()), buffer, size);
        break;
    }
    case KIND_MESSAGEBOX: {
        size_t chars = std::min<size_t>(e->m_nMaxSize, e->m_text.size());
        std::vector<uint8_t> bytes(chars * 2);
        for (size_t i = 0; i < chars; ++i) PutU16LE(&bytes[2 * i], e->m_text[i]);
        GiveValue(bytes.data(), bytes.size(), 2 * e->m_nMaxSize, buffer, size);
        break;
    }
    case KIND_BUTTON:
    case KIND_LATCH:
    case KIND_SECTION:
    case KIND_PASSWORD:
        GiveValue(&e->m_bState, 1, 1, buffer, size);
        break;
    case KIND_DATETIME:
        GiveValue(e->m_DateTime, 8, 8, buffer, size);
        break;
    case KIND_NUMBER:
    case KIND_LIST:
        PutU32LE(small, uint32_t(e->m_nValue));
        GiveValue(small, 4, 4, buffer, size);
        break;
    case KIND_BLOB:
    case KIND_IMAGE:
        GiveValue(e->m_data.data(), e->m_data.size(), e->m_nDataLen, buffer, size);
        break;
    case KIND_FILE:
        GiveValue(nullptr, 0, 0, buffer, size);
        break;
    case KIND_MATRIX:
        return LINK_E_KIND;
    default:
        break; // other kinds: nothing given
    }
    e->m_bDeviceChanged = 0;
    return 0;
}

int GetMatrixOf(CLinkCtrl* e, LinkMatrixData& out) {
    out = LinkMatrixData{};
    if (!e || e->m_nKind != KIND_MATRIX) return LINK_E_KIND;
    out.nRows = e->m_nRows;
    if (!e->m_cells.empty()) out.pCells = e->m_cells.data();
    out.nCellBytes = e->m_cells.size();
    if (!e->m_rowLabels.empty()) out.pRowLabels = e->m_rowLabels.data();
    out.nRowLabelBytes = e->m_rowLabels.size();
    e->m_bDeviceChanged = 0;
    return 0;
}

CLinkCtrl* EntryAt(int index) {
    auto& live = LinkStateInstance().live;
    return index >= 0 && size_t(index) < live.size() ? &live[size_t(index)] : nullptr;
}

} // namespace

int LinkGetValue(uint32_t id, void* buffer, uint32_t* size) {
    LinkState& s = LinkStateInstance();
    Guard g(s.lock);
    return GetValueOf(FindIn(s.live, id), buffer, size);
}

int LinkGetMatrix(uint32_t id, LinkMatrixData& out) {
    LinkState& s = LinkStateInstance();
    Guard g(s.lock);
    return GetMatrixOf(FindIn(s.live, id), out);
}

int LinkGetValueAt(int index, void* buffer, uint32_t* size) {
    return GetValueOf(EntryAt(index), buffer, size);
}

int LinkGetMatrixAt(int index, LinkMatrixData& out) {
    return GetMatrixOf(EntryAt(index), out);
}

bool LinkIsDeviceChanged(uint32_t id) {
    const CLinkCtrl* e = LinkFind(id);
    return e && e->m_bDeviceChanged;
}

bool LinkIsAttrChanged(uint32_t id) {
    const CLinkCtrl* e = LinkFind(id);
    return e && e->m_bAttrChanged;
}

int LinkGetAttributes(uint32_t id, uint32_t* flags, uint32_t* colour) {
    LinkState& s = LinkStateInstance();
    Guard g(s.lock);
    CLinkCtrl* e = FindIn(s.live, id);
    if (!e) return LINK_E_KIND;
    if (!KindInRange(e->m_nKind)) {
        RaiseDiagnostic(LinkAlerts(), __LINE__, long(e->m_nKind));
        return LINK_E_KIND;
    }
    if (flags) *flags = e->m_dwFlags;
    if (colour) *colour = e->m_crColour;
    e->m_bAttrChanged = 0;
    return 0;
}

std::u16string LinkGetFileName(uint32_t id) {
    const CLinkCtrl* e = LinkFind(id);
    return e ? e->m_strFileName : std::u16string();
}

void LinkSetBoxShown(uint32_t id) {
    LinkState& s = LinkStateInstance();
    Guard g(s.lock);
    CLinkCtrl* e = FindIn(s.live, id);
    if (e && e->m_nKind == KIND_MESSAGEBOX) e->m_dwFlags |= CTRLF_BOX_SHOWN;
}
