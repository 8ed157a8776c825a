#include "JsonFields.h"

#include <cmath>
#include <cstdio>

#include "TextCodec.h"

namespace {
std::string Short(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%g", v);
    return buf;
}
} // namespace

std::optional<int64_t> JsonInteger(const nlohmann::json& v, int64_t lo, int64_t hi) {
    int64_t n = 0;
    if (v.is_number_unsigned()) {
        const uint64_t u = v.get<uint64_t>();
        if (u > uint64_t(INT64_MAX)) return std::nullopt;
        n = int64_t(u);
    } else if (v.is_number_integer()) {
        n = v.get<int64_t>();
    } else if (v.is_number_float()) {
        const double d = v.get<double>();
        if (!std::isfinite(d) || d != std::floor(d) || std::fabs(d) > 9e15) return std::nullopt;
        n = int64_t(d);
    } else {
        return std::nullopt;
    }
    if (n < lo || n > hi) return std::nullopt;
    return n;
}

JsonFields::JsonFields(const json& object, std::string where)
    : m_object(object), m_where(std::move(where)) {
    if (!object.is_object()) Fail("must be a JSON object");
}

const nlohmann::json* JsonFields::Get(const char* key) {
    m_used.insert(key);
    auto it = m_object.find(key);
    return it == m_object.end() ? nullptr : &*it;
}

void JsonFields::Fail(const char* key, const std::string& message) const {
    throw PanelFileError(m_where + ": field '" + key + "': " + message);
}

void JsonFields::Fail(const std::string& message) const {
    throw PanelFileError(m_where + ": " + message);
}

void JsonFields::RejectUnknown() const {
    for (auto it = m_object.begin(); it != m_object.end(); ++it)
        if (!m_used.count(it.key())) Fail(it.key().c_str(), "unknown field");
}

std::optional<std::string> JsonFields::String(const char* key) {
    const json* v = Get(key);
    if (!v) return std::nullopt;
    if (!v->is_string()) Fail(key, "must be a string");
    return v->get<std::string>();
}

std::string JsonFields::String(const char* key, const std::string& def) {
    return String(key).value_or(def);
}

std::string JsonFields::RequiredString(const char* key) {
    auto s = String(key);
    if (!s) Fail(key, "is missing");
    return *s;
}

std::optional<std::u16string> JsonFields::Text(const char* key) {
    const json* v = Get(key);
    if (!v) return std::nullopt;
    return TextOf(key, *v);
}

std::u16string JsonFields::TextOf(const char* key, const json& value) const {
    if (!value.is_string()) Fail(key, "must be a text (a JSON string)");
    auto t = Utf8ToUtf16(value.get<std::string>());
    if (!t) Fail(key, "is not valid UTF-8");
    if (t->find(u'\0') != std::u16string::npos) Fail(key, "must not contain a zero character");
    return *t;
}

std::optional<int64_t> JsonFields::Integer(const char* key, int64_t lo, int64_t hi) {
    const json* v = Get(key);
    if (!v) return std::nullopt;
    auto n = JsonInteger(*v, lo, hi);
    if (!n)
        Fail(key,
             "must be a whole number from " + std::to_string(lo) + " to " + std::to_string(hi));
    return n;
}

int64_t JsonFields::Integer(const char* key, int64_t lo, int64_t hi, int64_t def) {
    return Integer(key, lo, hi).value_or(def);
}

int64_t JsonFields::RequiredInteger(const char* key, int64_t lo, int64_t hi) {
    if (!Has(key)) Fail(key, "is missing");
    return *Integer(key, lo, hi);
}

std::optional<double> JsonFields::Real(const char* key, double lo, double hi) {
    const json* v = Get(key);
    if (!v) return std::nullopt;
    if (!v->is_number() || v->get<double>() < lo || v->get<double>() > hi)
        Fail(key, "must be a number from " + Short(lo) + " to " + Short(hi));
    return v->get<double>();
}

std::optional<int64_t> JsonFields::StateByte(const char* key, uint8_t onValue) {
    const json* v = Get(key);
    if (!v) return std::nullopt;
    if (v->is_boolean()) return v->get<bool>() ? onValue : 0;
    auto n = JsonInteger(*v, 0, 255);
    if (!n) Fail(key, "must be true, false or a byte value 0 to 255");
    return n;
}

std::optional<bool> JsonFields::Boolean(const char* key) {
    const json* v = Get(key);
    if (!v) return std::nullopt;
    if (!v->is_boolean()) Fail(key, "must be true or false");
    return v->get<bool>();
}

bool JsonFields::Boolean(const char* key, bool def) {
    return Boolean(key).value_or(def);
}
