#include "MatrixDlg.h"

#include <QFontMetrics>
#include <QHeaderView>
#include <QPainter>
#include <QPushButton>
#include <QTableView>
#include <algorithm>

#include "ChartPainter.h"
#include "Ctrl.h"
#include "FrameThrottle.h"
#include "MatrixTableModel.h"
#include "MatrixViews.h"

namespace {

// Dialog units: a quarter of the font's average character width, an eighth of its height.
class DialogUnits {
public:
    explicit DialogUnits(const QFont& font) {
        const QFontMetrics fm(font);
        const int letters = fm.horizontalAdvance(
            QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
        m_x = (letters / 26 + 1) / 2;
        m_y = fm.height();
    }
    QSize Size(int w, int h) const { return QSize(w * m_x / 4, h * m_y / 8); }

private:
    int m_x, m_y;
};

constexpr int kMinChartWidth = 160;
constexpr int kMinChartHeight = 120;

} // namespace

CMatrixDlg::CMatrixDlg(CCtrl& ctrl, QWidget* parent)
    : QDialog(parent), m_pCtrl(&ctrl), m_lifetime(ctrl.Lifetime()),
      m_pModel(new MatrixTableModel(ctrl, this)), m_pList(new QTableView(this)),
      m_pHash(new QPushButton(QStringLiteral("#"), this)),
      m_pClose(new QPushButton(tr("Close"), this)),
      m_pSaveComma(new QPushButton(QStringLiteral("Save ','"), this)),
      m_pSaveSemicolon(new QPushButton(QStringLiteral("Save ';'"), this)),
      m_pSaveImage(new QPushButton(tr("Save Image..."), this)),
      m_pRepaint(new FrameThrottle([this] { update(); }, this)) {
    ctrl.m_pMatrixDlg = this;
    setWindowTitle(QStringLiteral("Matrix Data  Display"));
    const DialogUnits du(font());
    resize(du.Size(370, 261));
    m_pList->setGeometry(QRect(QPoint(7, 7), du.Size(300, 247)));
    m_pHash->resize(du.Size(12, 14));
    m_pClose->resize(du.Size(24, 14));
    m_pSaveComma->resize(du.Size(36, 14));
    m_pSaveSemicolon->resize(du.Size(36, 14));
    m_pSaveImage->resize(std::max(du.Size(36, 14).width(), m_pSaveImage->sizeHint().width()),
                         du.Size(36, 14).height());
    for (QPushButton* b : {m_pHash, m_pClose, m_pSaveComma, m_pSaveSemicolon, m_pSaveImage})
        b->setAutoDefault(false);
    ConfigureMatrixTable(m_pList, m_pModel);

    connect(m_pHash, &QPushButton::clicked, this, &CMatrixDlg::ToggleView);
    connect(m_pClose, &QPushButton::clicked, this, &QDialog::close);
    connect(m_pSaveComma, &QPushButton::clicked, this, [this] { SaveCsv(QLatin1Char(',')); });
    connect(m_pSaveSemicolon, &QPushButton::clicked, this, [this] { SaveCsv(QLatin1Char(';')); });
    connect(m_pSaveImage, &QPushButton::clicked, this, &CMatrixDlg::SaveImage);

    // Room for the buttons beside a chart that can still be read.
    const int buttons = m_pClose->height() + m_pSaveComma->height() + m_pSaveSemicolon->height() +
                        m_pSaveImage->height();
    setMinimumSize(ButtonColumnWidth() + 20 + kMinChartWidth,
                   std::max(kMinChartHeight, buttons + 20));

    m_bShowTable = ctrl.m_nStyle == 3;
    m_pHash->setVisible(!m_bShowTable);
    ShowView();
    PlaceControls();
}

CMatrixDlg::~CMatrixDlg() {
    if (CCtrl* ctrl = Control(); ctrl && ctrl->m_pMatrixDlg == this) ctrl->m_pMatrixDlg = nullptr;
}

CCtrl* CMatrixDlg::Control() const {
    return m_lifetime.expired() ? nullptr : m_pCtrl;
}

void CMatrixDlg::SetMatrixData() {
    m_pModel->MatrixChanged();
    if (!m_bShowTable) m_pRepaint->Request();
}

void CMatrixDlg::Detach() {
    if (CCtrl* ctrl = Control(); ctrl && ctrl->m_pMatrixDlg == this) ctrl->m_pMatrixDlg = nullptr;
    m_lifetime.reset();
    m_pCtrl = nullptr;
    close();
}

void CMatrixDlg::ToggleView() {
    m_bShowTable = !m_bShowTable;
    ShowView();
    update();
}

void CMatrixDlg::ShowView() {
    // The table reads the rows it shows; bring it up to date before it shows again.
    if (m_bShowTable) m_pModel->Sync();
    m_pList->setVisible(m_bShowTable);
}

int CMatrixDlg::ButtonColumnWidth() const {
    return std::max({m_pHash->width() + m_pClose->width(), m_pSaveComma->width(),
                     m_pSaveSemicolon->width(), m_pSaveImage->width()});
}

QRect CMatrixDlg::ChartArea() const {
    // The buttons have a column of their own: they never stand on the newest data.
    return QRect(0, 0, std::max(1, width() - ButtonColumnWidth() - 20), height());
}

void CMatrixDlg::PlaceControls() {
    const int cx = width();
    m_pClose->move(cx - m_pClose->width() - 10, 10);
    m_pHash->move(m_pClose->x() - m_pHash->width(), 10);
    m_pSaveComma->move(cx - m_pSaveComma->width() - 10, 10 + m_pClose->height());
    m_pSaveSemicolon->move(cx - m_pSaveSemicolon->width() - 10,
                           10 + m_pClose->height() + m_pSaveSemicolon->height());
    m_pSaveImage->move(cx - m_pSaveImage->width() - 10,
                       m_pSaveSemicolon->y() + m_pSaveSemicolon->height());
    const QRect chart = ChartArea();
    m_pList->setGeometry(10, 10, std::max(1, chart.width() - 10), std::max(1, height() - 30));
    update();
}

void CMatrixDlg::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    PlaceControls();
}

void CMatrixDlg::paintEvent(QPaintEvent* event) {
    const CCtrl* ctrl = Control();
    if (m_bShowTable || !ctrl) {
        QDialog::paintEvent(event);
        return;
    }
    QPainter p(this);
    DrawMatrixChart(p, ChartArea(), *ctrl, true);
}

CMatrixDlg* OpenMatrixDialog(CCtrl& ctrl, QWidget* parent) {
    if (auto* open = qobject_cast<CMatrixDlg*>(ctrl.m_pMatrixDlg)) {
        open->raise();
        open->activateWindow();
        return open;
    }
    auto* dialog = new CMatrixDlg(ctrl, parent);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    // Modal to the program's window only: a device's message box stays answerable.
    dialog->setWindowModality(Qt::WindowModal);
    dialog->show();
    return dialog;
}

void CloseMatrixDialog(CCtrl& ctrl) {
    if (auto* open = qobject_cast<CMatrixDlg*>(ctrl.m_pMatrixDlg)) open->Detach();
    ctrl.m_pMatrixDlg = nullptr;
}
