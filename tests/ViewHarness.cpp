#include "ViewHarness.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>

#include "Frame.h"
#include "Link.h"

BoxAnswerer::BoxAnswerer() {
    // Polls rather than a single shot: boxes come up inside nested event loops at any time.
    m_timer.setInterval(5);
    QObject::connect(&m_timer, &QTimer::timeout, this, &BoxAnswerer::Answer);
    m_timer.start();
}

void BoxAnswerer::Answer() {
    QWidget* w = QApplication::activeModalWidget();
    // Nothing of the program may block a device's message box.
    if (w) {
        EXPECT_NE(w->windowModality(), Qt::ApplicationModal) << w->windowTitle().toStdString();
    }
    if (intercept && intercept(w)) return;
    if (auto* box = qobject_cast<QMessageBox*>(w)) {
        texts << box->text();
        QAbstractButton* b = box->button(answer);
        if (!b && !box->buttons().isEmpty()) b = box->buttons().first();
        if (b)
            b->click();
        else
            box->reject();
    } else if (auto* dialog = qobject_cast<QDialog*>(w)) {
        texts << dialog->windowTitle();
        dialog->reject();
    }
}

TempSettings::TempSettings() {
    EXPECT_TRUE(m_dir.isValid());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_dir.path());
}

QVariant TempSettings::Raw(const QString& key) const {
    QSettings s(QSettings::IniFormat, QSettings::UserScope, "Talvex", "Talvex 3.0");
    return s.value(key);
}

QStringList TempSettings::Groups() const {
    QSettings s(QSettings::IniFormat, QSettings::UserScope, "Talvex", "Talvex 3.0");
    return s.childGroups();
}

void Device::Info(const std::string& title, uint16_t flags) {
    m_peer.WriteFrame(MSG_PANEL_INFO, flags,
                      Payload().Sized(Bytes(title.begin(), title.end())).Sized({}));
}

void Device::Panel(const std::vector<Bytes>& definitions) {
    m_peer.WriteFrame(MSG_PANEL_DEFINITION, 0, PanelPayload(definitions));
}

namespace {

const Bytes kMarker{0x48, 0xEF, 0xF0, 0x74, 0x72, 0xEF, 0xE6, 0x66};

// Splits a byte stream at the frame markers.
std::vector<ClientFrame> SplitFrames(const Bytes& all) {
    std::vector<size_t> starts;
    for (size_t i = 0; i + kMarker.size() <= all.size(); ++i)
        if (std::equal(kMarker.begin(), kMarker.end(), all.begin() + long(i))) starts.push_back(i);
    std::vector<ClientFrame> frames;
    for (size_t n = 0; n < starts.size(); ++n) {
        size_t begin = starts[n], end = n + 1 < starts.size() ? starts[n + 1] : all.size();
        if (end - begin < FRAME_HEADER_SIZE) continue;
        ClientFrame f;
        f.code = uint16_t(all[begin + 16] | (all[begin + 17] << 8));
        f.payload.assign(all.begin() + long(begin + FRAME_HEADER_SIZE), all.begin() + long(end));
        frames.push_back(std::move(f));
    }
    return frames;
}

} // namespace

std::vector<ClientFrame> Device::Sent() {
    if (!LinkIsOpen()) {
        Bytes all = std::move(m_buffer);
        m_buffer.clear();
        Bytes more = m_peer.Drain(0);
        all.insert(all.end(), more.begin(), more.end());
        return SplitFrames(all);
    }
    EXPECT_EQ(LinkSendPresenceReply(), 0);
    Bytes before;
    EXPECT_TRUE(ReadThrough(MSG_PRESENCE_REPLY, &before)) << "the fence frame never arrived";
    return SplitFrames(before);
}

std::vector<uint16_t> Device::SentCodes() {
    std::vector<uint16_t> codes;
    for (const auto& f : Sent()) codes.push_back(f.code);
    return codes;
}

bool Device::ReadConnect() {
    // Skips whatever the client sent on an earlier connection.
    return ReadThrough(MSG_CONNECT, nullptr);
}

bool Device::Saw(uint16_t code) {
    Bytes more = m_peer.Drain(0);
    m_buffer.insert(m_buffer.end(), more.begin(), more.end());
    return TakeThrough(code, nullptr);
}

