// A panel view in a main frame, connected to a device the test plays on a pseudo-terminal, with
// the link's real services (outcomes posted to the view) and settings in a temporary folder.
// Modal boxes and dialogs the view raises are answered and recorded; the notices (the boxes that
// do not stop the link) are recorded unshown unless a test asks to see them.
#pragma once

#include <gtest/gtest.h>

#include <QMessageBox>
#include <QSize>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "DesktopLinks.h"
#include "LinkBridge.h"
#include "MainFrame.h"
#include "PanelFile.h"
#include "SettingsLayoutStore.h"
#include "SimPorts.h"
#include "Talvex22View.h"
#include "support/DeviceFrames.h"
#include "support/PtyPeer.h"

// Readable failure messages.
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}
inline void PrintTo(const QSize& s, std::ostream* os) {
    *os << s.width() << " x " << s.height();
}

// Answers every modal box or dialog as soon as it is up: a message box with `answer` (or its first
// button), any other dialog is rejected. Records the texts (a dialog's window title). Each must be
// modal to its window at most.
class BoxAnswerer : public QObject {
public:
    BoxAnswerer();
    QStringList texts;
    QMessageBox::StandardButton answer = QMessageBox::Ok;
    // Sees the active modal widget (or none) first; true when it took care of it.
    std::function<bool(QWidget*)> intercept;

private:
    void Answer();
    QTimer m_timer;
};

// What the desktop would have opened (a local path, or the address); with `works` false, as if
// no program could open anything.
class RecordingOpener : public IDesktopOpener {
public:
    bool Open(const QUrl& url) override {
        opened << (url.isLocalFile() ? url.toLocalFile() : url.toString());
        return works;
    }
    QStringList opened;
    bool works = true;
};

// One frame sent by the client, with its payload.
struct ClientFrame {
    uint16_t code = 0;
    Bytes payload;
};

// Points QSettings at a fresh folder for the life of the object.
class TempSettings {
public:
    TempSettings();
    // The raw value of the application's settings (group/key).
    QVariant Raw(const QString& key) const;
    QStringList Groups() const;

private:
    QTemporaryDir m_dir;
};

// The device's side of the conversation, on the pty the client opens.
class Device {
public:
    explicit Device(PtyPeer& peer) : m_peer(peer) {}
    void Info(const std::string& title, uint16_t flags = 0);
    void Panel(const std::vector<Bytes>& definitions);
    void Closed() { m_peer.WriteFrame(1); }
    // Every frame the client sent since the last call, up to a fence frame the test itself
    // sends now: whatever the client wrote before is in the pty ahead of it.
    std::vector<ClientFrame> Sent();
    std::vector<uint16_t> SentCodes();
    bool ReadConnect();
    // Without waiting: whether the client has sent a frame with `code` (taken with what came
    // before it).
    bool Saw(uint16_t code);

private:
    // Takes the buffered bytes up to and including the first header with `code`, handing what
    // came before it to `before`.
    bool TakeThrough(uint16_t code, Bytes* before);
    // The same, reading from the pty until that header arrives; false on time-out.
    bool ReadThrough(uint16_t code, Bytes* before);
    PtyPeer& m_peer;
    Bytes m_buffer;
};

// A text control of `id` (not editable: 117 x 57 in the automatic layout).
Bytes TextDef(uint32_t id, uint32_t flags = 0);
std::vector<Bytes> TextPanel(int count, uint32_t firstId = 1);
// Writes a layout property into a panel's section, as the link would.
void StoreLayout(const std::u16string& panel, uint32_t id, uint32_t property, int value);
int StoredLayout(const std::u16string& panel, uint32_t id, uint32_t property, int def);

class ViewFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // First initialisation and showing the frame (after any settings the test prepares).
    void Start();
    // Plays `panel` on a simulated device, makes its pseudo-terminal the view's port and starts.
    void StartOnSim(const PanelFileResult& panel);
    // Connect: the client opens the pty and sends its connect request.
    void Connect();
    // Panel information, then the definition; waits until the panel is laid out.
    void LoadPanel(const std::string& title, const std::vector<Bytes>& definitions,
                   uint16_t infoFlags = 0);
    // The definition alone; true when the panel was laid out in time.
    bool SendDefinition(const std::vector<Bytes>& definitions);
    bool WaitFor(const std::function<bool()>& condition, int timeoutMs = 5000);
    const CCtrl& Ctrl(uint32_t id) const;
    // The id of every control on the page, in array order.
    std::vector<uint32_t> IdsOnPage(int page) const;

    TempSettings settings;
    QtLinkNotifier notifier;
    QtLinkAlerts alerts;
    SettingsLayoutStore store;
    PtyPeer peer;
    Device device{peer};
    RecordingOpener opener;                // the desktop, for every view test
    BoxAnswerer boxes;                     // modal boxes and dialogs
    NoticeBoxes& notices = alerts.Boxes(); // the boxes that never stop the link
    std::unique_ptr<CMainFrame> frame;
    CTalvex22View* view = nullptr;
    bool lastLayoutRequested = false;
    std::unique_ptr<SimPtyDevice> sim; // StartOnSim's; stopped once the view is gone
};
