// Kinds of a control record: the internal kind numbering (m_nType) and its mapping from and to
// the device kind of the link's table. The flag bits are the link's (CtrlFlags.h).
#pragma once

#include <cstdint>

#include "CtrlFlags.h"

// Internal kinds, as held in CCtrl::m_nType.
enum CtrlType : int {
    TYPE_UNSUPPORTED = 0, // also the kind of a record no creation operation has run on
    TYPE_BUTTON = 1,
    TYPE_TEXT = 2,
    TYPE_LATCH = 3,
    TYPE_SECTION = 4,
    TYPE_DATETIME = 5,
    TYPE_NUMBER = 6,
    TYPE_MATRIX = 7,
    TYPE_PASSWORD = 8,
    TYPE_LIST = 9,
    TYPE_MESSAGEBOX = 10,
    TYPE_BLOB = 11,
    TYPE_FILE = 12,
    TYPE_IMAGE = 13,
    TYPE_LAST = TYPE_IMAGE,
};

// Device kind 1..14 (KIND_* of the link) to internal kind; -1 for any other device kind.
int CtrlTypeFromDeviceKind(int deviceKind);
// Internal kind to device kind; 0 for a value outside 0..13.
int DeviceKindFromCtrlType(int type);
