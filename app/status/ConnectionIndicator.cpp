#include "ConnectionIndicator.h"

#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QStringList>

namespace {

const QString kSeparator = QStringLiteral("  |  ");
constexpr qint64 kSilentShownMs = 2000;
constexpr int kSavedShownMs = 8000;

QString Size(qint64 bytes) {
    return QLocale().formattedDataSize(bytes, 1);
}

QString Seconds(qint64 ms) {
    return QStringLiteral("%1 s").arg(ms / 1000);
}

} // namespace

CConnectionIndicator::CConnectionIndicator(QWidget* parent) : QWidget(parent) {
    // As tall as one line and as wide as the toolbar leaves: a longer text is cut, never making
    // the toolbar (and so the panel below it) change its size.
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setFixedHeight(fontMetrics().height());
    m_savedTimer.setSingleShot(true);
    m_savedTimer.setInterval(kSavedShownMs);
    connect(&m_savedTimer, &QTimer::timeout, this, [this] { SetSaved({}, {}); });
    Changed();
}

void CConnectionIndicator::SetStatus(const ConnectionStatus& status) {
    m_status = status;
    Changed();
}

void CConnectionIndicator::SetPage(int page, int count) {
    if (page == m_nPage && count == m_nPageCount) return;
    m_nPage = page;
    m_nPageCount = count;
    Changed();
}

void CConnectionIndicator::SetTransfer(const QString& name, qint64 received, qint64 total,
                                       double bytesPerSecond) {
    QString amount =
        total > 0 ? QStringLiteral("%1 of %2").arg(Size(received), Size(total)) : Size(received);
    QString rate =
        bytesPerSecond > 0 ? QStringLiteral(", %1/s").arg(Size(qint64(bytesPerSecond))) : QString();
    m_strTransfer = QStringLiteral("%1 %2%3").arg(name, amount, rate);
    // One pass over the pattern: a device's file name is never read as one.
    m_strTransferDetails =
        QStringLiteral("Receiving %1: %2 bytes%3%4")
            .arg(name, QString::number(received),
                 total > 0 ? QStringLiteral(" of %1").arg(total) : QString(), rate);
    Changed();
}

void CConnectionIndicator::ClearTransfer() {
    m_strTransfer.clear();
    m_strTransferDetails.clear();
    Changed();
}

void CConnectionIndicator::SetBroker(const QString& state) {
    m_strBroker = state;
    Changed();
}

void CConnectionIndicator::SetSaved(const QString& what, const QString& folder) {
    // One pass over the pattern: a device's file name is never read as one.
    m_strSaved = what.isEmpty() ? QString() : QStringLiteral("Saved %1 in %2").arg(what, folder);
    m_strSavedFolder = folder;
    if (what.isEmpty()) {
        m_savedTimer.stop();
        unsetCursor();
    } else {
        m_savedTimer.start();
        setCursor(Qt::PointingHandCursor);
    }
    Changed();
}

void CConnectionIndicator::mousePressEvent(QMouseEvent* event) {
    if (SavedShown() && event->button() == Qt::LeftButton) emit FolderRequested(m_strSavedFolder);
    QWidget::mousePressEvent(event);
}

QString CConnectionIndicator::StateText() const {
    using State = ConnectionStatus::State;
    switch (m_status.state) {
    case State::NotConnected:
        return QStringLiteral("Not connected");
    case State::Connecting:
        return QStringLiteral("Connecting to %1").arg(m_status.port);
    case State::Live:
        return QStringLiteral("Live on %1").arg(m_status.port);
    case State::Lost:
        return QStringLiteral("Lost: %1").arg(m_status.reason);
    case State::Reconnecting:
        return QStringLiteral("Reconnecting in %1 s").arg(m_status.retryInSeconds);
    }
    return {};
}

QString CConnectionIndicator::Text() const {
    QStringList parts{StateText()};
    const bool live = m_status.state == ConnectionStatus::State::Live;
    // A device without pings may be silent by design: only the tooltip tells its age then.
    if (live && m_status.pingOn && m_status.silentMs > kSilentShownMs)
        parts << QStringLiteral("last message %1 ago").arg(Seconds(m_status.silentMs));
    if (live && m_status.pingOn) {
        QString ping = m_status.pingMs >= 0 ? QStringLiteral("ping %1 ms").arg(m_status.pingMs)
                                            : QStringLiteral("ping -");
        if (m_status.missedPings > 0)
            ping += QStringLiteral(", %1 missed").arg(m_status.missedPings);
        parts << ping;
    }
    if (m_nPageCount > 1)
        parts << QStringLiteral("Page %1 of %2").arg(m_nPage + 1).arg(m_nPageCount);
    if (!m_strTransfer.isEmpty()) parts << m_strTransfer;
    if (!m_strSaved.isEmpty()) parts << m_strSaved;
    if (!m_strBroker.isEmpty()) parts << m_strBroker;
    return parts.join(kSeparator);
}

QString CConnectionIndicator::Details() const {
    QStringList lines{StateText()};
    if (!m_status.port.isEmpty()) lines << QStringLiteral("Port: %1").arg(m_status.port);
    if (m_status.state == ConnectionStatus::State::Reconnecting) {
        lines << QStringLiteral("Lost: %1").arg(m_status.reason);
        if (!m_status.attemptError.isEmpty())
            lines << QStringLiteral("Last attempt: %1").arg(m_status.attemptError);
    }
    if (m_status.silentMs >= 0)
        lines << QStringLiteral("Last message from the device: %1 ago")
                     .arg(Seconds(m_status.silentMs));
    if (m_status.pingOn || m_status.missedPings > 0) {
        QString ping = m_status.pingMs >= 0
                           ? QStringLiteral("Last ping answered in %1 ms").arg(m_status.pingMs)
                           : QStringLiteral("No ping answered yet");
        lines << ping + QStringLiteral(", %1 missed").arg(m_status.missedPings);
    }
    if (m_nPageCount > 1)
        lines << QStringLiteral("Page %1 of %2").arg(m_nPage + 1).arg(m_nPageCount);
    if (!m_strTransferDetails.isEmpty()) lines << m_strTransferDetails;
    if (!m_strSaved.isEmpty()) lines << m_strSaved + QStringLiteral(" (click to show the folder)");
    return lines.join(QLatin1Char('\n'));
}

void CConnectionIndicator::Changed() {
    // Only what the line or the tooltip shows costs a repaint: a device answering many times
    // a second leaves both as they are.
    QString text = Text();
    QString details = Details();
    if (text == m_strShown && details == m_strShownDetails) return;
    m_strShown = std::move(text);
    m_strShownDetails = std::move(details);
    // Escaped: a reason or a port path is never taken for markup.
    setToolTip(
        QStringLiteral("<p style='white-space:pre'>%1</p>").arg(m_strShownDetails.toHtmlEscaped()));
    update();
}

QSize CConnectionIndicator::sizeHint() const {
    return {fontMetrics().averageCharWidth() * 40, fontMetrics().height()};
}

QSize CConnectionIndicator::minimumSizeHint() const {
    return {0, fontMetrics().height()};
}

void CConnectionIndicator::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect area = rect().adjusted(0, 0, -fontMetrics().averageCharWidth(), 0);
    painter.drawText(area, Qt::AlignRight | Qt::AlignVCenter,
                     fontMetrics().elidedText(m_strShown, Qt::ElideRight, area.width()));
}
