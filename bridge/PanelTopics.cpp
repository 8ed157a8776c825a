#include "PanelTopics.h"

#include <QDateTime>
#include <QStringDecoder>
#include <cmath>
#include <nlohmann/json.hpp>
#include <set>

#include "MessageBoxAnswer.h"
#include "ValueFormat.h"

using nlohmann::json;

namespace {

// Device texts are untrusted: whatever they hold, the JSON written is valid UTF-8.
std::string Dump(const json& j) {
    return j.dump(-1, ' ', false, json::error_handler_t::replace);
}

constexpr qsizetype kMaxCommandBytes = 65536;

std::string Utf8(const QString& text) {
    return text.toStdString();
}

bool IsDateTimeEditable(const CCtrl& c) {
    return c.IsEditable() && (c.m_dwFlags & (CTRLF_TIME_ANY | CTRLF_DATE_ANY | CTRLF_WEEKDAY));
}

// raw x 10^exponent written exactly where a decimal point does it.
std::string ScaledText(int32_t raw, int exponent) {
    if (exponent == 0) return std::to_string(raw);
    if (exponent < 0 && exponent >= -9) {
        const bool negative = raw < 0;
        std::string digits = std::to_string(std::llabs(int64_t(raw)));
        const size_t places = size_t(-exponent);
        if (digits.size() <= places) digits.insert(0, places - digits.size() + 1, '0');
        digits.insert(digits.size() - places, ".");
        while (digits.back() == '0') digits.pop_back();
        if (digits.back() == '.') digits.pop_back();
        return (negative ? "-" : "") + digits;
    }
    return Dump(json(ScaleRaw(raw, exponent)));
}

json ScaledNumber(int32_t raw, int exponent) {
    return json::parse(ScaledText(raw, exponent));
}

// The unit a Number's template puts beside the number ("%% °C": "°C").
std::string NumberUnit(const CCtrl& c) {
    QString unit = c.m_strFormat;
    unit.replace(QStringLiteral("%%"), QString());
    return Utf8(unit.trimmed());
}

const char* ButtonName(BoxButton b) {
    switch (b) {
    case BoxButton::Ok:
        return "OK";
    case BoxButton::Cancel:
        return "Cancel";
    case BoxButton::Abort:
        return "Abort";
    case BoxButton::Retry:
        return "Retry";
    case BoxButton::Ignore:
        return "Ignore";
    case BoxButton::Yes:
        return "Yes";
    case BoxButton::No:
        return "No";
    }
    return "";
}

std::optional<bool> OnOff(const QString& text) {
    const QString t = text.trimmed();
    if (t.compare(QStringLiteral("ON"), Qt::CaseInsensitive) == 0) return true;
    if (t.compare(QStringLiteral("OFF"), Qt::CaseInsensitive) == 0) return false;
    return std::nullopt;
}

std::string DateTimeText(const CCtrl& c) {
    const DateTimeRecord v = c.DateTimeValue();
    const QDate date(v.year, v.month, v.day);
    const QTime time(v.hour, v.minute, v.second);
    if (!date.isValid()) return Utf8(time.toString(Qt::ISODate));
    const QDateTime local(date, time.isValid() ? time : QTime(0, 0));
    return Utf8(local.toOffsetFromUtc(local.offsetFromUtc()).toString(Qt::ISODate));
}

std::string MatrixRowText(const CCtrl& c) {
    const int rows = c.RowsInUse();
    if (rows <= 0) return "{}";
    const int last = rows - 1;
    json row = json::object();
    if (c.HasRowLabels()) {
        const QString label = c.RowLabelText(last).trimmed();
        row["label"] = label.isEmpty() ? json(c.RowLabelValue(last)) : json(Utf8(label));
    }
    const QStringList names = c.ColumnNames();
    for (int col = 0; col < c.m_nCols && col < names.size(); ++col) {
        std::string name = Utf8(names[col]);
        if (name.empty() || row.contains(name)) name = "column" + std::to_string(col + 1);
        const double value = c.CellValue(last, col);
        row[name] = std::isfinite(value) ? json(value) : json(Utf8(c.CellText(last, col)));
    }
    return Dump(row);
}

json EditableParts(const CCtrl& c) {
    json parts = json::array();
    if (!c.IsEditable()) return parts;
    const std::pair<uint32_t, const char*> named[] = {
        {CTRLF_DATE_YEAR, "year"}, {CTRLF_DATE_MONTH, "month"},   {CTRLF_DATE_ANY, "day"},
        {CTRLF_TIME_HOUR, "hour"}, {CTRLF_TIME_MINUTE, "minute"}, {CTRLF_TIME_SECOND, "second"},
        {CTRLF_WEEKDAY, "weekday"}};
    for (const auto& [flag, name] : named) {
        if (flag == CTRLF_WEEKDAY && (c.m_dwFlags & CTRLF_DATE_ANY)) continue;
        if (c.m_dwFlags & flag) parts.push_back(name);
    }
    return parts;
}

} // namespace

