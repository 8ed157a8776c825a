// Writes the starting corpora from real panels: the built-in demo panel and the hand-written
// panel files already in <corpus>/panel_file (hand-*.json). Each control gives its definition as
// the device sends it, its definition followed by each item the device pushes, and, for Number,
// Date/time and Matrix controls, the texts the client formats from what it parsed. Each panel
// also gives whole device streams: a session of every message, and one that stalls three times.
//   make_seeds fuzz/corpus
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "Definition.h"
#include "DeviceWire.h"
#include "EmbeddedFiles.h"
#include "FormatInput.h"
#include "Frame.h"
#include "MemoryFiles.h"
#include "PanelFile.h"
#include "Receive.h"
#include "StreamInput.h"

namespace fs = std::filesystem;
using json = nlohmann::json;

namespace {

void Write(const fs::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

std::vector<uint8_t> Bytes(const std::string& s) {
    return {s.begin(), s.end()};
}

std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

std::string EmbeddedText(const char* name) {
    for (size_t i = 0; i < kEmbeddedFileCount; ++i)
        if (std::string(name) == kEmbeddedFiles[i].name)
            return {reinterpret_cast<const char*>(kEmbeddedFiles[i].data), kEmbeddedFiles[i].size};
    return {};
}

// The panel cut down to one control with its layout and behaviour.
std::string SingleControlPanel(const json& panel, const json& control) {
    json out = {{"title", panel.value("title", "Talvex")}, {"controls", json::array({control})}};
    const json id = control["id"];
    for (const char* list : {"layout", "behaviour"}) {
        if (!panel.contains(list)) continue;
        json kept = json::array();
        for (const json& entry : panel[list])
            if (entry.value("id", json()) == id) kept.push_back(entry);
        if (!kept.empty()) out[list] = kept;
    }
    return out.dump(1);
}

std::vector<uint8_t> ItemsInput(const ByteVec& definition, const ByteVec& item) {
    std::vector<uint8_t> out(4);
    PutU32LE(out.data(), uint32_t(definition.size()));
    out.insert(out.end(), definition.begin(), definition.end());
    out.insert(out.end(), item.begin(), item.end());
    return out;
}

// What the client's record holds for the entry, as CtrlBuild takes it from the link's table.
std::optional<FormatInput> FormatSeed(const CLinkCtrl& e, uint8_t locale) {
    FormatInput in;
    in.flags = e.m_dwFlags;
    in.locale = locale;
    in.style = uint8_t(((e.m_dwFlags >> 20) & 3) + 1);
    in.value = 1234.5678;
    switch (e.m_nKind) {
    case KIND_NUMBER:
        in.raw = e.m_nValue;
        in.decimals = e.m_nDecimals;
        in.exponent = int8_t(e.m_nExponent);
        in.rows = e.m_nMin;
        in.maxRows = e.m_nMax;
        in.numberTemplate = e.m_bHasFormat ? e.m_strFormat : u"%%";
        in.width = 6;
        return in;
    case KIND_DATETIME:
        in.dateTimePattern = e.m_strFormat;
        std::copy(std::begin(e.m_DateTime), std::end(e.m_DateTime), in.dateTime);
        return in;
    case KIND_MATRIX:
        in.maxRows = e.m_nMaxRows;
        in.cols = e.m_nCols;
        in.rows = int32_t(e.m_nRows);
        in.rowLabelFormat = e.m_strRowLabelFormat;
        in.dateTimePattern = e.m_strRowLabelFormat;
        in.cellFormat = e.m_strCellFormat;
        in.rowLabelHeading = e.m_strRowLabelHeading;
        in.columnNames = e.m_columnNames;
        in.rowLabelDecimals = e.m_nRowLabelDecimals;
        in.rowLabelExponent = int8_t(e.m_nRowLabelExponent);
        in.cellDecimals = e.m_nCellDecimals;
        in.cellExponent = int8_t(e.m_nCellExponent);
        in.cellBytes = e.m_nCellBytes;
        in.rowLabelBytes = e.m_nRowLabelBytes;
        in.cells = e.m_cells;
        in.rowLabels = e.m_rowLabels;
        // Axes run to the newest date/time label.
        if (MatrixRowLabelKind(e.m_dwFlags) == 3 && e.m_rowLabels.size() >= 8 && e.m_nRows > 0)
            std::copy_n(e.m_rowLabels.begin() + long(8 * (e.m_nRows - 1)), 8, in.dateTime);
        return in;
    default:
        return std::nullopt;
    }
}

void Seeds(const Panel& panel, const std::string& stem, const fs::path& root) {
    uint8_t locale = 0;
    for (const PanelControl& c : panel.controls) {
        const std::string name = stem + "-" + std::to_string(c.id) + "-" + KindName(c.kind);
        const ByteVec definition = DefinitionBytes(c);
        Write(root / "definition" / name, definition);

        CLinkCtrl entry = ParseDefinition(definition.data(), definition.size(), nullptr);
        if (auto value = DeviceValue(c)) {
            Write(root / "items" / (name + "-value"), ItemsInput(definition, *value));
            ApplyDeviceValue(entry, value->data(), uint32_t(value->size()));
        }
        if (c.kind == SimKind::Matrix)
            Write(root / "items" / (name + "-row"), ItemsInput(definition, MatrixRowItem(c, 0)));
        Write(root / "items" / (name + "-attributes"),
              ItemsInput(definition, AttributeChange(c.flags ^ CTRLF_HIDDEN, 0x00FF00)));

        if (auto in = FormatSeed(entry, locale++))
            Write(root / "format" / name, EncodeFormatInput(*in));
    }
}

// Every message a device sends for the panel; `starts` gets where each frame begins, by code.
ByteVec Session(const Panel& panel, uint16_t ack, std::map<uint16_t, size_t>& starts) {
    ByteVec out;
    auto add = [&](uint16_t code, uint16_t flags, const ByteVec& payload) {
        starts.emplace(code, out.size());
        const ByteVec frame = DeviceFrame(code, flags, payload);
        out.insert(out.end(), frame.begin(), frame.end());
    };
    add(MSG_PANEL_INFO, PanelInfoFlags(panel), PanelInfoPayload(panel));
    add(MSG_PANEL_DEFINITION, ack, PanelDefinitionPayload(panel));
    std::vector<ValueItem> values, attributes, rows;
    for (const PanelControl& c : panel.controls) {
        if (auto value = DeviceValue(c)) values.push_back({c.id, *value});
        attributes.push_back({c.id, AttributeChange(c.flags ^ CTRLF_HIDDEN, 0x00FF00)});
        if (c.kind == SimKind::Matrix) rows.push_back({c.id, MatrixRowItem(c, 0)});
        if (c.kind == SimKind::File) add(MSG_FILES, ack, FilesPayload(c));
    }
    add(MSG_DEVICE_VALUES, ack, ItemListPayload(values));
    add(MSG_ATTRIBUTES, ack, ItemListPayload(attributes));
    add(MSG_MATRIX_ROWS, ack, ItemListPayload(rows));
    add(MSG_LAYOUT_RECORDS, 0, LayoutPayload(panel.layout));
    for (uint16_t code : {MSG_PRESENCE_QUERY, MSG_PING_REPLY, MSG_DEVICE_ACK, MSG_PANEL_CHANGED})
        add(code, 0, {});
    return out;
}

void StreamSeeds(const Panel& panel, const std::string& stem, const fs::path& root) {
    std::map<uint16_t, size_t> starts;
    StreamInput in;
    in.device = Session(panel, 0, starts);
    Write(root / "stream" / (stem + "-session"), EncodeStreamInput(in));

    // Stalls inside a header, a panel definition and a value list; then the panel once more.
    in.pauses = {starts[MSG_PANEL_INFO] + 12, starts[MSG_PANEL_DEFINITION] + FRAME_HEADER_SIZE + 8,
                 starts[MSG_DEVICE_VALUES] + FRAME_HEADER_SIZE + 13};
    const ByteVec panelAgain = DeviceFrame(MSG_PANEL_DEFINITION, 0, PanelDefinitionPayload(panel));
    in.device.resize(starts[MSG_ATTRIBUTES]);
    in.device.insert(in.device.end(), panelAgain.begin(), panelAgain.end());
    Write(root / "stream" / (stem + "-stalls"), EncodeStreamInput(in));

    // Traced, acknowledged, and said goodbye to.
    starts.clear();
    StreamInput traced;
    traced.trace = traced.ackValues = true;
    traced.device = Session(panel, HF_ACK_REQUEST, starts);
    const ByteVec bye = DeviceFrame(MSG_DEVICE_CLOSED, 0, {});
    traced.device.insert(traced.device.end(), bye.begin(), bye.end());
    Write(root / "stream" / (stem + "-traced"), EncodeStreamInput(traced));
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_seeds CORPUS_DIR\n");
        return 2;
    }
    const fs::path root = argv[1];
    for (const char* dir : {"definition", "items", "format", "panel_file", "stream"})
        fs::create_directories(root / dir);

    std::vector<std::pair<std::string, std::string>> panels = {{"demo", EmbeddedText("demo.json")}};
    for (const auto& entry : fs::directory_iterator(root / "panel_file")) {
        const std::string file = entry.path().filename().string();
        if (file.rfind("hand-", 0) == 0 && entry.path().extension() == ".json")
            panels.emplace_back(entry.path().stem().string(), ReadText(entry.path()));
    }

    for (const auto& [stem, text] : panels) {
        const PanelFileResult result = ParsePanelText(text, stem, ReadFromMemory);
        if (!result.panel) {
            std::fprintf(stderr, "%s\n", result.error.c_str());
            return 1;
        }
        Seeds(*result.panel, stem, root);
        StreamSeeds(*result.panel, stem, root);
        const json parsed = json::parse(text);
        if (stem == "demo") Write(root / "panel_file" / "demo.json", Bytes(text));
        for (const json& control : parsed["controls"])
            Write(root / "panel_file" /
                      ("split-" + stem + "-" + std::to_string(control["id"].get<int>()) + ".json"),
                  Bytes(SingleControlPanel(parsed, control)));
    }
    std::printf("seeds written under %s\n", root.c_str());
    return 0;
}
