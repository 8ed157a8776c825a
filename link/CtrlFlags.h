// The named bits of a control's 32-bit flags word, shared by the link, the control model and the
// simulator. Several kinds give the same bit their own meaning.
#pragma once

#include <cstdint>

enum : uint32_t {
    CTRLF_HIDDEN = 0x1,
    CTRLF_BOX_SHOWN = 0x1,       // Message box: the box has been started
    CTRLF_TEXT16 = 0x4,          // the device's texts are 16-bit characters
    CTRLF_NEW_ROW = 0x8,         // the automatic layout starts a new row with this control
    CTRLF_SHOW_PAGE = 0x10,      // turn to the control's page when the device changes it
    CTRLF_COLOUR_PRESENT = 0x40, // in an attribute change: a colour follows
    CTRLF_DISABLED = 0x80,

    CTRLF_EDITABLE = 0x10000, // Text, Number, Date/time; Image: a press is sent to the device
    // Latch: momentary; a click switches it off and its group leaves it alone.
    CTRLF_LATCH_MOMENTARY = 0x10000,
    CTRLF_PASSWORD_CHANGE = 0x10000, // Password: logged in, the button offers "Password..."
    CTRLF_TEXT_MASKED = 0x20000,     // Text

    CTRLF_CLAMP_MIN = 0x20000,     // Number
    CTRLF_CLAMP_MAX = 0x40000,     // Number
    CTRLF_NUMBER_STYLE = 0x300000, // Number: style field, bits 20-21

    CTRLF_TIME_SECOND = 0x20000, // Date/time: editable parts
    CTRLF_TIME_MINUTE = 0x40000,
    CTRLF_TIME_HOUR = 0x80000,
    CTRLF_TIME_ANY = 0xE0000,
    CTRLF_WEEKDAY = 0x100000, // only when no date part is editable
    CTRLF_DATE_DAY = 0x200000,
    CTRLF_DATE_MONTH = 0x400000,
    CTRLF_DATE_YEAR = 0x800000,
    CTRLF_DATE_ANY = 0xE00000,

    CTRLF_ROW_LABEL_KIND = 0x30000,   // Matrix: bits 16-17, see RowLabelKindOf
    CTRLF_ROW_LABEL_WIDTH = 0xC0000,  // Matrix: bits 18-19
    CTRLF_CELL_WIDTH = 0x300000,      // Matrix: bits 20-21
    CTRLF_ROW_LABEL_STYLE = 0xC00000, // Matrix: bits 22-23
    CTRLF_CELL_STYLE = 0x3000000,     // Matrix: bits 24-25

    CTRLF_BOX_ICON = 0x70000,     // Message box: bits 16-18
    CTRLF_BOX_BUTTONS = 0x700000, // Message box: bits 20-22

    CTRLF_DATA_TYPE = 0xFFF00000, // Blob, File: bits 20-31, see DataTypeOf
};

// Blob and File data type; 1 is a web address or page.
inline uint32_t DataTypeOf(uint32_t flags) {
    return flags >> 20;
}
inline constexpr uint32_t DATA_TYPE_WEB = 1;

// Number style code 1..4 (NumberStyle of ValueFormat.h) from a Number's flags.
inline int NumberStyleOf(uint32_t flags) {
    return static_cast<int>((flags >> 20) & 3) + 1;
}
