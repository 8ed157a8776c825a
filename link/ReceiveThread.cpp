// The receive thread: one per connection, long-lived. It handles one message, reports the
// outcome, and waits for the view's go-ahead before it reads the next, so the view has dealt
// with each outcome before the table can change again; no thread is made per message. With
// batched outcomes it waits only where the view must act first, and the view is told once per
// run of messages read together, before the thread waits for more bytes: a value costs no
// hand-shake between the threads.
#include <algorithm>
#include <new>
#include <system_error>
#include <utility>

#include "Frame.h"
#include "Link.h"
#include "LinkState.h"
#include "Receive.h"

namespace {

constexpr size_t kMaxHeldErrors = 256;

// Posts the outcome; afterwards the thread waits for its go-ahead unless it goes straight on
// (no notify message) or the connection has ended.
void Report(int outcome) {
    LinkState& s = LinkStateInstance();
    s.lastOutcome = outcome;
    uint32_t message = 0;
    void* window = nullptr;
    bool post = true, goesOn = false;
    {
        std::lock_guard g(s.rxMutex);
        message = s.notifyMessage;
        window = s.rxWindow;
        const bool batched = s.rxBatched && message != 0;
        if (batched) {
            // Taken in one go: a later outcome of a kind already waiting adds nothing, as the
            // table has the latest and the window reads it whole. Errors are told one by one
            // (up to a bound while the window is busy).
            const bool counted = outcome < 0 && s.rxOutcomes.size() < kMaxHeldErrors;
            if (counted ||
                std::find(s.rxOutcomes.begin(), s.rxOutcomes.end(), outcome) == s.rxOutcomes.end())
                s.rxOutcomes.push_back(outcome);
            post = !s.rxPosted;
            s.rxPosted = true;
        }
        // Set before the post: the go-ahead may come before this thread waits for it.
        if (outcome == LINK_LOST)
            s.rxState = ReceiverState::Ended;
        else if (batched ? LinkOutcomeAwaitsWindow(outcome) : (message != 0 || outcome < 0))
            s.rxState = ReceiverState::Waiting;
        goesOn = batched && s.rxState == ReceiverState::Reading;
    }
    s.rxChanged.notify_all();
    if (message == 0) return;
    if (goesOn) {
        // Told when the thread next waits for bytes: a run of messages read at once is one telling.
        if (post) s.rxPostDue = true;
        return;
    }
    // The thread waits or ends now: a telling held back goes with this one.
    if (!s.rxPostDue.exchange(false) && !post) return;
    if (ILinkNotifier* notifier = LinkGetServices().notifier)
        notifier->PostOutcome(window, message);
}

} // namespace

void LinkTellWindow() {
    LinkState& s = LinkStateInstance();
    if (!s.rxPostDue.exchange(false)) return;
    uint32_t message = 0;
    void* window = nullptr;
    {
        std::lock_guard g(s.rxMutex);
        message = s.notifyMessage;
        window = s.rxWindow;
    }
    if (message == 0) return;
    if (ILinkNotifier* notifier = LinkGetServices().notifier)
        notifier->PostOutcome(window, message);
}

namespace {

// False when the thread is to end. `generation` tells this thread from a later connection's.
bool AwaitGoAhead(unsigned generation) {
    LinkState& s = LinkStateInstance();
    std::unique_lock g(s.rxMutex);
    s.rxChanged.wait(g, [&] {
        return s.rxStop || s.rxGeneration != generation || s.rxState != ReceiverState::Waiting;
    });
    return !s.rxStop && s.rxGeneration == generation && s.rxState == ReceiverState::Reading;
}

// A message that could not be held in memory is a link error; the marker hunt finds the next.
int ReceiveMessageOrError() {
    try {
        return ReceiveMessage();
    } catch (const std::bad_alloc&) {
        return LINK_ERROR;
    }
}

void ReceiveLoop(unsigned generation) {
    LinkState& s = LinkStateInstance();
    const std::shared_ptr<ILinkPort> port = LinkPort();
    LinkBindReader(port.get());
    s.rxPace.Reset();
    for (;;) {
        const int outcome = ReceiveMessageOrError();
        if (outcome == RECEIVE_QUIET) break;
        if (outcome == RECEIVE_ABANDONED) continue; // nothing changed: on to the next marker
        s.rxPace.Handled();
        Report(outcome);
        if (outcome == LINK_LOST || !AwaitGoAhead(generation)) break;
    }
    LinkTellWindow();
    {
        std::lock_guard g(s.rxMutex);
        if (s.rxGeneration == generation) s.rxState = ReceiverState::Ended;
    }
    s.rxChanged.notify_all();
}

} // namespace

int LinkStartReceiver(void* window, uint32_t notifyMessage) {
    LinkState& s = LinkStateInstance();
    if (!LinkIsOpen()) return LINK_E_NOT_OPEN;
    {
        std::lock_guard g(s.rxMutex);
        switch (s.rxState) {
        case ReceiverState::None:
            s.notifyMessage = notifyMessage;
            s.rxWindow = window;
            s.rxStop = false;
            s.rxOutcomes.clear();
            s.rxPosted = false;
            s.rxPostDue = false;
            s.rxState = ReceiverState::Reading;
            try {
                s.rxThread = std::thread(ReceiveLoop, s.rxGeneration);
            } catch (const std::system_error& e) {
                s.rxState = ReceiverState::None;
                return e.code().value();
            }
            return 0;
        case ReceiverState::Waiting:
            s.notifyMessage = notifyMessage;
            s.rxWindow = window;
            s.rxState = ReceiverState::Reading;
            break;
        case ReceiverState::Reading: // one receiver at a time
        case ReceiverState::Ended:   // nothing more comes on this connection
            return 0;
        }
    }
    s.rxChanged.notify_all();
    return 0;
}

void LinkWaitForReceivers() {
    LinkState& s = LinkStateInstance();
    std::unique_lock g(s.rxMutex);
    s.rxChanged.wait(g, [&] { return s.rxState != ReceiverState::Reading; });
}

void LinkStopReceiver() {
    LinkState& s = LinkStateInstance();
    std::thread thread;
    {
        std::lock_guard g(s.rxMutex);
        s.rxStop = true;
        ++s.rxGeneration;
        thread = std::move(s.rxThread);
    }
    s.rxChanged.notify_all();
    if (thread.joinable()) {
        // Closing from inside the thread's own report: it ends right after.
        if (thread.get_id() == std::this_thread::get_id())
            thread.detach();
        else
            thread.join();
    }
    std::lock_guard g(s.rxMutex);
    s.rxState = ReceiverState::None;
    s.rxStop = false;
    s.rxOutcomes.clear();
    s.rxPosted = false;
    s.rxPostDue = false;
}

void LinkSetBatchedOutcomes(bool on) {
    LinkState& s = LinkStateInstance();
    std::lock_guard g(s.rxMutex);
    s.rxBatched = on;
}

std::vector<int> LinkTakeOutcomes() {
    LinkState& s = LinkStateInstance();
    std::lock_guard g(s.rxMutex);
    s.rxPosted = false;
    return std::exchange(s.rxOutcomes, {});
}

bool LinkOutcomeAwaitsWindow(int outcome) {
    switch (outcome) {
    case LINK_TITLE:
    case LINK_PANEL:
    case LINK_CLOSED:
    case LINK_FILES:
    case LINK_LAYOUT:
        return true;
    default:
        return false;
    }
}
