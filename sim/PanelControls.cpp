#include "PanelControls.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "DeviceWire.h"
#include "SimDateTime.h"
#include "TextCodec.h"

namespace {

using json = nlohmann::json;

constexpr uint32_t kMaxText = 0xFFFF;         // text sizes the client accepts
constexpr uint32_t kMaxBlob = 0x7FFFF;        // a text blob's capacity doubles on the client
constexpr uint32_t kMaxMatrixBytes = 0xFFFFF; // cell and label areas
constexpr uint32_t kMaxImage = 0xFFFFFF;
constexpr size_t kMaxFileContent = 0x1000000;
constexpr size_t kPasswordChars16 = 16;
constexpr size_t kPasswordChars8 = 33;

struct NamedBit {
    const char* name;
    uint32_t bit;
};

constexpr NamedBit kCommonBits[] = {
    {"hidden", CTRLF_HIDDEN},      {"utf16", CTRLF_TEXT16},      {"newRow", CTRLF_NEW_ROW},
    {"showPage", CTRLF_SHOW_PAGE}, {"disabled", CTRLF_DISABLED}, {"editable", CTRLF_EDITABLE},
};

std::vector<NamedBit> KindBits(SimKind kind) {
    switch (kind) {
    case SimKind::Text:
        return {{"masked", CTRLF_TEXT_MASKED}};
    case SimKind::Latch:
        return {{"momentary", CTRLF_LATCH_MOMENTARY}};
    case SimKind::Password:
        return {{"changeable", CTRLF_PASSWORD_CHANGE}};
    case SimKind::Number:
        return {{"clampMin", CTRLF_CLAMP_MIN}, {"clampMax", CTRLF_CLAMP_MAX}};
    case SimKind::DateTime:
        return {{"editTime", CTRLF_TIME_ANY},      {"editDate", CTRLF_DATE_ANY},
                {"editWeekday", CTRLF_WEEKDAY},    {"editHour", CTRLF_TIME_HOUR},
                {"editMinute", CTRLF_TIME_MINUTE}, {"editSecond", CTRLF_TIME_SECOND},
                {"editDay", CTRLF_DATE_DAY},       {"editMonth", CTRLF_DATE_MONTH},
                {"editYear", CTRLF_DATE_YEAR}};
    case SimKind::Image:
        return {{"clickable", CTRLF_EDITABLE}};
    default:
        return {};
    }
}

uint32_t ParseFlags(JsonFields& f, SimKind kind) {
    const json* v = f.Get("flags");
    if (!v) return 0;
    if (auto n = JsonInteger(*v, 0, 0xFFFFFFFF)) return uint32_t(*n);
    if (!v->is_array()) f.Fail("flags", "must be a number or a list of flag names");
    const std::vector<NamedBit> own = KindBits(kind);
    uint32_t flags = 0;
    for (const json& e : *v) {
        if (auto n = JsonInteger(e, 0, 0xFFFFFFFF)) {
            flags |= uint32_t(*n);
            continue;
        }
        if (!e.is_string()) f.Fail("flags", "entries must be flag names or numbers");
        const std::string name = e.get<std::string>();
        auto match = [&](const NamedBit& b) { return name == b.name; };
        auto common = std::find_if(std::begin(kCommonBits), std::end(kCommonBits), match);
        auto kindBit = std::find_if(own.begin(), own.end(), match);
        if (common != std::end(kCommonBits)) {
            flags |= common->bit;
        } else if (kindBit != own.end()) {
            flags |= kindBit->bit;
        } else {
            std::string known;
            for (const NamedBit& b : kCommonBits)
                known += std::string(known.empty() ? "" : ", ") + b.name;
            for (const NamedBit& b : own) known += std::string(", ") + b.name;
            f.Fail("flags", "unknown flag '" + name + "' for a " + KindName(kind) +
                                " (known: " + known + ")");
        }
    }
    return flags;
}

// A named option; returns its index in `names`, or nullopt when absent.
std::optional<uint32_t> Choice(JsonFields& f, const char* key,
                               const std::vector<const char*>& names) {
    auto s = f.String(key);
    if (!s) return std::nullopt;
    for (size_t i = 0; i < names.size(); ++i)
        if (*s == names[i]) return uint32_t(i);
    std::string known;
    for (const char* n : names) known += std::string(known.empty() ? "" : ", ") + n;
    f.Fail(key, "unknown value '" + *s + "' (one of: " + known + ")");
}

// A size in bytes among 4, 2, 1 (and 0 when `allowNone`) as its flag code.
std::optional<uint32_t> SizeCode(JsonFields& f, const char* key, bool allowNone) {
    auto n = f.Integer(key, 0, 4);
    if (!n) return std::nullopt;
    switch (*n) {
    case 4:
        return 0;
    case 2:
        return 1;
    case 1:
        return 2;
    case 0:
        if (allowNone) return 3;
        break;
    }
    f.Fail(key, allowNone ? "must be 4, 2, 1 or 0 bytes" : "must be 4, 2 or 1 bytes");
}

void SetBits(uint32_t& flags, int shift, uint32_t mask, std::optional<uint32_t> value) {
    if (value) flags = (flags & ~(mask << shift)) | ((*value & mask) << shift);
}

const std::vector<const char*> kStyles = {"free", "fixed", "exponent", "general"};

// Bytes the 8-bit or UTF-16 text takes with its zero.
size_t FieldBytes(const std::u16string& text, bool utf16) {
    return utf16 ? (text.size() + 1) * 2 : NarrowAnsi(text).size() + 1;
}

void PutSigned(uint8_t* p, int width, int64_t v) {
    for (int i = 0; i < width; ++i) p[i] = uint8_t(uint64_t(v) >> (8 * i));
}

std::pair<int64_t, int64_t> SignedRange(int width) {
    const int64_t hi = (int64_t(1) << (8 * width - 1)) - 1;
    return {-hi - 1, hi};
}

void ParseText(JsonFields& f, PanelControl& c) {
    const bool utf16 = c.flags & CTRLF_TEXT16;
    c.text = f.Text("value").value_or(u"");
    c.maxSize = uint32_t(f.Integer("maxSize", 2, kMaxText, 64));
    if (utf16 && c.maxSize % 2) f.Fail("maxSize", "must be even for a UTF-16 text (bytes)");
    if (FieldBytes(c.text, utf16) > c.maxSize)
        f.Fail("value", "does not fit in maxSize (" + std::to_string(c.maxSize) +
                            " bytes with the terminating zero)");
}

void ParseNumber(JsonFields& f, PanelControl& c) {
    c.number = int32_t(f.Integer("value", INT32_MIN, INT32_MAX, 0));
    c.min = int32_t(f.Integer("min", INT32_MIN, INT32_MAX, 0));
    c.max = int32_t(f.Integer("max", INT32_MIN, INT32_MAX, 0));
    c.decimals = uint8_t(f.Integer("decimals", 0, 255, 0));
    c.exponent = int8_t(f.Integer("exponent", -128, 127, 0));
    c.format = f.Text("format");
    SetBits(c.flags, 20, 3, Choice(f, "style", kStyles));
}

void ParseDateTimeControl(JsonFields& f, PanelControl& c) {
    const std::string value = f.String("value", "now");
    if (value == "now") {
        c.dateTime = DateTimeFromSeconds(LocalNowSeconds());
    } else if (auto dt = ParseDateTime(value)) {
        c.dateTime = *dt;
    } else {
        f.Fail("value", "must be \"now\" or a date and time as \"2026-12-08 14:30:00\"");
    }
    c.format = f.Text("format").value_or(u"%yyyy%-%MM%-%dd% %HH%:%mm%:%ss%");
}

void ParseList(JsonFields& f, PanelControl& c) {
    const json* items = f.Get("items");
    if (!items || !items->is_array() || items->empty())
        f.Fail("items", "must be a non-empty list of texts");
    for (const json& it : *items) {
        c.items.push_back(f.TextOf("items", it));
    }
    const json* v = f.Get("value");
    c.number = 0;
    if (!v) return;
    if (v->is_string()) {
        const std::u16string t = f.TextOf("value", *v);
        auto it = std::find(c.items.begin(), c.items.end(), t);
        if (it == c.items.end()) f.Fail("value", "is not one of the items");
        c.number = int32_t(it - c.items.begin());
    } else if (auto n = JsonInteger(*v, -1, int64_t(c.items.size()) - 1)) {
        c.number = int32_t(*n);
    } else {
        f.Fail("value", "must be an item's text or its index (-1 for none)");
    }
}

// One row label of a matrix, by the label kind.
void ParseRowLabel(JsonFields& f, PanelControl& c, size_t row, const json& v) {
    MatrixState& m = c.matrix;
    const std::string where = "row " + std::to_string(row) + ": label ";
    switch (MatrixLabelKind(c.flags)) {
    case 1: {
        const int e = MatrixLabelBytes(c.flags);
        auto [lo, hi] = SignedRange(e);
        auto n = JsonInteger(v, lo, hi);
        if (!n)
            f.Fail("rows", where + "must be a whole number from " + std::to_string(lo) + " to " +
                               std::to_string(hi));
        PutSigned(&m.labels[row * size_t(e)], e, *n);
        break;
    }
    case 2:
        if (!v.is_string()) f.Fail("rows", where + "must be a text");
        m.textLabels[row] = f.TextOf("rows", v);
        break;
    case 3: {
        auto dt = v.is_string() ? ParseDateTime(v.get<std::string>()) : std::nullopt;
        if (!dt) f.Fail("rows", where + "must be a date and time as \"2026-12-08 14:30:00\"");
        std::copy(dt->begin(), dt->end(), m.labels.begin() + ptrdiff_t(row * 8));
        break;
    }
    default:
        f.Fail("rows", where + "given, but the matrix has no row labels");
    }
}

void ParseMatrixRows(JsonFields& f, PanelControl& c) {
    MatrixState& m = c.matrix;
    const json* rows = f.Get("rows");
    if (!rows) return;
    if (!rows->is_array()) f.Fail("rows", "must be a list of rows");
    if (rows->size() > size_t(m.capacity))
        f.Fail("rows", "holds " + std::to_string(rows->size()) + " rows, more than the capacity " +
                           std::to_string(m.capacity));
    const bool labelled = MatrixLabelKind(c.flags) != 0;
    const int w = MatrixCellBytes(c.flags);
    for (size_t r = 0; r < rows->size(); ++r) {
        const json& row = (*rows)[r];
        const json* label = nullptr;
        json cells = json::array();
        if (row.is_object()) {
            for (auto it = row.begin(); it != row.end(); ++it)
                if (it.key() != "label" && it.key() != "cells")
                    f.Fail("rows",
                           "row " + std::to_string(r) + ": unknown field '" + it.key() + "'");
            if (row.contains("label")) label = &row["label"];
            if (row.contains("cells")) cells = row["cells"];
        } else if (row.is_array()) {
            cells = row;
            if (labelled && !cells.empty()) {
                label = &row[0];
                cells.erase(cells.begin());
            }
        } else {
            f.Fail("rows", "row " + std::to_string(r) + " must be a list or an object");
        }
        if (label) ParseRowLabel(f, c, r, *label);
        if (!cells.is_array() || cells.size() != size_t(w ? m.columns : 0))
            f.Fail("rows", "row " + std::to_string(r) + " must hold " +
                               std::to_string(w ? m.columns : 0) + " cells");
        auto [lo, hi] = SignedRange(std::max(w, 1));
        for (size_t col = 0; col < cells.size(); ++col) {
            auto n = JsonInteger(cells[col], lo, hi);
            if (!n)
                f.Fail("rows", "row " + std::to_string(r) + ": cell " + std::to_string(col) +
                                   " must be a whole number from " + std::to_string(lo) + " to " +
                                   std::to_string(hi));
            PutSigned(&m.cells[(r + col * size_t(m.capacity)) * size_t(w)], w, *n);
        }
    }
    const int32_t n = int32_t(rows->size());
    m.rows = n;
    m.filled = n;
    m.nextRow = n % m.capacity;
    m.samples = n;
}

void ParseMatrix(JsonFields& f, PanelControl& c) {
    MatrixState& m = c.matrix;
    SetBits(c.flags, 16, 3, Choice(f, "rowLabels", {"none", "number", "text", "datetime"}));
    SetBits(c.flags, 18, 3, SizeCode(f, "rowLabelSize", false));
    SetBits(c.flags, 20, 3, SizeCode(f, "cellSize", true));
    SetBits(c.flags, 22, 3, Choice(f, "rowLabelStyle", kStyles));
    SetBits(c.flags, 24, 3, Choice(f, "cellStyle", kStyles));

    m.capacity = int32_t(f.RequiredInteger("capacity", 1, 65535));
    if (const json* names = f.Get("columnNames")) {
        if (!names->is_array()) f.Fail("columnNames", "must be a list of texts");
        for (const json& n : *names) m.columnNames.push_back(f.TextOf("columnNames", n));
    }
    m.columns = int32_t(f.Integer("columns", 0, 65535, int64_t(m.columnNames.size())));
    if (m.columnNames.empty()) m.columnNames.resize(size_t(m.columns));
    if (m.columnNames.size() != size_t(m.columns))
        f.Fail("columnNames", "holds " + std::to_string(m.columnNames.size()) + " names for " +
                                  std::to_string(m.columns) + " columns");

    const uint64_t cellBytes =
        uint64_t(m.capacity) * uint64_t(m.columns) * uint64_t(MatrixCellBytes(c.flags));
    if (cellBytes > kMaxMatrixBytes)
        f.Fail("capacity", "the cells would take " + std::to_string(cellBytes) +
                               " bytes; at most " + std::to_string(kMaxMatrixBytes) + " fit");
    m.cells.assign(size_t(cellBytes), 0);
    m.labels.assign(size_t(m.capacity) * size_t(MatrixLabelBytes(c.flags)), 0);
    if (MatrixLabelKind(c.flags) == 2) m.textLabels.resize(size_t(m.capacity));

    m.labelFormat = f.Text("rowLabelFormat").value_or(u" ");
    m.cellFormat = f.Text("cellFormat").value_or(u" ");
    m.labelHeading = f.Text("rowLabelHeading").value_or(u"");
    m.labelDecimals = uint8_t(f.Integer("rowLabelDecimals", 0, 255, 0));
    m.labelExponent = int8_t(f.Integer("rowLabelExponent", -128, 127, 0));
    m.cellDecimals = uint8_t(f.Integer("cellDecimals", 0, 255, 0));
    m.cellExponent = int8_t(f.Integer("cellExponent", -128, 127, 0));
    ParseMatrixRows(f, c);

    size_t textBytes = 0;
    for (const std::u16string& t : m.textLabels) textBytes += FieldBytes(t, c.flags & CTRLF_TEXT16);
    if (textBytes > kMaxMatrixBytes / 2) f.Fail("rows", "the row-label texts are too long");
}

void ParsePassword(JsonFields& f, PanelControl& c) {
    const bool utf16 = c.flags & CTRLF_TEXT16;
    c.password = f.Text("password").value_or(u"");
    const size_t limit = utf16 ? kPasswordChars16 : kPasswordChars8;
    if ((utf16 ? c.password.size() : NarrowAnsi(c.password).size()) > limit)
        f.Fail("password",
               "is longer than the " + std::to_string(limit) + " characters a client can send");
    c.state = uint8_t(f.StateByte("value", 1).value_or(0));
}

void ParseMessageBox(JsonFields& f, PanelControl& c) {
    const bool utf16 = c.flags & CTRLF_TEXT16;
    c.text = f.Text("value").value_or(u"");
    const size_t chars = FieldBytes(c.text, utf16) / (utf16 ? 2 : 1);
    c.maxSize =
        uint32_t(f.Integer("maxChars", 1, kMaxText, std::max<int64_t>(int64_t(chars), 256)));
    if (chars > c.maxSize)
        f.Fail("value", "does not fit in maxChars (" + std::to_string(c.maxSize) +
                            " with the terminating zero)");
    SetBits(c.flags, 16, 7, [&]() -> std::optional<uint32_t> {
        static constexpr uint32_t codes[] = {0, 3, 4, 5};
        auto i = Choice(f, "icon", {"stop", "exclamation", "question", "information"});
        return i ? std::optional<uint32_t>(codes[*i]) : std::nullopt;
    }());
    SetBits(c.flags, 20, 7,
            Choice(f, "buttons",
                   {"none", "ok", "okCancel", "retryCancel", "yesNo", "yesNoCancel",
                    "abortRetryIgnore", "system"}));
}

std::vector<uint8_t> ParseHex(JsonFields& f, const char* key, const std::string& hex) {
    std::vector<uint8_t> out;
    int pending = -1;
    for (char ch : hex) {
        if (ch == ' ' || ch == ':' || ch == '-') continue;
        int v = (ch >= '0' && ch <= '9')   ? ch - '0'
                : (ch >= 'a' && ch <= 'f') ? ch - 'a' + 10
                : (ch >= 'A' && ch <= 'F') ? ch - 'A' + 10
                                           : -1;
        if (v < 0) f.Fail(key, "must hold hexadecimal digits only");
        if (pending < 0) {
            pending = v;
        } else {
            out.push_back(uint8_t(pending * 16 + v));
            pending = -1;
        }
    }
    if (pending >= 0) f.Fail(key, "has an odd number of hexadecimal digits");
    return out;
}

void ParseBlob(JsonFields& f, PanelControl& c) {
    SetBits(c.flags, 20, 0xFFF, f.Integer("dataType", 0, 0xFFF));
    const bool text = IsTextBlob(c.flags);
    auto value = f.Text("value");
    auto hex = f.String("hex");
    if (value && hex) f.Fail("hex", "give either 'value' or 'hex', not both");
    if (hex) {
        c.data = ParseHex(f, "hex", *hex);
    } else if (value && text) {
        const std::string narrow = NarrowAnsi(*value);
        c.data.assign(narrow.begin(), narrow.end());
    } else if (value) {
        c.data = TextField(*value, true, (value->size() + 1) * 2); // read back as 16-bit text
    }
    // A text blob's capacity counts characters and keeps one for the zero the client sends.
    const int64_t need = int64_t(c.data.size()) + (text ? 1 : 0);
    c.maxSize = uint32_t(f.Integer("capacity", 1, kMaxBlob, std::max<int64_t>(need, 64)));
    if (need > int64_t(c.maxSize))
        f.Fail(value ? "value" : "hex",
               "does not fit in the capacity of " + std::to_string(c.maxSize) + " bytes");
}

bool PlainFileName(const std::u16string& name) {
    if (name.empty() || name.size() > 255 || name == u"." || name == u"..") return false;
    return std::none_of(name.begin(), name.end(), [](char16_t ch) {
        return ch < 0x20 || ch == '/' || ch == '\\' || ch == ':' || ch == 0x7F;
    });
}

void ParseFile(JsonFields& f, PanelControl& c, const PanelFileReader& read) {
    SetBits(c.flags, 20, 0xFFF, f.Integer("dataType", 0, 0xFFF));
    auto name = f.Text("fileName");
    if (!name) f.Fail("fileName", "is missing");
    if (!PlainFileName(*name))
        f.Fail("fileName", "must be a plain file name, without folders or control characters");
    c.fileName = *name;
    auto content = f.String("content");
    if (content && f.Has("source")) f.Fail("source", "give either 'content' or 'source', not both");
    if (content)
        c.data.assign(content->begin(), content->end());
    else if (f.Has("source"))
        c.data = ReadFileField(f, "source", read, kMaxFileContent);
}

void ParseImage(JsonFields& f, PanelControl& c, const PanelFileReader& read) {
    if (!f.Has("gif")) f.Fail("gif", "is missing (the picture's path, relative to the panel file)");
    c.data = ReadFileField(f, "gif", read, kMaxImage);
    if (c.data.size() < 13 || (std::memcmp(c.data.data(), "GIF87a", 6) != 0 &&
                               std::memcmp(c.data.data(), "GIF89a", 6) != 0))
        f.Fail("gif", "is not a GIF picture");
}

void ParseUnsupported(JsonFields& f, PanelControl& c) {
    const std::string letter = f.String("letter", "Q");
    const std::string known = "TBGSDNMPLXOFI";
    if (letter.size() != 1 || letter[0] < 0x21 || letter[0] > 0x7E ||
        known.find(letter[0]) != std::string::npos)
        f.Fail("letter",
               "must be one printable character other than the known kinds' letters " + known);
    c.letter = letter[0];
}

} // namespace

