// The simulated device's panel: what a panel file declares and what the device holds while it
// runs (each control's definition and current value, layout records, timed behaviour).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "CtrlFlags.h"

enum class SimKind : uint16_t {
    Text = 1,
    Button = 2,
    Latch = 3,
    Section = 4,
    DateTime = 5,
    Number = 6,
    Matrix = 7,
    Password = 8,
    List = 9,
    MessageBox = 10,
    Blob = 11,
    File = 12,
    Unsupported = 13,
    Image = 14,
};

// Panel-file name of a kind ("text", "matrix", ...) and back.
const char* KindName(SimKind kind);
std::optional<SimKind> KindFromName(std::string_view name);
// The definition letter of a kind (Unsupported has none of its own).
char KindLetter(SimKind kind);

// Matrix layout from the flags word.
int MatrixLabelKind(uint32_t flags);  // 0 none, 1 number, 2 text, 3 date/time
int MatrixCellBytes(uint32_t flags);  // 4, 2, 1, or 0 (no cells)
int MatrixLabelBytes(uint32_t flags); // per row in a streamed row: numeric width, 8, or 0
// A text blob carries 8-bit text; every other blob raw bytes.
bool IsTextBlob(uint32_t flags);

// second, minute, hour, day, weekday (0 = Sunday), month, u16 year.
using DateTimeBytes = std::array<uint8_t, 8>;

struct MatrixState {
    int32_t capacity = 0; // rows
    int32_t columns = 0;
    std::u16string labelFormat = u" ";
    std::u16string cellFormat = u" ";
    std::u16string labelHeading;
    std::vector<std::u16string> columnNames;
    uint8_t labelDecimals = 0;
    int8_t labelExponent = 0;
    uint8_t cellDecimals = 0;
    int8_t cellExponent = 0;
    // Column-major cells (row r, column c at r + c x capacity), capacity x columns x width bytes.
    std::vector<uint8_t> cells;
    // Numeric or date/time labels: capacity x width bytes. Text labels: kept as texts.
    std::vector<uint8_t> labels;
    std::vector<std::u16string> textLabels;
    // Rows filled, or -k once the ring is full and its oldest row is at k.
    int32_t rows = 0;
    int32_t filled = 0;  // rows written so far, at most capacity
    int32_t nextRow = 0; // where the next streamed row goes
    int64_t samples = 0; // rows ever written: the numeric label of the next streamed row
};

struct PanelControl {
    SimKind kind = SimKind::Text;
    char letter = 'T';
    uint32_t id = 0;
    uint32_t flags = 0;
    std::optional<uint32_t> colour; // 0x00BBGGRR; absent: the client's default
    std::u16string name;

    // Current value by kind.
    std::u16string text;       // Text, Message box
    uint8_t state = 0;         // Button, Latch, Section; Password: logged in
    DateTimeBytes dateTime{};  // Date/time
    int32_t number = 0;        // Number: raw value; List: selected index
    std::vector<uint8_t> data; // Blob: held bytes; Image: the GIF; File: the content
    MatrixState matrix;

    // Definition attributes by kind.
    uint32_t maxSize = 0; // Text: bytes on the wire; Message box: characters; Blob: capacity
    std::optional<std::u16string> format; // Number template, Date/time pattern
    int32_t min = 0;
    int32_t max = 0;
    uint8_t decimals = 0;
    int8_t exponent = 0;
    uint32_t group = 0;                // Latch radio group
    std::vector<std::u16string> items; // List
    std::u16string password;           // Password
    std::u16string fileName;           // File
};

struct LayoutRecord {
    uint32_t id = 0; // 0: panel-wide
    uint32_t property = 0;
    uint32_t value = 0;
};

// Something the device does on its own while a client is connected.
struct Behaviour {
    enum class Type { Clock, Counter, Stream, Attributes, MessageBox, Presence };
    Type type = Type::Clock;
    uint32_t id = 0;     // the control it drives (Presence: none)
    double period = 1.0; // seconds between runs; 0: run once (Message box)
    double first = -1.0; // seconds after connecting of the first run; negative: one period

    // Counter.
    int64_t step = 1;
    std::optional<int64_t> from, to; // wraps from `to` back to `from`

    // Stream: cycled rows of cell values, or one wave per column.
    std::vector<std::vector<int64_t>> rows;
    struct Wave {
        double base = 0;
        double amplitude = 0;
        double cycle = 60; // seconds
    };
    std::vector<Wave> waves;

    // Attributes: cycled steps.
    struct AttributeStep {
        std::optional<uint32_t> colour;
        std::optional<bool> hidden;
        std::optional<bool> disabled;
    };
    std::vector<AttributeStep> steps;

    // Message box: cycled texts (none: the control's own text).
    std::vector<std::u16string> texts;
};

struct Panel {
    std::u16string title = u"Talvex";
    std::u16string about;
    bool noPings = false;
    bool keepPanel = false;
    bool utf16Title = false;
    bool ackRequests = false; // ask the client to acknowledge what the device sends
    std::vector<PanelControl> controls;
    std::vector<LayoutRecord> layout;
    std::vector<Behaviour> behaviours;
    std::string sourcePath; // the panel file, when loaded from one

    PanelControl* Find(uint32_t id);
    const PanelControl* Find(uint32_t id) const;
};
