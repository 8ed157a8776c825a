#include "Behaviours.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

#include "DeviceModel.h"
#include "Frame.h"
#include "SimDateTime.h"

namespace {

using Seconds = std::chrono::duration<double>;

BehaviourRunner::Clock::duration ToDuration(double seconds) {
    return std::chrono::duration_cast<BehaviourRunner::Clock::duration>(Seconds(seconds));
}

// Stores v as a little-endian signed integer of `width` bytes, saturated to that width.
void PutSigned(uint8_t* p, int width, int64_t v) {
    if (width <= 0) return;
    const int64_t hi = (int64_t(1) << (8 * width - 1)) - 1;
    v = std::clamp(v, -hi - 1, hi);
    for (int i = 0; i < width; ++i) p[i] = uint8_t(uint64_t(v) >> (8 * i));
}

ByteVec ValuesOf(const PanelControl& c) {
    std::vector<ValueItem> items;
    if (auto v = DeviceValue(c)) items.push_back({c.id, std::move(*v)});
    return ItemListPayload(items);
}

ByteVec AttributesOf(const PanelControl& c, bool withColour) {
    return ItemListPayload(
        {{c.id, AttributeChange(c.flags, withColour ? c.colour : std::nullopt)}});
}

// Writes one row at the ring's next position and returns that position.
int32_t AppendRow(PanelControl& c, const std::vector<int64_t>& cells) {
    MatrixState& m = c.matrix;
    const int32_t row = m.nextRow;
    const int w = MatrixCellBytes(c.flags);
    for (int32_t col = 0; col < m.columns; ++col) {
        const size_t at = (size_t(row) + size_t(col) * size_t(m.capacity)) * size_t(w);
        if (at + size_t(w) <= m.cells.size())
            PutSigned(&m.cells[at], w, size_t(col) < cells.size() ? cells[size_t(col)] : 0);
    }
    const int e = MatrixLabelBytes(c.flags);
    const size_t labelAt = size_t(row) * size_t(e);
    if (e && labelAt + size_t(e) <= m.labels.size()) {
        if (MatrixLabelKind(c.flags) == 3) {
            DateTimeBytes now = DateTimeFromSeconds(LocalNowSeconds());
            std::copy(now.begin(), now.end(), m.labels.begin() + ptrdiff_t(labelAt));
        } else {
            PutSigned(&m.labels[labelAt], e, m.samples);
        }
    }
    ++m.samples;
    m.filled = std::min(m.filled + 1, m.capacity);
    m.nextRow = (row + 1) % m.capacity;
    // Until the ring is full the rows value counts rows; then -k names the oldest row k.
    m.rows = m.filled < m.capacity ? m.filled : (m.nextRow == 0 ? m.capacity : -m.nextRow);
    return row;
}

} // namespace

BehaviourRunner::BehaviourRunner(const std::vector<Behaviour>& behaviours) {
    for (const Behaviour& b : behaviours) {
        Slot s{b};
        s.counter = b.from.value_or(0);
        m_slots.push_back(std::move(s));
    }
}

void BehaviourRunner::Start(const Panel& panel, Clock::time_point now) {
    m_started = now;
    m_running = true;
    for (Slot& s : m_slots) {
        s.done = false;
        s.step = 0;
        s.due = now + ToDuration(s.b.first >= 0 ? s.b.first : s.b.period);
        // A counter goes on from the number the device shows (a text counter from its own).
        const PanelControl* c = panel.Find(s.b.id);
        if (s.b.type == Behaviour::Type::Counter && c && c->kind == SimKind::Number)
            s.counter = c->number;
    }
}

std::optional<BehaviourRunner::Clock::time_point> BehaviourRunner::NextDue() const {
    std::optional<Clock::time_point> next;
    if (!m_running) return next;
    for (const Slot& s : m_slots)
        if (!s.done && (!next || s.due < *next)) next = s.due;
    return next;
}

void BehaviourRunner::DateTimeSet(const Panel& panel, uint32_t id) {
    const PanelControl* c = panel.Find(id);
    if (!c) return;
    for (Slot& s : m_slots) {
        if (s.b.type != Behaviour::Type::Clock || s.b.id != id) continue;
        if (auto set = DateTimeSeconds(c->dateTime)) s.clockOffset = *set - LocalNowSeconds();
    }
}

