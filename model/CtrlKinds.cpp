#include "CtrlKinds.h"

namespace {

// Indexed by device kind; the device's letters put Text first, the record puts Button first.
constexpr int kTypeOfDeviceKind[15] = {
    -1,          TYPE_TEXT,        TYPE_BUTTON,   TYPE_LATCH, TYPE_SECTION,    TYPE_DATETIME,
    TYPE_NUMBER, TYPE_MATRIX,      TYPE_PASSWORD, TYPE_LIST,  TYPE_MESSAGEBOX, TYPE_BLOB,
    TYPE_FILE,   TYPE_UNSUPPORTED, TYPE_IMAGE,
};

} // namespace

int CtrlTypeFromDeviceKind(int deviceKind) {
    if (deviceKind < 1 || deviceKind > 14) return -1;
    return kTypeOfDeviceKind[deviceKind];
}

int DeviceKindFromCtrlType(int type) {
    for (int kind = 1; kind <= 14; ++kind)
        if (kTypeOfDeviceKind[kind] == type) return kind;
    return 0;
}
