#include "LinkBridge.h"

#include <QApplication>
#include <QCursor>

#include "CtrlHost.h"

QEvent::Type LinkMessageEvent::EventType() {
    static const QEvent::Type type = QEvent::Type(QEvent::registerEventType());
    return type;
}

void QtLinkNotifier::PostOutcome(void* window, uint32_t message) {
    if (window)
        QCoreApplication::postEvent(static_cast<QObject*>(window), new LinkMessageEvent(message));
}

void QtLinkAlerts::DiagnosticBox(long checkPoint, const char* unit, long value) {
    m_boxes.Post(DiagnosticText(checkPoint, unit, value));
}

void QtLinkAlerts::SizeAlarm(long checkPoint, const char* unit) {
    m_boxes.Post(SizeAlarmText(checkPoint, unit));
}

void QtLinkAlerts::MessageBox(const std::u16string& text) {
    m_boxes.Post(QString::fromStdU16String(text));
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