std::vector<OutMessage> BehaviourRunner::RunDue(Panel& panel, Clock::time_point now, bool congested,
                                                std::vector<std::string>& notes) {
    std::vector<OutMessage> out;
    if (!m_running) return out;
    for (Slot& s : m_slots) {
        if (s.done || s.due > now) continue;
        if (!congested) Run(s, panel, now, out, notes);
        if (s.b.period <= 0) {
            s.done = true;
            continue;
        }
        s.due += ToDuration(s.b.period);
        if (s.due <= now) s.due = now + ToDuration(s.b.period); // fell behind: no catching up
    }
    return out;
}

void BehaviourRunner::Run(Slot& s, Panel& panel, Clock::time_point now,
                          std::vector<OutMessage>& out, std::vector<std::string>& notes) {
    const Behaviour& b = s.b;
    if (b.type == Behaviour::Type::Presence) {
        out.push_back({MSG_PRESENCE_QUERY, {}});
        return;
    }
    PanelControl* found = panel.Find(b.id);
    if (!found) return; // the loader checked the ids; a reloaded panel may have lost one
    PanelControl& c = *found;
    const size_t step = s.step++;

    switch (b.type) {
    case Behaviour::Type::Clock:
        if (c.kind != SimKind::DateTime) return;
        c.dateTime = DateTimeFromSeconds(LocalNowSeconds() + s.clockOffset);
        out.push_back({MSG_DEVICE_VALUES, ValuesOf(c)});
        break;
    case Behaviour::Type::Counter: {
        int64_t next = s.counter + b.step;
        const int64_t from = b.from.value_or(0);
        if (b.to && (b.step >= 0 ? next > *b.to : next < *b.to)) next = from;
        if (next > std::numeric_limits<int32_t>::max() ||
            next < std::numeric_limits<int32_t>::min())
            next = from;
        s.counter = next;
        if (c.kind == SimKind::Number) {
            c.number = int32_t(next);
        } else if (c.kind == SimKind::Text) {
            const std::string digits = std::to_string(next);
            c.text.assign(digits.begin(), digits.end());
        } else {
            return;
        }
        out.push_back({MSG_DEVICE_VALUES, ValuesOf(c)});
        break;
    }
    case Behaviour::Type::Stream: {
        if (c.kind != SimKind::Matrix || c.matrix.capacity <= 0) return;
        std::vector<int64_t> cells;
        if (!b.rows.empty()) {
            cells = b.rows[step % b.rows.size()];
        } else {
            const double t = Seconds(now - m_started).count();
            for (const Behaviour::Wave& w : b.waves)
                cells.push_back(std::llround(
                    w.base +
                    w.amplitude * std::sin(2 * std::numbers::pi * t / std::max(w.cycle, 0.001))));
        }
        const int32_t row = AppendRow(c, cells);
        out.push_back({MSG_MATRIX_ROWS, ItemListPayload({{c.id, MatrixRowItem(c, row)}})});
        break;
    }
    case Behaviour::Type::Attributes: {
        if (b.steps.empty()) return;
        const Behaviour::AttributeStep& a = b.steps[step % b.steps.size()];
        if (a.colour) c.colour = a.colour;
        if (a.hidden) c.flags = *a.hidden ? c.flags | CTRLF_HIDDEN : c.flags & ~CTRLF_HIDDEN;
        if (a.disabled)
            c.flags = *a.disabled ? c.flags | CTRLF_DISABLED : c.flags & ~CTRLF_DISABLED;
        out.push_back({MSG_ATTRIBUTES, AttributesOf(c, a.colour.has_value())});
        break;
    }
    case Behaviour::Type::MessageBox:
        if (c.kind != SimKind::MessageBox) return;
        if (!b.texts.empty()) c.text = b.texts[step % b.texts.size()];
        c.flags &= ~CTRLF_HIDDEN; // not shown yet: the client pops it up
        out.push_back({MSG_DEVICE_VALUES, ValuesOf(c)});
        out.push_back({MSG_ATTRIBUTES, AttributesOf(c, false)});
        notes.push_back("Message box " + ControlLabel(c) + " popped up");
        break;
    case Behaviour::Type::Presence:
        break;
    }
}