std::string TopicSlug(const QString& text) {
    const QString plain = text.normalized(QString::NormalizationForm_KD).toLower();
    std::string slug;
    for (QChar ch : plain) {
        const char16_t u = ch.unicode();
        if ((u >= 'a' && u <= 'z') || (u >= '0' && u <= '9')) {
            slug += char(u);
        } else if (ch.category() == QChar::Mark_NonSpacing) {
            continue; // the accent of a letter before it
        } else if (!slug.empty() && slug.back() != '_') {
            slug += '_';
        }
        if (slug.size() >= 64) break;
    }
    while (!slug.empty() && slug.back() == '_') slug.pop_back();
    return slug;
}

std::map<uint32_t, std::string> ControlSlugs(const CtrlArray& ctrls) {
    std::map<uint32_t, std::string> slugs;
    std::set<std::string> taken = {"status", "panel", "error"};
    for (const auto& c : ctrls) {
        if (!c || slugs.count(c->m_nId)) continue;
        std::string slug = TopicSlug(c->m_strName);
        if (slug.empty()) slug = "control_" + std::to_string(c->m_nId);
        if (taken.count(slug)) slug += "_" + std::to_string(c->m_nId);
        while (taken.count(slug)) slug += "_";
        taken.insert(slug);
        slugs[c->m_nId] = slug;
    }
    return slugs;
}

const char* CtrlKindName(int type) {
    static const char* const names[] = {"unsupported", "button", "text",   "latch",    "section",
                                        "datetime",    "number", "matrix", "password", "list",
                                        "messagebox",  "blob",   "file",   "image"};
    return type >= 0 && type <= TYPE_LAST ? names[type] : "unsupported";
}

std::string PanelDescription(const CtrlArray& ctrls, const std::map<uint32_t, std::string>& slugs,
                             const QString& title, const QString& about) {
    json controls = json::array();
    for (const auto& p : ctrls) {
        if (!p) continue;
        const CCtrl& c = *p;
        const auto slug = slugs.find(c.m_nId);
        if (slug == slugs.end()) continue;
        json j = {{"id", c.m_nId},
                  {"kind", CtrlKindName(c.m_nType)},
                  {"name", Utf8(c.m_strName)},
                  {"slug", slug->second},
                  {"flags", c.m_dwFlags},
                  {"editable", c.IsEditable()}};
        switch (c.m_nType) {
        case TYPE_NUMBER:
            if (c.m_nMin < c.m_nMax) {
                j["min"] = ScaledNumber(c.m_nMin, c.m_nExponent);
                j["max"] = ScaledNumber(c.m_nMax, c.m_nExponent);
            }
            j["exponent"] = c.m_nExponent;
            j["step"] = ScaledNumber(1, c.m_nExponent);
            j["unit"] = NumberUnit(c);
            break;
        case TYPE_LIST: {
            json items = json::array();
            for (const QString& item : c.m_strItems) items.push_back(Utf8(item));
            j["items"] = items;
            break;
        }
        case TYPE_TEXT:
            j["maxLength"] = c.TextLimit();
            break;
        case TYPE_DATETIME:
            j["editableParts"] = EditableParts(c);
            j["editable"] = IsDateTimeEditable(c);
            break;
        case TYPE_LATCH:
            j["group"] = c.m_nGroup;
            j["momentary"] = (c.m_dwFlags & CTRLF_LATCH_MOMENTARY) != 0;
            break;
        case TYPE_MESSAGEBOX: {
            json buttons = json::array();
            for (BoxButton b : MessageBoxButtons(c.m_dwFlags)) buttons.push_back(ButtonName(b));
            j["buttons"] = buttons;
            break;
        }
        default:
            break;
        }
        controls.push_back(std::move(j));
    }
    return Dump(json{{"title", Utf8(title)}, {"about", Utf8(about)}, {"controls", controls}});
}