bool Device::TakeThrough(uint16_t code, Bytes* before) {
    for (size_t i = 0; i + FRAME_HEADER_SIZE <= m_buffer.size(); ++i) {
        auto at = m_buffer.begin() + long(i);
        if (!std::equal(kMarker.begin(), kMarker.end(), at) || at[16] != uint8_t(code) ||
            at[17] != uint8_t(code >> 8))
            continue;
        if (before) before->assign(m_buffer.begin(), at);
        m_buffer.erase(m_buffer.begin(), at + FRAME_HEADER_SIZE);
        return true;
    }
    return false;
}

bool Device::ReadThrough(uint16_t code, Bytes* before) {
    while (!TakeThrough(code, before)) {
        Bytes one;
        if (!m_peer.Read(one, 1)) return false;
        m_buffer.push_back(one[0]);
    }
    return true;
}

Bytes TextDef(uint32_t id, uint32_t flags) {
    return Definition('T', flags, id, AnsiZ(""), {{'m', U32Bytes(16)}});
}

std::vector<Bytes> TextPanel(int count, uint32_t firstId) {
    std::vector<Bytes> defs;
    for (int i = 0; i < count; ++i) defs.push_back(TextDef(firstId + uint32_t(i)));
    return defs;
}

void StoreLayout(const std::u16string& panel, uint32_t id, uint32_t property, int value) {
    SettingsLayoutStore().SetInt(panel, LayoutValueName(id, property), value);
}

int StoredLayout(const std::u16string& panel, uint32_t id, uint32_t property, int def) {
    return SettingsLayoutStore().GetInt(panel, LayoutValueName(id, property), def);
}

void ViewFixture::SetUp() {
    alerts.SetUnattended(true);
    LinkSetServices(LinkServices{&notifier, &alerts, &store, nullptr});
    LinkInit();
    frame = std::make_unique<CMainFrame>();
    view = new CTalvex22View(frame.get(), &alerts, QStringLiteral("Panel view"));
    frame->setCentralWidget(view);
    view->Widgets().opener = &opener;
    view->SetPortPath(QString::fromStdString(peer.SlavePath()));
    QObject::connect(view, &CTalvex22View::PanelLaidOut,
                     [this](bool requested) { lastLayoutRequested = requested; });
}

void ViewFixture::TearDown() {
    if (!view) return; // skipped before it was set up
    view->OnDestroyView();
    // No receive thread may post to the view once it is gone.
    LinkShutdown();
    frame.reset();
    LinkSetServices(LinkServices{});
    sim.reset();
}

void ViewFixture::StartOnSim(const PanelFileResult& panel) {
    ASSERT_TRUE(panel.panel) << panel.error;
    std::string error;
    sim = SimPtyDevice::Start(*panel.panel, {}, error);
    ASSERT_TRUE(sim) << error;
    view->SetPortPath(QString::fromStdString(sim->SlavePath()));
    Start();
}

void ViewFixture::Start() {
    view->OnInitialUpdate();
    frame->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(frame.get()));
}

void ViewFixture::Connect() {
    view->OnCommand(ID_CONNECT);
    ASSERT_TRUE(device.ReadConnect());
}

void ViewFixture::LoadPanel(const std::string& title, const std::vector<Bytes>& definitions,
                            uint16_t infoFlags) {
    device.Info(title, infoFlags);
    ASSERT_TRUE(WaitFor([&] { return frame->windowTitle() == QString::fromStdString(title); }));
    ASSERT_TRUE(SendDefinition(definitions));
}

bool ViewFixture::SendDefinition(const std::vector<Bytes>& definitions) {
    QSignalSpy laidOut(view, &CTalvex22View::PanelLaidOut);
    device.Panel(definitions);
    return laidOut.wait(5000);
}

bool ViewFixture::WaitFor(const std::function<bool()>& condition, int timeoutMs) {
    return QTest::qWaitFor(condition, timeoutMs);
}

const CCtrl& ViewFixture::Ctrl(uint32_t id) const {
    for (const auto& c : view->Controls())
        if (c->m_nId == id) return *c;
    ADD_FAILURE() << "no control " << id;
    static CCtrl none;
    return none;
}

std::vector<uint32_t> ViewFixture::IdsOnPage(int page) const {
    std::vector<uint32_t> ids;
    for (const auto& c : view->Controls())
        if (CTalvex22View::EffectivePage(*c) == page) ids.push_back(c->m_nId);
    return ids;
}
