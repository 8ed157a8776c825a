// The link module: the one connection of the process to the device. Its state is module-wide.
// Operations return 0, a positive operating-system error code, or one of the codes below.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "LinkCtrl.h"
#include "LinkPort.h"
#include "LinkServices.h"

enum : int {
    LINK_E_BUSY = -1, // LinkOpen: already open; receive side: applying failed
    LINK_E_NOT_OPEN = -2,
    LINK_E_KIND = -5, // not for this kind, or a required text is empty
    LINK_E_NOT_INITIALISED = -6,
    LINK_E_PING_LOST = -8,
    LINK_E_WRITE_TIMEOUT = -9,
    LINK_E_FILE_CREATE = -10,
    LINK_PORT_LOST = -11,         // the device is gone: end of file, hang-up or I/O error
    LINK_E_PANEL_TOO_LARGE = -12, // a panel definition over the budget, or out of memory
    LINK_PORT_STALLED = -13,      // inside a message, no byte came within the stall time
    LINK_E_ADDRESS = -14,         // a path that names no usable port (ParsePortAddress: why)
    LINK_PORT_CLOSED = 6,         // the port was closed under a pending read
};

inline constexpr const char* LINK_UNIT = "TvxBthPPCVComClt";

int LinkInit();
int LinkShutdown();

// Port number N opens /dev/rfcommN.
int LinkOpen(int nPort, void* window, uint32_t notifyMessage);
// Opens any serial device path (an adapter, a pseudo-terminal) or tcp://HOST:PORT; a TCP
// connection is made in the background (see TcpPort), its failure coming as a lost device.
int LinkOpenDevice(const std::string& path, void* window, uint32_t notifyMessage);
// Takes a port that is already open (a MemoryPort, say) as the line to the device.
int LinkOpenPort(std::unique_ptr<ILinkPort> port, void* window, uint32_t notifyMessage);
int LinkClose(bool notifyDevice);
bool LinkIsOpen();
// Why the device was lost ("Input/output error", "hang-up", ...); empty while it is not.
std::string LinkLostReason();

// Writes n bytes within n x factor + 10 polls of 10 ms (factor 0: no limit); callers hold the lock.
int LinkWrite(const void* bytes, uint32_t n, int factor);
// Reads exactly count bytes of a message from the open port; 6 when the port is closed
// meanwhile, LINK_PORT_STALLED when no byte came within the stall time (then at once until the
// next message begins).
int ReadFileBlocking(void* buffer, uint32_t count, long site);
// A message that stalls for `ms` is abandoned and the next marker hunted (5000 unless set; 0:
// never). Stalls are counted per connection.
void LinkSetStallTimeout(int ms);
unsigned LinkGetStallCount();

void LinkLock();
void LinkUnlock();
// Whether the calling thread holds the link lock (closing the link then would deadlock).
bool LinkLockHeldHere();

std::u16string LinkGetTitle();
std::optional<std::u16string> LinkGetAboutText();
bool LinkPingsAllowed();
bool LinkKeepPanel();
int LinkGetOutcome(bool clear);
void LinkTrace(const std::string& text);

// Panel definition download (receive thread): reads the list from the port and swaps it in.
// A panel whose buffers would take more than the budget is refused whole (one message, the
// previous panel stays): LINK_E_PANEL_TOO_LARGE.
int LinkDownloadPanel();
void LinkSetPanelBudget(size_t bytes); // 256 MiB unless set
size_t LinkGetPanelBudget();
// What the live panel's buffers take of the budget; the view's decoded pictures share the rest.
size_t LinkGetPanelBytes();