std::optional<std::string> StateText(const CCtrl& c) {
    switch (c.m_nType) {
    case TYPE_NUMBER:
        return ScaledText(c.m_nValue, c.m_nExponent);
    case TYPE_BUTTON:
    case TYPE_LATCH:
    case TYPE_SECTION:
    case TYPE_PASSWORD:
        return std::string(c.m_bValue ? "ON" : "OFF");
    case TYPE_LIST:
        return c.m_nSelection >= 0 && c.m_nSelection < c.m_strItems.size()
                   ? Utf8(c.m_strItems[c.m_nSelection])
                   : std::string();
    case TYPE_TEXT:
        return Utf8(c.m_strText);
    case TYPE_FILE: // the name of the file once it has come
        if (c.m_strText.isEmpty()) return std::nullopt;
        return Utf8(c.m_strText);
    case TYPE_DATETIME:
        return DateTimeText(c);
    case TYPE_MATRIX:
        return MatrixRowText(c);
    default:
        return std::nullopt;
    }
}

std::string AttributesText(const CCtrl& c) {
    const uint32_t rgb = c.m_crColour;
    char colour[8];
    std::snprintf(colour, sizeof colour, "#%02X%02X%02X", rgb & 0xFF, (rgb >> 8) & 0xFF,
                  (rgb >> 16) & 0xFF);
    const bool box = c.m_nType == TYPE_MESSAGEBOX; // its bit 0x1 says the box was shown
    return Dump(json{{"colour", colour},
                     {"hidden", !box && (c.m_dwFlags & CTRLF_HIDDEN) != 0},
                     {"disabled", (c.m_dwFlags & CTRLF_DISABLED) != 0}});
}

std::string QuestionText(const CCtrl& c) {
    json buttons = json::array();
    for (BoxButton b : MessageBoxButtons(c.m_dwFlags)) buttons.push_back(ButtonName(b));
    return Dump(json{{"text", Utf8(c.m_strText)}, {"buttons", buttons}});
}

std::vector<RetainedConfig> DiscoveryConfigs(const CtrlArray& ctrls,
                                             const std::map<uint32_t, std::string>& slugs,
                                             const std::string& prefix, const std::string& node,
                                             const QString& title) {
    std::vector<RetainedConfig> configs;
    const json device = {{"identifiers", json::array({node})},
                         {"name", Utf8(title)},
                         {"manufacturer", "Talvex"},
                         {"model", "Talvex panel"}};
    for (const auto& p : ctrls) {
        if (!p) continue;
        const CCtrl& c = *p;
        const auto slug = slugs.find(c.m_nId);
        if (slug == slugs.end()) continue;
        const std::string base = prefix + "/" + slug->second;
        json j = {{"name", Utf8(c.m_strName)},
                  {"unique_id", node + "_" + slug->second},
                  {"object_id", node + "_" + slug->second},
                  {"availability_topic", prefix + "/status"},
                  {"device", device}};
        std::string component;
        switch (c.m_nType) {
        case TYPE_LATCH:
            component = "switch";
            j["state_topic"] = base + "/state";
            j["command_topic"] = base + "/set";
            break;
        case TYPE_BUTTON:
            component = "button";
            j["command_topic"] = base + "/set";
            j["payload_press"] = "PRESS";
            break;
        case TYPE_NUMBER:
            j["state_topic"] = base + "/state";
            if (!NumberUnit(c).empty()) j["unit_of_measurement"] = NumberUnit(c);
            if (c.IsEditable()) {
                component = "number";
                j["command_topic"] = base + "/set";
                j["mode"] = "box";
                j["step"] = ScaledNumber(1, c.m_nExponent);
                const bool ranged = c.m_nMin < c.m_nMax;
                j["min"] = ScaledNumber(ranged ? c.m_nMin : INT32_MIN, c.m_nExponent);
                j["max"] = ScaledNumber(ranged ? c.m_nMax : INT32_MAX, c.m_nExponent);
            } else {
                component = "sensor";
            }
            break;
        case TYPE_LIST: {
            component = "select";
            j["state_topic"] = base + "/state";
            j["command_topic"] = base + "/set";
            json options = json::array();
            for (const QString& item : c.m_strItems) options.push_back(Utf8(item));
            j["options"] = options;
            break;
        }
        case TYPE_TEXT:
            if (!c.IsEditable()) break;
            component = "text";
            j["state_topic"] = base + "/state";
            j["command_topic"] = base + "/set";
            j["max"] = std::min(c.TextLimit(), 255);
            break;
        case TYPE_DATETIME:
            component = "sensor";
            j["state_topic"] = base + "/state";
            j["device_class"] = "timestamp";
            break;
        default:
            break;
        }
        if (component.empty()) continue;
        configs.push_back(
            {"homeassistant/" + component + "/" + node + "/" + slug->second + "/config", Dump(j)});
    }
    return configs;
}

