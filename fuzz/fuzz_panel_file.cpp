// Any bytes as a panel file, the files it names read from memory (MemoryFiles.h). A panel the
// simulator accepts must reach the client whole: every payload builds, and the client parses each
// definition into the same id and kind and applies each value, row and attribute change without
// a diagnostic or size alarm.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "Definition.h"
#include "DeviceWire.h"
#include "Link.h"
#include "LinkServices.h"
#include "MemoryFiles.h"
#include "PanelFile.h"
#include "Receive.h"

namespace {

void Check(bool ok) {
    if (!ok) std::abort();
}

// Any box the link raises is a finding here.
class FailingAlerts : public ILinkAlerts {
public:
    void DiagnosticBox(long, const char*, long) override { std::abort(); }
    void SizeAlarm(long, const char*) override { std::abort(); }
    void MessageBox(const std::u16string&) override { std::abort(); }
    void QuitRequest() override { std::abort(); }
    void WaitCursor(bool) override {}
};

void Deliver(CLinkCtrl& entry, const ByteVec& item,
             int (*apply)(CLinkCtrl&, const uint8_t*, uint32_t)) {
    Check(apply(entry, item.data(), uint32_t(item.size())) == 0);
}

void SendToClient(const Panel& panel, ILinkAlerts& alerts) {
    PanelInfoPayload(panel);
    PanelDefinitionPayload(panel);
    LayoutPayload(panel.layout);
    for (const PanelControl& c : panel.controls) {
        const ByteVec definition = DefinitionBytes(c);
        CLinkCtrl entry = ParseDefinition(definition.data(), definition.size(), &alerts);
        Check(entry.m_nId == c.id);
        const bool known = c.kind != SimKind::Unsupported;
        Check(entry.m_nKind == (known ? uint16_t(c.kind) : uint16_t(KIND_UNSUPPORTED)));
        if (auto value = DeviceValue(c)) Deliver(entry, *value, ApplyDeviceValue);
        if (c.kind == SimKind::Matrix && c.matrix.capacity > 0) {
            Deliver(entry, MatrixRowItem(c, 0), ApplyMatrixRow);
            Deliver(entry, MatrixRowItem(c, c.matrix.capacity - 1), ApplyMatrixRow);
        }
        Deliver(entry, AttributeChange(c.flags, c.colour), ApplyAttributeChange);
        if (c.kind == SimKind::File) FilesPayload(c);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static FailingAlerts alerts;
    static const bool servicesSet = [] {
        LinkServices services;
        services.alerts = &alerts;
        LinkSetServices(services);
        return true;
    }();
    (void)servicesSet;

    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const PanelFileResult result = ParsePanelText(text, "fuzz.json", ReadFromMemory);
    Check(result.panel.has_value() == result.error.empty());
    if (result.panel) SendToClient(*result.panel, alerts);
    return 0;
}
