#include "FaultPanels.h"

#include <algorithm>

#include "DeviceWire.h"
#include "Frame.h"
#include "PanelFile.h"

namespace {

const char* kSmallPanel = R"({
  "title": "Line test", "noPings": true,
  "controls": [
    {"kind": "number", "id": 1, "name": "Flow", "value": 0},
    {"kind": "number", "id": 2, "name": "Level", "value": 0},
    {"kind": "number", "id": 3, "name": "Speed", "value": 0},
    {"kind": "number", "id": 4, "name": "Load", "value": 0},
    {"kind": "text", "id": 5, "name": "Ticks", "value": "0", "maxSize": 16},
    {"kind": "matrix", "id": 6, "name": "Log", "rowLabels": "number", "rowLabelSize": 4,
     "cellSize": 2, "capacity": 50, "columnNames": ["in", "out"]},
    {"kind": "latch", "id": 7, "name": "Pump", "value": true},
    {"kind": "file", "id": 20, "name": "Report", "fileName": "report.csv",
     "content": "time;flow\n1;20\n2;21\n"}
  ]
})";

Panel Parse(const char* text) {
    PanelFileResult r = ParsePanelText(text, "faults.json", {});
    return r.panel.value_or(Panel{});
}

Behaviour Counter(uint32_t id, double period) {
    Behaviour b;
    b.type = Behaviour::Type::Counter;
    b.id = id;
    b.period = period;
    b.from = 0;
    b.to = 1000000000;
    return b;
}

} // namespace

Panel SmallPanel() {
    return Parse(kSmallPanel);
}

Panel StreamingPanel() {
    Panel p = SmallPanel();
    for (uint32_t id = 1; id <= 4; ++id) p.behaviours.push_back(Counter(id, 0.005));
    p.behaviours.push_back(Counter(5, 0.01));
    Behaviour rows;
    rows.type = Behaviour::Type::Stream;
    rows.id = 6;
    rows.period = 0.01;
    rows.waves = {{100, 50, 2}, {-20, 300, 5}};
    p.behaviours.push_back(rows);
    return p;
}

size_t PanelFrameBytes(const Panel& panel) {
    return FRAME_HEADER_SIZE + PanelDefinitionPayload(panel).size();
}

size_t FileFrameBytes(const Panel& panel, uint32_t fileId) {
    const PanelControl* file = panel.Find(fileId);
    return file ? FRAME_HEADER_SIZE + FilesPayload(*file).size() : 0;
}

std::vector<size_t> Offsets(size_t n, size_t step) {
    std::vector<size_t> offsets;
    for (size_t k = 0; k < n; k += std::max<size_t>(step, 1)) offsets.push_back(k);
    if (n > 0 && offsets.back() != n - 1) offsets.push_back(n - 1);
    return offsets;
}
