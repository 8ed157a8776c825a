// Handlers of the receive thread, one per kind of device message (link-internal).
#pragma once

#include <climits>
#include <cstdint>
#include <string>

// Reads and handles one device message; returns the outcome to report, RECEIVE_QUIET when the
// port was closed under the read (nothing to report, the thread ends), or RECEIVE_ABANDONED when
// the message stalled before it changed anything (nothing to report, the next marker is hunted).
inline constexpr int RECEIVE_QUIET = INT_MIN;
inline constexpr int RECEIVE_ABANDONED = INT_MIN + 1;
int ReceiveMessage();

// Item lists of messages 9, 16 and 21; each returns 0, a read status, or LINK_E_BUSY.
int ReceiveDeviceValues();
int ReceiveAttributes();
int ReceiveMatrixRows();
// Message 17: 0, a read status, or RECEIVE_FILES_NOT_SAVED when the message was read whole but
// some file was not saved (each one has been said, with its reason).
inline constexpr int RECEIVE_FILES_NOT_SAVED = INT_MIN + 2;
int ReceiveFiles();

// Apply one item to its entry (the caller holds the lock); exposed for tests and fuzzing.
struct CLinkCtrl;
int ApplyDeviceValue(CLinkCtrl& entry, const uint8_t* data, uint32_t n);
int ApplyMatrixRow(CLinkCtrl& entry, const uint8_t* data, uint32_t n);
int ApplyAttributeChange(CLinkCtrl& entry, const uint8_t* data, uint32_t n);
