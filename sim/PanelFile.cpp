#include "PanelFile.h"

#include <algorithm>
#include <fstream>
#include <map>
#include <set>

#include "JsonFields.h"
#include "LayoutProps.h"
#include "PanelControls.h"

namespace {

using json = nlohmann::json;

constexpr size_t kMaxPanelFile = 0x4000000;

struct NamedProperty {
    const char* name;
    uint32_t code;
};

// Layout properties of one control.
constexpr NamedProperty kControlProperties[] = {
    {"autoLayout", CTRL_PROP_AUTO_LAYOUT},
    {"x", CTRL_PROP_X},
    {"y", CTRL_PROP_Y},
    {"width", CTRL_PROP_WIDTH},
    {"height", CTRL_PROP_HEIGHT},
    {"page", CTRL_PROP_PAGE},
    {"style", CTRL_PROP_STYLE},
    {"fontSize", CTRL_PROP_FONT_SIZE},
    {"fontBold", CTRL_PROP_FONT_BOLD},
    {"border", CTRL_PROP_BORDER},
    {"showTitle", CTRL_PROP_SHOW_TITLE},
    {"titleFontSize", CTRL_PROP_TITLE_SIZE},
    {"titleBold", CTRL_PROP_TITLE_BOLD},
    {"hide", CTRL_PROP_HIDE},
    {"digits", CTRL_PROP_DIGITS},
    {"align", CTRL_PROP_ALIGN},
    {"imageAlignX", CTRL_PROP_IMAGE_ALIGN_X},
    {"x2", CTRL_PROP_X + CTRL_PROP_SECOND},
    {"y2", CTRL_PROP_Y + CTRL_PROP_SECOND},
    {"width2", CTRL_PROP_WIDTH + CTRL_PROP_SECOND},
    {"height2", CTRL_PROP_HEIGHT + CTRL_PROP_SECOND},
    {"page2", CTRL_PROP_PAGE + CTRL_PROP_SECOND},
};

// Panel-wide layout properties (control id 0).
constexpr NamedProperty kPanelProperties[] = {
    {"pingSeconds", PANEL_PROP_PING_SECONDS},
    {"panelHeight", PANEL_PROP_HEIGHT},
    {"panelWidth", PANEL_PROP_WIDTH},
    {"fixedSize", PANEL_PROP_FIXED_SIZE},
};

template <size_t N>
const NamedProperty* FindProperty(const NamedProperty (&table)[N], const std::string& name) {
    for (const NamedProperty& p : table)
        if (name == p.name) return &p;
    return nullptr;
}

uint32_t PropertyValue(JsonFields& f, const char* key, const json& v) {
    if (v.is_boolean()) return v.get<bool>() ? 1 : 0;
    auto n = JsonInteger(v, INT32_MIN, UINT32_MAX);
    if (!n) f.Fail(key, "must be a whole number or true/false");
    return uint32_t(*n);
}

// {"id": 3, "property": "page", "value": 1}, or several named properties at once:
// {"id": 3, "page": 1, "x": 5, "y": 5}.
void ParseLayoutEntry(const json& object, size_t index, const Panel& panel,
                      std::vector<LayoutRecord>& out) {
    JsonFields f(object, "layout[" + std::to_string(index) + "]");
    const uint32_t id = uint32_t(f.RequiredInteger("id", 0, 0xFFFFFFFF));
    if (id != 0 && !panel.Find(id)) f.Fail("id", "no control has the id " + std::to_string(id));
    auto named = [&](const std::string& name) {
        return id == 0 ? FindProperty(kPanelProperties, name)
                       : FindProperty(kControlProperties, name);
    };

    if (f.Has("property")) {
        const json& p = *f.Get("property");
        uint32_t code = 0;
        if (auto n = JsonInteger(p, 0, 0xFFFFFFFF)) {
            code = uint32_t(*n);
        } else if (const NamedProperty* np =
                       p.is_string() ? named(p.get<std::string>()) : nullptr) {
            code = np->code;
        } else {
            f.Fail("property", "must be a property code or one of the names of a " +
                                   std::string(id ? "control" : "panel-wide (id 0)") +
                                   " layout property");
        }
        const json* v = f.Get("value");
        if (!v) f.Fail("value", "is missing");
        out.push_back({id, code, PropertyValue(f, "value", *v)});
        f.RejectUnknown();
        return;
    }
    const size_t before = out.size();
    for (auto it = object.begin(); it != object.end(); ++it) {
        if (it.key() == "id") continue;
        const NamedProperty* np = named(it.key());
        if (!np) f.Fail(it.key().c_str(), "unknown layout property");
        f.Get(np->name);
        out.push_back({id, np->code, PropertyValue(f, np->name, it.value())});
    }
    if (out.size() == before) f.Fail("holds no layout property");
}

const PanelControl& Target(JsonFields& f, const Panel& panel,
                           std::initializer_list<SimKind> kinds) {
    const uint32_t id = uint32_t(f.RequiredInteger("id", 1, 0xFFFFFFFF));
    const PanelControl* c = panel.Find(id);
    if (!c) f.Fail("id", "no control has the id " + std::to_string(id));
    if (kinds.size() && std::find(kinds.begin(), kinds.end(), c->kind) == kinds.end()) {
        std::string names;
        for (SimKind k : kinds) names += std::string(names.empty() ? "" : " or ") + KindName(k);
        f.Fail("id",
               "control " + std::to_string(id) + " is a " + KindName(c->kind) + ", not a " + names);
    }
    return *c;
}

Behaviour ParseBehaviour(const json& object, size_t index, const Panel& panel) {
    JsonFields f(object, "behaviour[" + std::to_string(index) + "]");
    Behaviour b;
    const std::string type = f.RequiredString("type");
    static const std::map<std::string, Behaviour::Type> types = {
        {"clock", Behaviour::Type::Clock},           {"counter", Behaviour::Type::Counter},
        {"stream", Behaviour::Type::Stream},         {"attributes", Behaviour::Type::Attributes},
        {"messageBox", Behaviour::Type::MessageBox}, {"presence", Behaviour::Type::Presence},
    };
    auto t = types.find(type);
    if (t == types.end())
        f.Fail("type", "unknown type '" + type +
                           "' (clock, counter, stream, attributes, messageBox, presence)");
    b.type = t->second;
    const bool once = b.type == Behaviour::Type::MessageBox;
    b.period = f.Real("period", once ? 0 : 0.05, 86400)
                   .value_or(b.type == Behaviour::Type::Presence ? 10.0 : 1.0);
    b.first = f.Real("first", 0, 86400).value_or(-1);

    switch (b.type) {
    case Behaviour::Type::Clock:
        b.id = Target(f, panel, {SimKind::DateTime}).id;
        break;
    case Behaviour::Type::Counter:
        b.id = Target(f, panel, {SimKind::Number, SimKind::Text}).id;
        b.step = f.Integer("step", INT32_MIN, INT32_MAX, 1);
        b.from = f.Integer("from", INT32_MIN, INT32_MAX);
        b.to = f.Integer("to", INT32_MIN, INT32_MAX);
        break;
    case Behaviour::Type::Stream: {
        const PanelControl& m = Target(f, panel, {SimKind::Matrix});
        b.id = m.id;
        if (const json* rows = f.Get("rows")) {
            if (!rows->is_array() || rows->empty())
                f.Fail("rows", "must be a non-empty list of rows");
            for (const json& row : *rows) {
                if (!row.is_array() || row.size() > size_t(m.matrix.columns))
                    f.Fail("rows", "each row must be a list of at most " +
                                       std::to_string(m.matrix.columns) + " cell values");
                std::vector<int64_t> cells;
                for (const json& v : row) {
                    auto n = JsonInteger(v, INT32_MIN, INT32_MAX);
                    if (!n) f.Fail("rows", "cell values must be whole numbers");
                    cells.push_back(*n);
                }
                b.rows.push_back(std::move(cells));
            }
        }
        if (const json* waves = f.Get("waves")) {
            if (!waves->is_array()) f.Fail("waves", "must be a list, one wave per column");
            for (size_t i = 0; i < waves->size(); ++i) {
                JsonFields w((*waves)[i], f.Where() + ": waves[" + std::to_string(i) + "]");
                Behaviour::Wave wave;
                wave.base = w.Real("base", -1e9, 1e9).value_or(0);
                wave.amplitude = w.Real("amplitude", -1e9, 1e9).value_or(0);
                wave.cycle = w.Real("cycle", 0.1, 1e7).value_or(60);
                w.RejectUnknown();
                b.waves.push_back(wave);
            }
        }
        if (b.rows.empty() == b.waves.empty())
            f.Fail("give either 'rows' to cycle through or 'waves', one per column");
        break;
    }
    case Behaviour::Type::Attributes: {
        b.id = Target(f, panel, {}).id;
        const json* steps = f.Get("steps");
        if (!steps || !steps->is_array() || steps->empty())
            f.Fail("steps", "must be a non-empty list of {colour, hidden, disabled}");
        for (size_t i = 0; i < steps->size(); ++i) {
            JsonFields s((*steps)[i], f.Where() + ": steps[" + std::to_string(i) + "]");
            Behaviour::AttributeStep step;
            step.colour = ParseColour(s, "colour");
            step.hidden = s.Boolean("hidden");
            step.disabled = s.Boolean("disabled");
            s.RejectUnknown();
            b.steps.push_back(step);
        }
        break;
    }
    case Behaviour::Type::MessageBox: {
        const PanelControl& box = Target(f, panel, {SimKind::MessageBox});
        b.id = box.id;
        if (const json* texts = f.Get("texts")) {
            if (!texts->is_array()) f.Fail("texts", "must be a list of texts");
            for (const json& t : *texts) {
                std::u16string text = f.TextOf("texts", t);
                if (text.size() + 1 > box.maxSize)
                    f.Fail("texts", "a text is longer than the message box's maxChars");
                b.texts.push_back(std::move(text));
            }
        }
        break;
    }
    case Behaviour::Type::Presence:
        break;
    }
    f.RejectUnknown();
    return b;
}

Panel ParsePanel(const json& root, const PanelFileReader& read) {
    JsonFields f(root, "panel");
    Panel p;
    p.title = f.Text("title").value_or(u"Talvex");
    p.about = f.Text("about").value_or(u"");
    p.noPings = f.Boolean("noPings", false);
    p.keepPanel = f.Boolean("keepPanel", false);
    p.utf16Title = f.Boolean("utf16Title", false);
    p.ackRequests = f.Boolean("ackRequests", false);

    const json* controls = f.Get("controls");
    if (!controls || !controls->is_array()) f.Fail("controls", "must be a list of controls");
    std::map<uint32_t, size_t> seen;
    for (size_t i = 0; i < controls->size(); ++i) {
        PanelControl c = ParseControl((*controls)[i], i, read);
        auto [it, fresh] = seen.emplace(c.id, i);
        if (!fresh)
            throw PanelFileError("controls[" + std::to_string(i) + "] (id " + std::to_string(c.id) +
                                 "): field 'id': controls[" + std::to_string(it->second) +
                                 "] has the same id");
        p.controls.push_back(std::move(c));
    }
    if (const json* layout = f.Get("layout")) {
        if (!layout->is_array()) f.Fail("layout", "must be a list of layout records");
        for (size_t i = 0; i < layout->size(); ++i) ParseLayoutEntry((*layout)[i], i, p, p.layout);
    }
    if (const json* behaviour = f.Get("behaviour")) {
        if (!behaviour->is_array()) f.Fail("behaviour", "must be a list");
        for (size_t i = 0; i < behaviour->size(); ++i)
            p.behaviours.push_back(ParseBehaviour((*behaviour)[i], i, p));
    }
    f.RejectUnknown();
    return p;
}

} // namespace

