#include "ProtocolMonitor.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QHideEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QShowEvent>
#include <QTableView>
#include <QTextStream>
#include <QVBoxLayout>

#include "Frame.h"
#include "FrameTap.h"
#include "WindowModal.h"

namespace {

// About two frames of a 60 Hz screen: smooth to the eye, few enough insertions at any rate.
constexpr int kFlushMs = 25;

const uint16_t kSentCodes[] = {MSG_CONNECT,        MSG_DISCONNECT, MSG_CLIENT_VALUES, MSG_PING,
                               MSG_PRESENCE_REPLY, MSG_ACK,        MSG_REQUEST};
const uint16_t kReceivedCodes[] = {MSG_DEVICE_CLOSED,    MSG_PANEL_INFO,     MSG_DEVICE_CLOSED_ALT,
                                   MSG_PANEL_DEFINITION, MSG_PRESENCE_QUERY, MSG_DEVICE_VALUES,
                                   MSG_PING_REPLY,       MSG_DEVICE_ACK,     MSG_PANEL_CHANGED,
                                   MSG_ATTRIBUTES,       MSG_FILES,          MSG_LAYOUT_RECORDS,
                                   MSG_MATRIX_ROWS};

} // namespace

ProtocolMonitor::ProtocolMonitor(FrameTap& tap, QWidget* parent)
    : QWidget(parent, Qt::Window), m_tap(tap) {
    setWindowTitle(QStringLiteral("Protocol Monitor"));
    m_filter.setSourceModel(&m_model);

    m_pause = new QCheckBox(QStringLiteral("&Pause"));
    auto* clear = new QPushButton(QStringLiteral("C&lear"));
    m_codes = new QComboBox;
    m_codes->addItem(QStringLiteral("All messages"), FrameCodeFilter::kAll);
    for (uint16_t code : kSentCodes)
        m_codes->addItem(
            QStringLiteral("sent %1 (%2)").arg(QLatin1String(FrameCodeName(code, true))).arg(code),
            FrameCodeFilter::Key(code, true));
    for (uint16_t code : kReceivedCodes)
        m_codes->addItem(QStringLiteral("received %1 (%2)")
                             .arg(QLatin1String(FrameCodeName(code, false)))
                             .arg(code),
                         FrameCodeFilter::Key(code, false));
    auto* save = new QPushButton(QStringLiteral("&Save..."));
    m_capture = new QPushButton(QStringLiteral("Save &Capture..."));
    m_capture->setEnabled(false); // until a capture is given
    m_count = new QLabel;
    // Wide enough for any count: the bar is not laid out again as frames stream in.
    m_count->setMinimumWidth(
        fontMetrics().horizontalAdvance(QStringLiteral("10000 of 10000 frames")));

    auto* bar = new QHBoxLayout;
    bar->addWidget(m_pause);
    bar->addWidget(clear);
    bar->addWidget(new QLabel(QStringLiteral("Show:")));
    bar->addWidget(m_codes);
    bar->addWidget(save);
    bar->addWidget(m_capture);
    bar->addStretch();
    bar->addWidget(m_count);

    m_table = new QTableView;
    m_table->setModel(&m_filter);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setWordWrap(false);
    m_table->verticalHeader()->hide();
    // Fixed row heights and column widths: nothing is measured per row as frames stream in.
    m_table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_table->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    const int widths[] = {90, 70, 190, 60, 60};
    for (int c = 0; c < FrameTableModel::Decode; ++c) m_table->setColumnWidth(c, widths[c]);
    m_table->horizontalHeader()->setStretchLastSection(true);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    layout->addWidget(m_table);
    resize(900, 480);

    connect(m_pause, &QCheckBox::toggled, this, &ProtocolMonitor::SetPaused);
    connect(clear, &QPushButton::clicked, this, &ProtocolMonitor::Clear);
    connect(m_codes, &QComboBox::currentIndexChanged, this, [this](int index) {
        m_filter.SetKey(m_codes->itemData(index).toInt());
        UpdateCount();
    });
    connect(save, &QPushButton::clicked, this, &ProtocolMonitor::Save);
    connect(m_capture, &QPushButton::clicked, this, &ProtocolMonitor::ToggleCapture);
    m_flush.setInterval(kFlushMs);
    connect(&m_flush, &QTimer::timeout, this, &ProtocolMonitor::Flush);
    UpdateCount();
}

ProtocolMonitor::~ProtocolMonitor() {
    m_tap.SetWatching(false);
}

void ProtocolMonitor::SetPaused(bool paused) {
    m_paused = paused;
    if (m_pause->isChecked() != paused) m_pause->setChecked(paused);
    UpdateWatching();
}

void ProtocolMonitor::Clear() {
    m_tap.Take();
    m_model.Clear();
    UpdateCount();
}

