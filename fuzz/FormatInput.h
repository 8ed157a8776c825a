// The input of fuzz_format as fields: the numbers, style, template, date/time record and matrix
// a device could send, laid out as a fixed little-endian header followed by length-prefixed
// texts (16-bit characters) and buffers. Decode reads any bytes (what is missing reads as 0);
// Encode writes inputs that Decode reads back unchanged. No Qt, so the corpus tools can use it.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

struct FormatInput {
    uint8_t style = 0;    // number style, 1..4 and anything else
    int16_t decimals = 0; // as given to FormatNumber: may be out of range
    int8_t exponent = 0;  // raw x 10^exponent
    int8_t width = 0;     // zero-padded width, negative: none
    int32_t raw = 0;      // a Number's raw value
    double value = 0;     // any double, straight to FormatNumber
    uint8_t dateTime[8] = {};
    uint32_t flags = 0; // the control's flags word (matrix layout, number style, ...)
    int32_t maxRows = 0;
    int32_t rows = 0;
    int32_t cols = 0;
    uint8_t rowLabelDecimals = 0;
    int8_t rowLabelExponent = 0;
    uint8_t cellDecimals = 0;
    int8_t cellExponent = 0;
    uint8_t locale = 0;     // index into the fuzz target's locale list
    uint32_t cellBytes = 0; // the matrix definition's buffer sizes
    uint32_t rowLabelBytes = 0;
    std::u16string numberTemplate;
    std::u16string dateTimePattern;
    std::u16string rowLabelFormat;
    std::u16string cellFormat;
    std::u16string rowLabelHeading;
    std::u16string columnNames; // zero-separated
    std::vector<uint8_t> cells;
    std::vector<uint8_t> rowLabels;
};

namespace format_input {

class Reader {
public:
    Reader(const uint8_t* p, size_t n) : m_p(p), m_n(n) {}
    uint64_t Le(size_t bytes) {
        uint64_t v = 0;
        for (size_t i = 0; i < bytes; ++i) v |= uint64_t(Byte()) << (8 * i);
        return v;
    }
    uint8_t Byte() { return m_pos < m_n ? m_p[m_pos++] : 0; }
    std::vector<uint8_t> Block() {
        const size_t size = std::min<size_t>(size_t(Le(2)), m_n - std::min(m_pos, m_n));
        std::vector<uint8_t> out(m_p + m_pos, m_p + m_pos + size);
        m_pos += size;
        return out;
    }
    std::u16string Text() {
        const std::vector<uint8_t> b = Block();
        std::u16string s(b.size() / 2, u'\0');
        for (size_t i = 0; i < s.size(); ++i) s[i] = char16_t(b[2 * i] | (b[2 * i + 1] << 8));
        return s;
    }

private:
    const uint8_t* m_p;
    size_t m_n;
    size_t m_pos = 0;
};

class Writer {
public:
    void Le(uint64_t v, size_t bytes) {
        for (size_t i = 0; i < bytes; ++i) out.push_back(uint8_t(v >> (8 * i)));
    }
    void Block(const std::vector<uint8_t>& b) {
        const size_t size = std::min<size_t>(b.size(), 0xFFFF);
        Le(size, 2);
        out.insert(out.end(), b.begin(), b.begin() + long(size));
    }
    void Text(const std::u16string& s) {
        std::vector<uint8_t> b;
        for (char16_t c : s) {
            b.push_back(uint8_t(c));
            b.push_back(uint8_t(c >> 8));
        }
        Block(b);
    }
    std::vector<uint8_t> out;
};

} // namespace format_input

inline FormatInput DecodeFormatInput(const uint8_t* data, size_t size) {
    format_input::Reader r(data, size);
    FormatInput in;
    in.style = r.Byte();
    in.decimals = int16_t(r.Le(2));
    in.exponent = int8_t(r.Byte());
    in.width = int8_t(r.Byte());
    in.raw = int32_t(uint32_t(r.Le(4)));
    const uint64_t bits = r.Le(8);
    std::memcpy(&in.value, &bits, sizeof bits);
    for (uint8_t& b : in.dateTime) b = r.Byte();
    in.flags = uint32_t(r.Le(4));
    in.maxRows = int32_t(uint32_t(r.Le(4)));
    in.rows = int32_t(uint32_t(r.Le(4)));
    in.cols = int32_t(uint32_t(r.Le(4)));
    in.rowLabelDecimals = r.Byte();
    in.rowLabelExponent = int8_t(r.Byte());
    in.cellDecimals = r.Byte();
    in.cellExponent = int8_t(r.Byte());
    in.locale = r.Byte();
    in.cellBytes = uint32_t(r.Le(4));
    in.rowLabelBytes = uint32_t(r.Le(4));
    in.numberTemplate = r.Text();
    in.dateTimePattern = r.Text();
    in.rowLabelFormat = r.Text();
    in.cellFormat = r.Text();
    in.rowLabelHeading = r.Text();
    in.columnNames = r.Text();
    in.cells = r.Block();
    in.rowLabels = r.Block();
    return in;
}

inline std::vector<uint8_t> EncodeFormatInput(const FormatInput& in) {
    format_input::Writer w;
    w.Le(in.style, 1);
    w.Le(uint16_t(in.decimals), 2);
    w.Le(uint8_t(in.exponent), 1);
    w.Le(uint8_t(in.width), 1);
    w.Le(uint32_t(in.raw), 4);
    uint64_t bits = 0;
    std::memcpy(&bits, &in.value, sizeof bits);
    w.Le(bits, 8);
    for (uint8_t b : in.dateTime) w.Le(b, 1);
    w.Le(in.flags, 4);
    w.Le(uint32_t(in.maxRows), 4);
    w.Le(uint32_t(in.rows), 4);
    w.Le(uint32_t(in.cols), 4);
    w.Le(in.rowLabelDecimals, 1);
    w.Le(uint8_t(in.rowLabelExponent), 1);
    w.Le(in.cellDecimals, 1);
    w.Le(uint8_t(in.cellExponent), 1);
    w.Le(in.locale, 1);
    w.Le(in.cellBytes, 4);
    w.Le(in.rowLabelBytes, 4);
    w.Text(in.numberTemplate);
    w.Text(in.dateTimePattern);
    w.Text(in.rowLabelFormat);
    w.Text(in.cellFormat);
    w.Text(in.rowLabelHeading);
    w.Text(in.columnNames);
    w.Block(in.cells);
    w.Block(in.rowLabels);
    return std::move(w.out);
}
