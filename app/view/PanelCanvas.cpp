#include "PanelCanvas.h"

#include <QPainter>

#include "Ctrl.h"
#include "Talvex22View.h"

namespace {

QString ValueText(const CCtrl& c) {
    switch (c.m_nType) {
    case TYPE_TEXT:
        return (c.m_dwFlags & CTRLF_TEXT_MASKED) ? QString(c.m_strText.size(), u'*') : c.m_strText;
    case TYPE_DATETIME:
        return c.DateTimeText();
    case TYPE_NUMBER:
        return c.NumberText(c.NumberWidth());
    case TYPE_LIST:
        return c.m_nSelection >= 0 && c.m_nSelection < c.m_strItems.size()
                   ? c.m_strItems[c.m_nSelection]
                   : QString();
    case TYPE_LATCH:
    case TYPE_SECTION:
        return c.m_bValue ? QStringLiteral("On") : QStringLiteral("Off");
    case TYPE_PASSWORD:
        return c.m_bValue ? QStringLiteral("Logged in") : QStringLiteral("Logged out");
    case TYPE_MATRIX:
        return QStringLiteral("%1 rows").arg(c.RowsInUse());
    case TYPE_FILE:
        return c.m_strText;
    case TYPE_UNSUPPORTED:
        return QStringLiteral("???");
    default:
        return QString();
    }
}

} // namespace

PanelCanvas::PanelCanvas(CTalvex22View* view) : m_pView(view) {
    setAttribute(Qt::WA_OpaquePaintEvent, false);
}

void PanelCanvas::paintEvent(QPaintEvent*) {
    QPainter p(this);
    for (const auto& c : m_pView->Controls()) {
        if (c->m_nType == TYPE_MESSAGEBOX || c->m_pButton || c->m_pValueText || c->m_pEdit)
            continue;
        if (!m_pView->IsControlShown(*c)) continue;
        const QRect r(c->m_rcCache[0], c->m_rcCache[1], c->m_rcCache[2], c->m_rcCache[3]);
        if (r.width() <= 0 || r.height() <= 0) continue;
        const uint32_t bgr = c->m_crColour;
        p.fillRect(r, QColor(int(bgr & 0xFF), int((bgr >> 8) & 0xFF), int((bgr >> 16) & 0xFF)));
        p.setPen(QColor(96, 96, 96));
        p.drawRect(r.adjusted(0, 0, -1, -1));
        p.setPen(Qt::black);
        QFont title = font();
        title.setBold(true);
        p.setFont(title);
        const QRect inner = r.adjusted(4, 2, -4, -2);
        p.drawText(inner, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, c->m_strName);
        p.setFont(font());
        p.drawText(inner, Qt::AlignLeft | Qt::AlignBottom | Qt::TextSingleLine, ValueText(*c));
    }
}