void ProtocolMonitor::SetCodeFilter(int key) {
    const int index = m_codes->findData(key);
    if (index >= 0) m_codes->setCurrentIndex(index);
}

void ProtocolMonitor::Flush() {
    std::deque<DecodedFrame> batch = m_tap.Take();
    if (batch.empty()) return;
    QScrollBar* bar = m_table->verticalScrollBar();
    const bool following = bar->value() == bar->maximum();
    m_model.Append(std::move(batch));
    if (following) m_table->scrollToBottom();
    UpdateCount();
}

bool ProtocolMonitor::SaveTo(const QString& path, QString* error) const {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
        if (error) *error = file.errorString();
        return false;
    }
    QTextStream out(&file);
    for (int row = 0; row < m_filter.rowCount(); ++row) {
        const DecodedFrame& f = m_model.FrameAt(m_filter.mapToSource(m_filter.index(row, 0)).row());
        for (int c = 0; c < FrameTableModel::ColumnCount; ++c)
            out << (c ? "\t" : "") << FrameTableModel::Text(f, c);
        out << '\n';
    }
    out.flush();
    if (out.status() != QTextStream::Ok || !file.flush()) {
        if (error) *error = file.errorString();
        return false;
    }
    return true;
}

void ProtocolMonitor::Save() {
    QFileDialog chooser(this, QStringLiteral("Save Frames"), QStringLiteral("frames.txt"),
                        QStringLiteral("Text files (*.txt)"));
    chooser.setAcceptMode(QFileDialog::AcceptSave);
    if (ExecWindowModal(chooser) != QDialog::Accepted || chooser.selectedFiles().isEmpty()) return;
    const QString path = chooser.selectedFiles().constFirst();
    QString error;
    if (SaveTo(path, &error)) return;
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Protocol Monitor"),
                    QStringLiteral("Could not save %1: %2").arg(path, error), QMessageBox::Ok,
                    this);
    ExecWindowModal(box);
}

void ProtocolMonitor::SetCapture(PcapCapture* capture, std::function<CaptureSource()> source) {
    m_captureFile = capture;
    m_captureSource = std::move(source);
    m_capture->setEnabled(capture != nullptr);
    if (!capture) return;
    connect(capture, &PcapCapture::CapturingChanged, this, &ProtocolMonitor::ShowCapturing);
    ShowCapturing(capture->IsCapturing());
}

bool ProtocolMonitor::StartCapture(const QString& path, QString* error) {
    if (!m_captureFile) return false;
    return m_captureFile->Start(path, m_captureSource ? m_captureSource() : CaptureSource{}, error);
}

void ProtocolMonitor::ShowCapturing(bool capturing) {
    m_capture->setText(capturing ? QStringLiteral("Stop &Capture")
                                 : QStringLiteral("Save &Capture..."));
    m_capture->setToolTip(capturing ? QStringLiteral("Capturing to %1").arg(m_captureFile->Path())
                                    : QStringLiteral("Capture every frame from now on to a "
                                                     "pcapng file (Wireshark)"));
}

void ProtocolMonitor::ToggleCapture() {
    if (!m_captureFile) return;
    if (m_captureFile->IsCapturing()) {
        m_captureFile->Stop();
        return;
    }
    QFileDialog chooser(this, QStringLiteral("Save Capture"), QStringLiteral("talvex.pcapng"),
                        QStringLiteral("Captures (*.pcapng)"));
    chooser.setAcceptMode(QFileDialog::AcceptSave);
    chooser.setDefaultSuffix(QStringLiteral("pcapng"));
    if (ExecWindowModal(chooser) != QDialog::Accepted || chooser.selectedFiles().isEmpty()) return;
    const QString path = chooser.selectedFiles().constFirst();
    QString error;
    if (StartCapture(path, &error)) return;
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Protocol Monitor"),
                    QStringLiteral("Could not capture to %1: %2").arg(path, error), QMessageBox::Ok,
                    this);
    ExecWindowModal(box);
}

void ProtocolMonitor::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (event->spontaneous()) return; // restored from the task bar: it was watching already
    m_open = true;
    UpdateWatching();
}

void ProtocolMonitor::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    if (event->spontaneous()) return; // minimised: it keeps recording
    m_open = false;
    UpdateWatching();
    Flush(); // what came in while it was open
}

void ProtocolMonitor::UpdateWatching() {
    const bool watching = m_open && !m_paused;
    m_tap.SetWatching(watching);
    if (m_open)
        m_flush.start();
    else
        m_flush.stop();
}

void ProtocolMonitor::UpdateCount() {
    const int shown = m_filter.rowCount(), held = m_model.rowCount();
    m_count->setText(shown == held ? QStringLiteral("%1 frames").arg(held)
                                   : QStringLiteral("%1 of %2 frames").arg(shown).arg(held));
}