std::optional<uint32_t> ParseColour(JsonFields& f, const char* key) {
    const json* v = f.Get(key);
    if (!v) return std::nullopt;
    if (auto n = JsonInteger(*v, 0, 0xFFFFFF)) return uint32_t(*n);
    const std::string s = v->is_string() ? v->get<std::string>() : "";
    if (s.size() != 7 || s[0] != '#' ||
        s.find_first_not_of("0123456789abcdefABCDEF", 1) != std::string::npos)
        f.Fail(key, "must be \"#RRGGBB\" or a number 0x00BBGGRR");
    const uint32_t rgb = uint32_t(std::stoul(s.substr(1), nullptr, 16));
    return ((rgb >> 16) & 0xFF) | (rgb & 0xFF00) | ((rgb & 0xFF) << 16);
}

std::vector<uint8_t> ReadFileField(JsonFields& f, const char* key, const PanelFileReader& read,
                                   size_t limit) {
    const std::string path = f.RequiredString(key);
    std::vector<uint8_t> bytes;
    std::string error;
    if (!read || !read(path, limit, bytes, error)) f.Fail(key, error);
    return bytes;
}

PanelControl ParseControl(const json& object, size_t index, const PanelFileReader& read) {
    std::string where = "controls[" + std::to_string(index) + "]";
    if (object.is_object() && object.contains("id")) {
        if (auto id = JsonInteger(object["id"], 0, 0xFFFFFFFF))
            where += " (id " + std::to_string(*id) + ")";
    }
    JsonFields f(object, where);
    PanelControl c;
    const std::string kindName = f.RequiredString("kind");
    auto kind = KindFromName(kindName);
    if (!kind)
        f.Fail("kind", "unknown kind '" + kindName +
                           "' (text, button, latch, section, datetime, number, matrix, password, "
                           "list, messagebox, blob, file, image, unsupported)");
    c.kind = *kind;
    c.letter = KindLetter(c.kind);
    c.id = uint32_t(f.RequiredInteger("id", 1, 0xFFFFFFFF));
    c.name = f.Text("name").value_or(u"");
    c.flags = ParseFlags(f, c.kind);
    c.colour = ParseColour(f, "colour");

    switch (c.kind) {
    case SimKind::Text:
        ParseText(f, c);
        break;
    case SimKind::Button:
    case SimKind::Section:
        c.state = uint8_t(f.StateByte("value", 255).value_or(0));
        break;
    case SimKind::Latch:
        c.state = uint8_t(f.StateByte("value", 255).value_or(0));
        c.group = uint32_t(f.Integer("group", 0, 0xFFFFFFFF, 0));
        break;
    case SimKind::DateTime:
        ParseDateTimeControl(f, c);
        break;
    case SimKind::Number:
        ParseNumber(f, c);
        break;
    case SimKind::Matrix:
        ParseMatrix(f, c);
        break;
    case SimKind::Password:
        ParsePassword(f, c);
        break;
    case SimKind::List:
        ParseList(f, c);
        break;
    case SimKind::MessageBox:
        ParseMessageBox(f, c);
        break;
    case SimKind::Blob:
        ParseBlob(f, c);
        break;
    case SimKind::File:
        ParseFile(f, c, read);
        break;
    case SimKind::Image:
        ParseImage(f, c, read);
        break;
    case SimKind::Unsupported:
        ParseUnsupported(f, c);
        break;
    }
    f.RejectUnknown();
    if (FieldBytes(c.name, c.flags & CTRLF_TEXT16) > kMaxText) f.Fail("name", "is too long");
    return c;
}
