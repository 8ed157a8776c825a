// Any bytes as what the device sends, through the whole receive path on its own thread: the
// marker hunt, every message, the appliers, files into a temporary directory and layout records
// into a store in memory, with each outcome answered as the view answers it (the table read,
// message boxes answered, reloads, then the go-ahead) until the device is gone. The answer is
// given inside the post, on the receive thread, which has set itself waiting for its go-ahead
// just as it does for the view; only the end of the connection goes back to the fuzzer's thread.
// Input: one options byte (StreamInput.h), its pauses, then the device's bytes.
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "Frame.h"
#include "LayoutProps.h"
#include "Link.h"
#include "MemoryPort.h"
#include "StreamInput.h"

namespace {

constexpr uint32_t kNotifyMessage = 0x8000;

class QuietAlerts : public ILinkAlerts {
public:
    void DiagnosticBox(long, const char*, long) override {}
    void SizeAlarm(long, const char*) override {}
    void MessageBox(const std::u16string&) override {}
    void QuitRequest() override {}
    void WaitCursor(bool) override {}
};

// One panel per run: values by name alone, so the store costs little beside the link.
class NameStore : public ILayoutStore {
public:
    int GetInt(const std::u16string&, const std::string& name, int def) override {
        std::lock_guard g(m_mutex);
        auto it = m_values.find(name);
        return it == m_values.end() ? def : it->second;
    }
    void SetInt(const std::u16string&, const std::string& name, int value) override {
        std::lock_guard g(m_mutex);
        m_values[name] = value;
    }
    void Clear() {
        std::lock_guard g(m_mutex);
        m_values.clear();
    }

private:
    std::mutex m_mutex;
    std::unordered_map<std::string, int> m_values;
};

class TextSink : public ILinkTraceSink {
public:
    void Trace(const std::string& line) override { m_bytes += line.size(); }
    void Frame(const std::string& line) override { m_bytes += line.size(); }

private:
    size_t m_bytes = 0;
};

struct Fixture {
    QuietAlerts alerts;
    NameStore store;
    TextSink trace;
    std::filesystem::path files;
    int window = 0;

    Fixture() {
        // In memory where there is such a file system: files come and go with every run.
        std::string dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm/fuzz_stream-XXXXXX"
                                                        : "/tmp/fuzz_stream-XXXXXX";
        if (!mkdtemp(dir.data())) std::abort();
        files = dir;
        LinkSetFilesDirectory(files.string());
        // Room for a few hundred controls: a larger count is refused before anything is made.
        LinkSetPanelBudget(size_t(256) << 10);
    }
    ~Fixture() {
        std::error_code ec;
        std::filesystem::remove_all(files, ec);
    }
};

Fixture& TheFixture() {
    static Fixture fixture;
    return fixture;
}

// What the view reads when it builds or refreshes its controls; message boxes to put up.
std::vector<uint32_t> ReadTable(bool changedOnly) {
    std::vector<uint32_t> boxes;
    std::vector<uint8_t> value;
    LinkLock();
    const int count = LinkGetCount();
    for (int i = 0; i < count; ++i) {
        LinkSummary summary;
        if (!LinkGetSummary(i, summary)) continue;
        const uint32_t id = summary.nId;
        if (changedOnly && !LinkIsDeviceChanged(id) && !LinkIsAttrChanged(id)) continue;
        uint32_t flags = 0, colour = 0;
        LinkGetAttributes(id, &flags, &colour);
        GetLayoutInt(id, CTRL_PROP_AUTO_LAYOUT, 1);
        LinkGetFileName(id);
        if (summary.nKind == KIND_MATRIX) {
            LinkMatrixData matrix;
            LinkGetMatrix(id, matrix);
            continue;
        }
        uint32_t size = 0;
        LinkGetValue(id, nullptr, &size);
        value.resize(std::min<uint32_t>(size, 1u << 20));
        size = uint32_t(value.size());
        LinkGetValue(id, value.data(), &size);
        if (summary.nKind == KIND_MESSAGEBOX && !(summary.dwFlags & CTRLF_BOX_SHOWN)) {
            LinkSetBoxShown(id);
            boxes.push_back(id);
        }
    }
    LinkUnlock();
    return boxes;
}

// The view's reaction to one outcome; false once the connection has ended.
bool Answer(int outcome) {
    switch (outcome) {
    case LINK_TITLE:
        LinkGetTitle();
        LinkGetAboutText();
        LinkPingsAllowed();
        break;
    case LINK_PANEL:
    case LINK_LAYOUT:
    case LINK_VALUES:
    case LINK_ATTRIBUTES:
    case LINK_FILES:
        GetLayoutInt(0, 0, 0);
        // Answered at once, as if the user pressed the box's first button.
        for (uint32_t id : ReadTable(outcome != LINK_PANEL && outcome != LINK_LAYOUT)) {
            const uint8_t answer = 1;
            LinkSetValue(id, &answer, 1);
            LinkSendChanges();
        }
        break;
    case LINK_RELOAD:
        LinkReload();
        break;
    case LINK_CLOSED:
    case LINK_LOST:
        return false;
    default:
        break;
    }
    return true;
}

// The view's side of the handshake; the connection's end is waited for by the fuzzer's thread.
class View : public ILinkNotifier {
public:
    void PostOutcome(void* window, uint32_t message) override {
        if (Answer(LinkGetOutcome(false))) {
            LinkStartReceiver(window, message);
            return;
        }
        {
            std::lock_guard g(m_mutex);
            m_ended = true;
        }
        m_cv.notify_one();
    }
    void WaitForTheEnd() {
        std::unique_lock g(m_mutex);
        m_cv.wait(g, [&] { return m_ended; });
        m_ended = false;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_ended = false;
};

View& TheView() {
    static View view;
    return view;
}

void ClearDirectory(const std::filesystem::path& dir) {
    std::error_code ec;
    for (auto it = std::filesystem::directory_iterator(dir, ec);
         !ec && it != std::filesystem::directory_iterator(); it.increment(ec))
        std::filesystem::remove(it->path(), ec);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Fixture& f = TheFixture();
    StreamInput in = DecodeStreamInput(data, size);
    f.store.Clear();
    LinkSetServices({&TheView(), &f.alerts, &f.store, in.trace ? &f.trace : nullptr});
    LinkInit();
    LinkSetAckOption(in.ackValues);
    auto port = std::make_unique<MemoryPort>(std::move(in.device), std::move(in.pauses));
    if (LinkOpenPort(std::move(port), &f.window, kNotifyMessage) == 0) {
        TheView().WaitForTheEnd();
        LinkLostReason();
        LinkKeepPanel();
    }
    LinkClose(false);
    LinkShutdown();
    ClearDirectory(f.files);
    return 0;
}
