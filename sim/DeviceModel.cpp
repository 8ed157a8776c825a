#include "DeviceModel.h"

#include <algorithm>

#include "Frame.h"
#include "SimDateTime.h"
#include "Utf8.h"

namespace {

constexpr size_t kPasswordField = 34;

const char* AnswerName(uint32_t flags, uint8_t answer) {
    static const char* const names[7][4] = {
        {"?", "?", "?", "?"},
        {"?", "OK", "?", "?"},
        {"?", "OK", "Cancel", "?"},
        {"?", "Retry", "Cancel", "?"},
        {"?", "Yes", "No", "?"},
        {"?", "Yes", "No", "Cancel"},
        {"?", "Abort", "Retry", "Ignore"},
    };
    // Button set 7 answers with the system's own result codes.
    static const char* const system[8] = {"?",     "OK",     "Cancel", "Abort",
                                          "Retry", "Ignore", "Yes",    "No"};
    const uint32_t set = (flags >> 20) & 7;
    if (set == 7) return answer < 8 ? system[answer] : "?";
    return answer < 4 ? names[set][answer] : "?";
}

// Collects the ids to confirm, each once, in the order first touched.
class Replies {
public:
    void Add(uint32_t id) {
        if (std::find(m_ids.begin(), m_ids.end(), id) == m_ids.end()) m_ids.push_back(id);
    }
    void WriteTo(const Panel& panel, std::vector<ValueItem>& out) const {
        for (uint32_t id : m_ids)
            if (const PanelControl* c = panel.Find(id))
                if (auto v = DeviceValue(*c)) out.push_back({id, std::move(*v)});
    }

private:
    std::vector<uint32_t> m_ids;
};

void ApplyLatch(Panel& panel, PanelControl& c, uint8_t state, Replies& replies, Reaction& r) {
    c.state = state;
    const bool momentary = c.flags & CTRLF_LATCH_MOMENTARY;
    if (!state || c.group == 0 || momentary) {
        r.notes.push_back("Latch " + ControlLabel(c) + (state ? " on" : " off"));
        return;
    }
    // A radio group: the device confirms the whole group.
    for (PanelControl& other : panel.controls) {
        if (other.kind != SimKind::Latch || other.group != c.group) continue;
        if (other.id != c.id && !(other.flags & CTRLF_LATCH_MOMENTARY)) other.state = 0;
        replies.Add(other.id);
    }
    r.notes.push_back("Latch " + ControlLabel(c) + " on, the rest of group " +
                      std::to_string(c.group) + " off");
}

void ApplyNumber(PanelControl& c, int32_t v, Replies& replies, Reaction& r) {
    int32_t kept = v;
    if (c.min < c.max) kept = std::clamp(v, c.min, c.max);
    c.number = kept;
    std::string note = "Number " + ControlLabel(c) + " = " + std::to_string(v);
    if (kept != v) {
        note += ", clamped to " + std::to_string(kept);
        replies.Add(c.id);
    }
    r.notes.push_back(note);
}

void ApplyPassword(PanelControl& c, const ByteVec& data, Replies& replies, Reaction& r) {
    uint8_t fields[2 * kPasswordField] = {};
    std::copy_n(data.begin(), std::min(data.size(), sizeof fields), fields);
    const bool utf16 = c.flags & CTRLF_TEXT16;
    const std::u16string first = DecodeText(fields, kPasswordField, utf16);
    const std::u16string second = DecodeText(fields + kPasswordField, kPasswordField, utf16);
    const std::string who = "Password " + ControlLabel(c);
    if (!second.empty()) {
        if (first == c.password) {
            c.password = second;
            c.state = 1;
            r.notes.push_back(who + ": password changed");
        } else {
            c.state = 0;
            r.notes.push_back(who + ": change refused, the old password is wrong");
        }
    } else if (first.empty()) {
        c.state = 0;
        r.notes.push_back(who + ": logged out");
    } else {
        c.state = first == c.password ? 1 : 0;
        r.notes.push_back(who + (c.state ? ": log-in accepted" : ": log-in refused"));
    }
    replies.Add(c.id); // the device always answers with the logged-in state
}

void ApplyItem(Panel& panel, const ValueItem& item, Replies& replies, Reaction& r) {
    PanelControl* found = panel.Find(item.id);
    if (!found) {
        r.notes.push_back("Value for unknown control #" + std::to_string(item.id) + " ignored");
        return;
    }
    PanelControl& c = *found;
    const ByteVec& d = item.data;
    const bool utf16 = c.flags & CTRLF_TEXT16;
    auto shortItem = [&](size_t need) {
        if (d.size() >= need) return false;
        r.notes.push_back(std::string(KindName(c.kind)) + " " + ControlLabel(c) + ": item of " +
                          std::to_string(d.size()) + " bytes ignored");
        return true;
    };

    switch (c.kind) {
    case SimKind::Text:
        c.text = DecodeText(d.data(), std::min<size_t>(d.size(), c.maxSize), utf16);
        r.notes.push_back("Text " + ControlLabel(c) + " = " + ConsoleQuote(c.text));
        break;
    case SimKind::Button:
        if (shortItem(1)) break;
        r.notes.push_back("Button " + ControlLabel(c) + (d[0] ? " pressed" : " released"));
        break;
    case SimKind::Latch:
        if (shortItem(1)) break;
        ApplyLatch(panel, c, d[0], replies, r);
        break;
    case SimKind::Section:
        if (shortItem(1)) break;
        c.state = d[0];
        r.notes.push_back("Section " + ControlLabel(c) + (c.state ? " opened" : " closed"));
        break;
    case SimKind::DateTime:
        if (shortItem(8)) break;
        std::copy_n(d.begin(), 8, c.dateTime.begin());
        r.dateTimesSet.push_back(c.id);
        r.notes.push_back("Date/time " + ControlLabel(c) + " = " + FormatDateTime(c.dateTime));
        break;
    case SimKind::Number:
        if (shortItem(4)) break;
        ApplyNumber(c, int32_t(GetU32LE(d.data())), replies, r);
        break;
    case SimKind::List: {
        if (shortItem(4)) break;
        const int32_t v = int32_t(GetU32LE(d.data()));
        if (v < -1 || v >= int32_t(c.items.size())) {
            replies.Add(c.id); // not an item: the device keeps its selection
            r.notes.push_back("List " + ControlLabel(c) + ": index " + std::to_string(v) +
                              " refused");
            break;
        }
        c.number = v;
        r.notes.push_back("List " + ControlLabel(c) + " = " + std::to_string(v) +
                          (v >= 0 ? " " + ConsoleQuote(c.items[size_t(v)]) : std::string()));
        break;
    }
    case SimKind::Password:
        ApplyPassword(c, d, replies, r);
        break;
    case SimKind::MessageBox:
        if (shortItem(1)) break;
        c.flags |= CTRLF_HIDDEN; // answered: not shown again on the next connect
        r.answers.push_back({c.id, d[0]});
        r.notes.push_back("Message box " + ControlLabel(c) + " answered " + std::to_string(d[0]) +
                          " (" + AnswerName(c.flags, d[0]) + ")");
        break;
    case SimKind::Blob:
        c.data.assign(d.begin(), d.begin() + ptrdiff_t(std::min<size_t>(d.size(), c.maxSize)));
        if (IsTextBlob(c.flags)) {
            auto zero = std::find(c.data.begin(), c.data.end(), uint8_t(0));
            c.data.erase(zero, c.data.end());
        }
        r.notes.push_back("Blob " + ControlLabel(c) + ": " + std::to_string(c.data.size()) +
                          " bytes");
        break;
    case SimKind::File:
        if (!d.empty()) {
            r.notes.push_back("File " + ControlLabel(c) + ": unexpected data ignored");
            break;
        }
        r.fileRequests.push_back(c.id);
        r.notes.push_back("File " + ControlLabel(c) + " requested: sending " +
                          ConsoleQuote(c.fileName) + " (" + std::to_string(c.data.size()) +
                          " bytes)");
        break;
    case SimKind::Image:
        r.notes.push_back("Image " + ControlLabel(c) + " pressed");
        break;
    case SimKind::Matrix:
    case SimKind::Unsupported:
        r.notes.push_back(std::string(KindName(c.kind)) + " " + ControlLabel(c) +
                          ": a value was not expected, ignored");
        break;
    }
}

} // namespace

std::string ControlLabel(const PanelControl& c) {
    std::string s = "#" + std::to_string(c.id);
    if (!c.name.empty()) s += " " + ConsoleQuote(c.name);
    return s;
}

Reaction ApplyClientValues(Panel& panel, const std::vector<ValueItem>& items) {
    Reaction r;
    Replies replies;
    for (const ValueItem& item : items) ApplyItem(panel, item, replies, r);
    replies.WriteTo(panel, r.values);
    return r;
}

void ForgetClient(Panel& panel) {
    for (PanelControl& c : panel.controls)
        if (c.kind == SimKind::Password) c.state = 0;
}
