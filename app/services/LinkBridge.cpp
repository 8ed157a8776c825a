#include "LinkBridge.h"

#include <QApplication>
#include <QCursor>
#include <QMessageBox>
#include <QThread>

QEvent::Type LinkMessageEvent::EventType() {
    static const QEvent::Type type = QEvent::Type(QEvent::registerEventType());
    return type;
}

void QtLinkNotifier::PostOutcome(void* window, uint32_t message) {
    if (window)
        QCoreApplication::postEvent(static_cast<QObject*>(window), new LinkMessageEvent(message));
}

namespace {

bool OnUiThread() {
    return QCoreApplication::instance() &&
           QThread::currentThread() == QCoreApplication::instance()->thread();
}

void ShowBox(const QString& text) {
    QMessageBox box(QMessageBox::Warning, QCoreApplication::applicationName(), text,
                    QMessageBox::Ok, QApplication::activeWindow());
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

} // namespace

void QtLinkAlerts::Show(const QString& text) {
    ++m_shown;
    if (m_unattended || !QCoreApplication::instance()) {
        std::fprintf(stderr, "%s\n", qPrintable(text));
        return;
    }
    if (OnUiThread()) {
        ShowBox(text);
        return;
    }
    // On the receive thread: the box goes up on the user-interface thread and this thread waits
    // for it, unless the port is being closed meanwhile.
    std::unique_lock g(m_mutex);
    if (m_portClosed) {
        std::fprintf(stderr, "%s\n", qPrintable(text));
        return;
    }
    unsigned generation = m_generation;
    bool dismissed = false;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [this, text, &dismissed, generation] {
            {
                std::lock_guard l(m_mutex);
                if (m_generation != generation) return; // the waiter has gone
            }
            ShowBox(text);
            std::lock_guard l(m_mutex);
            if (m_generation == generation) {
                dismissed = true;
                m_done.notify_all();
            }
        },
        Qt::QueuedConnection);
    m_done.wait(g, [&] { return dismissed || m_generation != generation; });
}

void QtLinkAlerts::PortOpened() {
    std::lock_guard g(m_mutex);
    m_portClosed = false;
}

void QtLinkAlerts::PortClosed() {
    std::lock_guard g(m_mutex);
    m_portClosed = true;
    ++m_generation;
    m_done.notify_all();
}

void QtLinkAlerts::DiagnosticBox(long checkPoint, const char* unit, long value) {
    Show(QString::asprintf("At %ld file %s, val=%ld", checkPoint, unit, value));
}

void QtLinkAlerts::SizeAlarm(long checkPoint, const char* unit) {
    Show(QString::asprintf("Bluetooth driver error %ld %s", checkPoint, unit));
}

void QtLinkAlerts::MessageBox(const std::u16string& text) {
    Show(QString::fromStdU16String(text));
}

void QtLinkAlerts::QuitRequest() {
    // The link asks from its receive thread; like a request on that thread's own queue, it does
    // not end the application.
}

void QtLinkAlerts::WaitCursor(bool on) {
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [on] {
            if (on)
                QApplication::setOverrideCursor(Qt::WaitCursor);
            else if (QApplication::overrideCursor())
                QApplication::restoreOverrideCursor();
        },
        Qt::QueuedConnection);
}