// Control table (user-interface thread). Functions marked "no lock" expect the caller to hold it.
struct LinkSummary {
    uint32_t nId = 0;
    uint16_t nKind = 0;
    uint32_t dwFlags = 0;
    uint32_t crColour = 0;
    std::u16string strName;
};
struct LinkMatrixData { // valid while the caller holds the lock
    uint32_t nRows = 0;
    const uint8_t* pCells = nullptr;
    size_t nCellBytes = 0;
    const uint8_t* pRowLabels = nullptr;
    size_t nRowLabelBytes = 0;
};
int LinkGetCount();
bool LinkGetSummary(int index, LinkSummary& out); // no lock
const CLinkCtrl* LinkGetDefinition(int index);    // no lock
CLinkCtrl* LinkFind(uint32_t id);                 // no lock
int LinkFindIndex(uint32_t id);                   // no lock
int LinkGetKind(uint32_t id);
int LinkGetValue(uint32_t id, void* buffer, uint32_t* size);
int LinkGetMatrix(uint32_t id, LinkMatrixData& out); // no lock for the data's lifetime
// The same for the entry at `index` of the table, without looking its id up (no lock).
int LinkGetValueAt(int index, void* buffer, uint32_t* size);
int LinkGetMatrixAt(int index, LinkMatrixData& out);
bool LinkIsDeviceChanged(uint32_t id); // no lock
bool LinkIsAttrChanged(uint32_t id);   // no lock
int LinkGetAttributes(uint32_t id, uint32_t* flags, uint32_t* colour);
std::u16string LinkGetFileName(uint32_t id); // no lock
// A device message box has been put up: the entry keeps flag 0x1 so that controls built again
// from the same table do not put it up a second time.
void LinkSetBoxShown(uint32_t id);

// Receive thread: one long-lived thread per connection, handling one message at a time. After
// each message it posts notifyMessage to the window and waits until LinkStartReceiver gives the
// go-ahead (with message 0 it goes straight on). LinkOpen starts it; a start while it reads, or
// once the connection has ended (outcome LINK_LOST), does nothing.
int LinkStartReceiver(void* window, uint32_t notifyMessage);
// Batched outcomes (off unless set; for connections opened afterwards): the receive thread goes on
// reading while the window applies what came. Outcomes accumulate (each once, in the order they
// first came; the table's changed flags say what is new) and the window is posted once until it
// takes them. The thread waits for the go-ahead only after an outcome LinkOutcomeAwaitsWindow
// names, which is then the last of its batch.
void LinkSetBatchedOutcomes(bool on);
std::vector<int> LinkTakeOutcomes();
// Whether the window must handle the outcome before the next message is read: a new panel or
// layout (the view builds from the table), the title (the panel's settings section), a received
// file (its name is kept until the next file), the device's goodbye.
bool LinkOutcomeAwaitsWindow(int outcome);
// Where received files go (none while empty: files are then refused). Setting it removes the
// temporary files an earlier run left there.
void LinkSetFilesDirectory(const std::string& directory);
std::string LinkGetFilesDirectory();
// The names of the files saved since the last call, in order (the first hundred).
std::vector<std::u16string> LinkTakeSavedFiles();

// Outgoing requests. Every complete message is written under the link lock.
int LinkSendConnect();
int LinkSendDisconnect();
int LinkSendPresenceReply();
int LinkSendAck();
int LinkSendRequest(uint32_t argument);
int LinkReload();
int LinkPing();
void LinkSetAckOption(bool on);
int LinkSetValue(uint32_t id, const void* bytes, uint32_t length);
int LinkSendChanges();
int LinkSendByte(uint32_t id, uint8_t byte);
int LinkClearGroup(uint32_t group);
int LinkLogIn(uint32_t id, const std::u16string& password);
int LinkChangePassword(uint32_t id, const std::u16string& oldPassword,
                       const std::u16string& newPassword);
int LinkLogOut(uint32_t id);

// Layout store of the current panel (section: the panel title), through the injected store.
int GetLayoutInt(uint32_t id, uint32_t property, int def);
void SetLayoutInt(uint32_t id, uint32_t property, int value);
bool HasLayoutInt(uint32_t id, uint32_t property);
std::string LayoutValueName(uint32_t id, uint32_t property); // "%08X%08X"
