// The module-wide link state, shared by the link's own units only.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "LinkCtrl.h"
#include "LinkPort.h"
#include "LinkServices.h"
#include "StreamPace.h"

// The link lock, recursive. A box the link raises while the calling thread holds it is held back
// and raised when that thread lets go of the lock (Alerts.cpp): a box is never up while the
// lock is held, so no thread waiting on the lock can wait on a box.
class LinkMutex {
public:
    void lock();
    void unlock();
    bool try_lock();
    // Whether the calling thread holds the lock.
    static bool HeldHere();

private:
    std::recursive_mutex m_mutex;
};

// The receive thread's state (ReceiveThread.cpp).
enum class ReceiverState {
    None,    // no thread: the port is closed, or the receiver was never started
    Reading, // inside a message (or waiting for its first byte)
    Waiting, // reported an outcome; waits for the view's go-ahead
    Ended,   // the connection has ended (the device was lost); the thread is gone
};

// The panel's name before a device names it: the layout store's section then.
inline const std::u16string kDefaultTitle = u"Talvex";

struct LinkState {
    std::atomic<bool> initialised{false};
    LinkMutex lock;
    // The open port, or the last one (its lost reason stays readable); an open replaces it.
    std::shared_ptr<ILinkPort> port; // guarded by portMutex; use LinkPort()
    std::mutex portMutex;
    std::atomic<uint32_t> notifyMessage{0};
    std::atomic<int> lastOutcome{0};
    std::atomic<bool> pingOutstanding{false};
    std::atomic<bool> pingsAllowed{false};
    std::atomic<bool> keepPanel{false};
    std::atomic<bool> ackOption{false};
    // Title and about text are guarded by `lock`.
    std::u16string title = kDefaultTitle;
    std::optional<std::u16string> aboutText;
    std::vector<CLinkCtrl> live;     // guarded by `lock`
    std::vector<CLinkCtrl> download; // receive thread only
    bool downloadLeftOver = false;
    // What a panel's buffers and decoded pictures may take in all, and what the live table's
    // buffers take (set with the table, under `lock`).
    std::atomic<size_t> panelBudget{size_t(256) << 20};
    std::atomic<size_t> liveBytes{0};
    // A message with no new byte for this long is abandoned (0: never); stalls of this connection.
    std::atomic<int> stallTimeoutMs{5000};
    std::atomic<unsigned> stallCount{0};
    bool rxStalled = false; // receive thread only: the message being read has stalled
    StreamPace rxPace;      // receive thread only

    // One long-lived receive thread per connection, guarded by rxMutex.
    std::mutex rxMutex;
    std::condition_variable rxChanged;
    std::thread rxThread;
    ReceiverState rxState = ReceiverState::None;
    bool rxStop = false;
    unsigned rxGeneration = 0; // one per started thread's life; stopping moves it on
    void* rxWindow = nullptr;
    // Batched outcomes: reported and not yet taken by the window (one of each, in the order they
    // first came), and whether the window has been told of them.
    bool rxBatched = false;
    std::vector<int> rxOutcomes;
    bool rxPosted = false;
    // Outcomes the window is to be told of before the receive thread next waits for bytes.
    std::atomic<bool> rxPostDue{false};
};

LinkState& LinkStateInstance();
// The current port (null before the first open); the caller's copy keeps it alive.
std::shared_ptr<ILinkPort> LinkPort();
// ReadFileBlocking, or (outside a message: the marker hunt) a read that waits without limit.
int LinkRead(void* buffer, uint32_t count, long site, bool inMessage);
// Reads a field of `length` bytes (ReadFileBlocking), growing `bytes` as they arrive: a corrupted
// length costs memory only for what actually comes.
int LinkReadField(std::vector<uint8_t>& bytes, uint32_t length, long site);
// The receive thread reads its own port, held for its whole life, without looking it up per read.
void LinkBindReader(ILinkPort* port);
ILinkAlerts* LinkAlerts();

// Releases a table: "Data transmission error." at the first entry a broken download never filled.
void LinkReleaseTable(std::vector<CLinkCtrl>& table);
// Tells the window of outcomes reported since it was last told (the receive thread, before it
// waits for bytes: what it has read meanwhile goes in the same telling).
void LinkTellWindow();
// Waits until the receive thread is not inside a message (it waits for its go-ahead, or is gone).
void LinkWaitForReceivers();
// Ends the receive thread and waits for it; the port must be closed first.
void LinkStopReceiver();