PanelFileResult ParsePanelText(std::string_view text, const std::string& fileName,
                               const PanelFileReader& read) {
    PanelFileResult result;
    json root;
    try {
        root = json::parse(text.begin(), text.end());
    } catch (const json::exception& e) { // a syntax error, or a number too large to hold
        std::string what = e.what();
        if (auto cut = what.find("] ");
            what.rfind("[json.exception", 0) == 0 && cut != std::string::npos)
            what = what.substr(cut + 2);
        result.error = fileName + ": not valid JSON: " + what;
        return result;
    }
    try {
        result.panel = ParsePanel(root, read);
    } catch (const PanelFileError& e) {
        result.error = fileName + ": " + e.what();
    } catch (const json::exception& e) {
        result.error = fileName + ": " + e.what();
    }
    return result;
}

namespace {

// Reads at most limit + 1 bytes, enough to tell an oversized file.
bool ReadAll(const std::string& path, size_t limit, std::string& out, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot open '" + path + "'";
        return false;
    }
    out.clear();
    char buf[65536];
    while (in.read(buf, sizeof buf) || in.gcount() > 0) {
        out.append(buf, size_t(in.gcount()));
        if (out.size() > limit) {
            error = "'" + path + "' is larger than " + std::to_string(limit) + " bytes";
            return false;
        }
    }
    if (in.bad()) {
        error = "cannot read '" + path + "'";
        return false;
    }
    return true;
}

} // namespace

PanelFileReader DiskReader(const std::string& baseDir) {
    return [baseDir](const std::string& rel, size_t limit, std::vector<uint8_t>& out,
                     std::string& error) {
        const std::string path = (rel.empty() || rel[0] == '/') ? rel : baseDir + "/" + rel;
        std::string bytes;
        if (!ReadAll(path, limit, bytes, error)) return false;
        out.assign(bytes.begin(), bytes.end());
        return true;
    };
}

PanelFileResult LoadPanelFile(const std::string& path) {
    std::string text, error;
    if (!ReadAll(path, kMaxPanelFile, text, error)) return {std::nullopt, path + ": " + error};
    const size_t slash = path.find_last_of('/');
    const std::string baseDir = slash == std::string::npos ? "." : path.substr(0, slash);
    PanelFileResult r = ParsePanelText(text, path, DiskReader(baseDir.empty() ? "/" : baseDir));
    if (r.panel) r.panel->sourcePath = path;
    return r;
}
