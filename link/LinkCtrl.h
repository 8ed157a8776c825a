// The link's entry for one remote control: its definition, its current value and the marks that
// tell the view what changed. One flat record serves every kind; a kind uses only its own fields.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "CtrlFlags.h"

// Device kinds, from the definition letter.
enum : uint16_t {
    KIND_NONE = 0, // an entry a broken download never filled
    KIND_TEXT = 1,
    KIND_BUTTON = 2,
    KIND_LATCH = 3,
    KIND_SECTION = 4,
    KIND_DATETIME = 5,
    KIND_NUMBER = 6,
    KIND_MATRIX = 7,
    KIND_PASSWORD = 8,
    KIND_LIST = 9,
    KIND_MESSAGEBOX = 10,
    KIND_BLOB = 11,
    KIND_FILE = 12,
    KIND_UNSUPPORTED = 13,
    KIND_IMAGE = 14,
};

uint16_t KindFromLetter(uint16_t letter);

struct CLinkCtrl {
    uint32_t m_nId = 0;
    uint32_t m_dwFlags = 0;
    uint8_t m_bDeviceChanged = 0;
    uint8_t m_bSendPending = 0;
    uint8_t m_bAttrChanged = 0;
    uint32_t m_crColour = 0;
    uint16_t m_nKind = KIND_NONE;
    std::u16string m_pszName;

    // Text: size on the wire in bytes. Message box: maximum characters.
    uint32_t m_nMaxSize = 0;
    // Text and Message box: fixed-size buffer; the text ends at its first zero or at the end.
    std::u16string m_text;
    // Button, Latch, Section: state. Password: logged in.
    uint8_t m_bState = 0;
    // Message box: the user's answer.
    uint8_t m_bAnswer = 0;
    // Latch: radio group, 0 = none.
    uint32_t m_nGroup = 0;
    // Date/time value (second, minute, hour, day, weekday, month, u16 year).
    uint8_t m_DateTime[8] = {};
    // Date/time pattern, Number template.
    std::u16string m_strFormat;
    bool m_bHasFormat = false;
    // Number raw value; List selected index.
    int32_t m_nValue = 0;
    int32_t m_nMin = 0;
    int32_t m_nMax = 0;
    uint8_t m_nDecimals = 0;
    uint8_t m_nExponent = 0;
    // List: item texts, each ended by a zero character.
    int32_t m_nItems = 0;
    std::u16string m_items;

    // Matrix.
    int32_t m_nMaxRows = 0; // M, row capacity
    int32_t m_nCols = 0;    // C
    std::u16string m_strRowLabelFormat;
    std::u16string m_strCellFormat;
    std::u16string m_strRowLabelHeading;
    std::u16string m_columnNames; // C names, each ended by a zero character
    uint8_t m_nRowLabelDecimals = 0;
    uint8_t m_nRowLabelExponent = 0;
    uint8_t m_nCellDecimals = 0;
    uint8_t m_nCellExponent = 0;
    uint32_t m_nCellBytes = 0;        // S
    uint32_t m_nRowLabelBytes = 0;    // R as the device gave it
    std::vector<uint8_t> m_cells;     // S bytes, column-major
    std::vector<uint8_t> m_rowLabels; // R bytes, or 2 x R for 8-bit text labels
    uint32_t m_nRows = 0;

    // Password: the two texts of the next request (entered or old, then new).
    std::u16string m_password[2];

    // Blob: capacity and bytes held. Image: picture size and bytes.
    uint32_t m_nDataSize = 0;
    uint32_t m_nDataLen = 0;
    std::vector<uint8_t> m_data;

    // File: name of the last file received.
    std::u16string m_strFileName;
};

// Matrix layout from the flags word.
int MatrixRowLabelKind(uint32_t flags); // 0 none, 1 number, 2 text, 3 date/time
// Bytes of a matrix element by its two-bit width code: 4, 2, 1, or 0 for code 3 (no element).
int MatrixElementWidth(uint32_t code);
int MatrixCellWidth(uint32_t flags);     // 4, 2, 1, or 0 for no cells
int MatrixRowLabelWidth(uint32_t flags); // e: numeric width, 8 for date/time, else 0
// Blob holding raw bytes rather than 8-bit text.
bool IsRawBlob(uint32_t flags);
