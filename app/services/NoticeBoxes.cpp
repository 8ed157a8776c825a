#include "NoticeBoxes.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <cstdio>

#include "BoxPlacement.h"

namespace {

constexpr qint64 kRepeatWindowMs = 1000;
// Distinct notices waiting behind the box on screen; more are dropped (standard error says so).
constexpr size_t kMaxWaiting = 32;
// Notices remembered for Notices().
constexpr size_t kMaxHistory = 1000;

qint64 SteadyMs() {
    static QElapsedTimer timer = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return timer.elapsed();
}

} // namespace

NoticeBoxes::NoticeBoxes(QObject* parent) : QObject(parent), m_clock(SteadyMs) {}

NoticeBoxes::~NoticeBoxes() {
    m_waiting.clear();
    if (m_box) {
        m_box->disconnect(this);
        delete m_box.data();
    }
}

QString NoticeBoxes::BoxText(const QString& text, int count) {
    return count > 1 ? QStringLiteral("%1\n\n(%2 times)").arg(text).arg(count) : text;
}

void NoticeBoxes::SetUnattended(bool on) {
    std::lock_guard g(m_mutex);
    m_unattended = on;
}

void NoticeBoxes::SetParentWindow(QWidget* window) {
    m_parent = window;
}

void NoticeBoxes::SetClock(std::function<qint64()> clock) {
    std::lock_guard g(m_mutex);
    m_clock = std::move(clock);
}

void NoticeBoxes::Post(const QString& text, QMessageBox::Icon icon) {
    std::lock_guard g(m_mutex);
    const qint64 now = m_clock();
    ++m_posted;
    const bool repeat =
        !m_history.empty() && text == m_lastText && now - m_lastTime < kRepeatWindowMs;
    m_lastText = text;
    m_lastTime = now;
    if (repeat) {
        ++m_history.back().count;
        if (!m_waiting.empty() && m_waiting.back().serial == m_serial)
            ++m_waiting.back().count;
        else if (m_hasCurrent && m_current.serial == m_serial)
            ++m_current.count;
        Schedule();
        return;
    }
    ++m_serial;
    if (m_history.size() == kMaxHistory) m_history.erase(m_history.begin());
    m_history.push_back({text, 1});
    if (m_unattended || !QCoreApplication::instance()) {
        std::fprintf(stderr, "%s\n", qPrintable(text));
        return;
    }
    if (m_waiting.size() >= kMaxWaiting) {
        std::fprintf(stderr, "(not shown) %s\n", qPrintable(text));
        return;
    }
    m_waiting.push_back({text, icon, 1, m_serial});
    Schedule();
}

// Called with m_mutex held.
void NoticeBoxes::Schedule() {
    if (m_scheduled || m_unattended || !QCoreApplication::instance()) return;
    m_scheduled = true;
    QMetaObject::invokeMethod(this, &NoticeBoxes::Deliver, Qt::QueuedConnection);
}

void NoticeBoxes::Deliver() {
    Entry next;
    {
        std::lock_guard g(m_mutex);
        m_scheduled = false;
        if (m_hasCurrent && m_box) {
            if (m_current.count != m_shownCount) {
                m_shownCount = m_current.count;
                m_box->setText(BoxText(m_current.text, m_shownCount));
            }
            return;
        }
        if (m_waiting.empty()) {
            m_hasCurrent = false;
            return;
        }
        m_current = m_waiting.front();
        m_waiting.pop_front();
        m_hasCurrent = true;
        m_shownCount = m_current.count;
        next = m_current;
    }
    auto* box = new QMessageBox(next.icon, QCoreApplication::applicationName(),
                                BoxText(next.text, next.count), QMessageBox::Ok, m_parent);
    box->setTextFormat(Qt::PlainText);
    box->setWindowModality(Qt::NonModal);
    box->setAttribute(Qt::WA_DeleteOnClose);
    CentreOverWindow(box, m_parent);
    // Closed or gone with its parent: the next one may come up.
    connect(box, &QObject::destroyed, this, [this] {
        {
            std::lock_guard g(m_mutex);
            m_hasCurrent = false;
        }
        Deliver();
    });
    m_box = box;
    box->show();
}

uint64_t NoticeBoxes::PostedCount() const {
    std::lock_guard g(m_mutex);
    return m_posted;
}

std::vector<NoticeBoxes::Notice> NoticeBoxes::Notices() const {
    std::lock_guard g(m_mutex);
    return m_history;
}

QStringList NoticeBoxes::Texts() const {
    QStringList texts;
    for (const Notice& n : Notices()) texts << n.text;
    return texts;
}

int NoticeBoxes::Waiting() const {
    std::lock_guard g(m_mutex);
    return int(m_waiting.size());
}