std::string ApplyCommand(CCtrl& c, const QByteArray& payload, bool questionOpen) {
    if (payload.size() > kMaxCommandBytes) return "malformed: the command is too long";
    QStringDecoder decode(QStringDecoder::Utf8);
    const QString text = decode(payload);
    if (decode.hasError()) return "malformed: the command is not UTF-8 text";
    const bool box = c.m_nType == TYPE_MESSAGEBOX;
    if (!box && (c.m_dwFlags & CTRLF_HIDDEN)) return "not editable: the control is hidden";
    if (c.m_dwFlags & CTRLF_DISABLED) return "not editable: the control is disabled";

    switch (c.m_nType) {
    case TYPE_BUTTON:
        if (text.trimmed().compare(QStringLiteral("PRESS"), Qt::CaseInsensitive) != 0)
            return "malformed: a button takes PRESS";
        c.PressButton();
        return {};
    case TYPE_LATCH: {
        const std::optional<bool> on = OnOff(text);
        if (!on) return "malformed: a latch takes ON or OFF";
        if (c.m_dwFlags & CTRLF_LATCH_MOMENTARY) {
            *on ? c.PressMomentary() : c.ReleaseMomentary();
        } else if (*on != bool(c.m_bValue)) {
            if (c.m_nGroup && !*on)
                return "not editable: a latch of a group goes off when another goes on";
            c.ClickLatch();
        }
        return {};
    }
    case TYPE_SECTION: {
        const std::optional<bool> on = OnOff(text);
        if (!on) return "malformed: a section takes ON or OFF";
        if (*on != bool(c.m_bValue)) c.ToggleSection();
        return {};
    }
    case TYPE_NUMBER: {
        if (!c.IsEditable()) return "not editable";
        const std::optional<int32_t> raw = c.NumberFromText(text);
        if (!raw) return "malformed: not a number";
        if (c.Clamped(*raw) != *raw) return "out of range";
        c.EnterNumber(text);
        return {};
    }
    case TYPE_LIST: {
        const qsizetype index = c.m_strItems.indexOf(text);
        if (index < 0) return "malformed: no such item";
        c.SelectListItem(int(index));
        return {};
    }
    case TYPE_TEXT:
        if (!c.IsEditable()) return "not editable";
        if (text.size() > c.TextLimit()) return "out of range: the text is too long";
        c.SendText(text);
        return {};
    case TYPE_DATETIME: {
        if (!IsDateTimeEditable(c)) return "not editable";
        const QString t = text.trimmed();
        if ((c.m_dwFlags & CTRLF_WEEKDAY) && !(c.m_dwFlags & (CTRLF_DATE_ANY | CTRLF_TIME_ANY))) {
            const int day = int(CCtrl::WeekdayNames().indexOf(t));
            bool number = false;
            const int index = day >= 0 ? day : t.toInt(&number);
            if ((day < 0 && !number) || index < 0 || index > 6)
                return "malformed: a weekday takes 0 (Sunday) to 6 or its name";
            c.SelectWeekday(index);
            return {};
        }
        QDateTime when = QDateTime::fromString(t, Qt::ISODate);
        QDate date = when.isValid() ? when.date() : QDate::fromString(t, Qt::ISODate);
        QTime time = when.isValid() ? when.time() : QTime::fromString(t, Qt::ISODate);
        if (!date.isValid() && !time.isValid()) return "malformed: not an ISO 8601 date or time";
        c.ChangeDateTime(date, time);
        return {};
    }
    case TYPE_PASSWORD: {
        const int status = text == QStringLiteral("LOGOUT") ? c.LogOut() : c.LogIn(text);
        return status == 0 ? std::string() : "the device could not be told";
    }
    case TYPE_MESSAGEBOX: {
        if (!questionOpen) return "not editable: no question is open";
        for (BoxButton b : MessageBoxButtons(c.m_dwFlags)) {
            if (text.trimmed().compare(QLatin1String(ButtonName(b)), Qt::CaseInsensitive) != 0)
                continue;
            const int answer = MessageBoxAnswer(c.m_dwFlags, b);
            if (answer != 0 && c.SendAnswer(uint8_t(answer)) != 0)
                return "the device could not be told";
            return {};
        }
        return "malformed: not one of the question's buttons";
    }
    case TYPE_FILE:
        if (text.trimmed().compare(QStringLiteral("REQUEST"), Qt::CaseInsensitive) != 0)
            return "malformed: a file takes REQUEST";
        c.RequestFile();
        return {};
    default:
        return "not editable";
    }
}
