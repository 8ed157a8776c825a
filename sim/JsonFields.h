// Typed, checked access to the fields of one JSON object of a panel file. Every failure throws a
// PanelFileError whose text names where the object sits ("controls[3] (id 12)") and the field;
// fields nobody asked for are reported as unknown, which catches misspelt names.
#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>

class PanelFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class JsonFields {
public:
    using json = nlohmann::json;

    // Fails unless `object` is a JSON object.
    JsonFields(const json& object, std::string where);

    const std::string& Where() const { return m_where; }
    bool Has(const char* key) const { return m_object.contains(key); }
    // The raw field, marked as used; null when absent.
    const json* Get(const char* key);

    std::optional<std::string> String(const char* key);
    std::string String(const char* key, const std::string& def);
    std::string RequiredString(const char* key);
    // UTF-8 text as 16-bit characters.
    std::optional<std::u16string> Text(const char* key);
    // A text element inside the field `key` (a list entry, a row label).
    std::u16string TextOf(const char* key, const nlohmann::json& value) const;
    std::optional<int64_t> Integer(const char* key, int64_t lo, int64_t hi);
    int64_t Integer(const char* key, int64_t lo, int64_t hi, int64_t def);
    int64_t RequiredInteger(const char* key, int64_t lo, int64_t hi);
    std::optional<double> Real(const char* key, double lo, double hi);
    // true/false, or 0..255 as a state byte; `onValue` is what true stands for.
    std::optional<int64_t> StateByte(const char* key, uint8_t onValue);
    std::optional<bool> Boolean(const char* key);
    bool Boolean(const char* key, bool def);

    // Throws for the field: "<where>: field '<key>': <message>".
    [[noreturn]] void Fail(const char* key, const std::string& message) const;
    [[noreturn]] void Fail(const std::string& message) const;
    // Throws when the object has a field none of the accessors took.
    void RejectUnknown() const;

private:
    const json& m_object;
    std::string m_where;
    std::set<std::string> m_used;
};

// Whole number in [lo, hi] from a JSON value, or nullopt when it is not one.
std::optional<int64_t> JsonInteger(const nlohmann::json& value, int64_t lo, int64_t hi);
