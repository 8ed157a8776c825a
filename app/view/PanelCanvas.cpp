#include "PanelCanvas.h"

#include <QImage>
#include <QPaintEvent>
#include <QPainter>

#include "Ctrl.h"
#include "ImagePicture.h"
#include "Talvex22View.h"

PanelCanvas::PanelCanvas(CTalvex22View* view) : m_pView(view) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void PanelCanvas::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    p.fillRect(event->rect(), Qt::white);
    for (const auto& c : m_pView->Controls()) {
        if (c->m_nType != TYPE_IMAGE || !c->m_bImageShown) continue;
        // The picture takes the body: below the title when the title is shown.
        const int title = c->m_bShowTitle ? c->m_nTitleFontSize : 0;
        const QRect r(c->m_rcCache[0], c->m_rcCache[1] + title, c->m_rcCache[2],
                      c->m_rcCache[3] - title);
        if (r.width() <= 0 || r.height() <= 0 || !r.intersects(event->rect())) continue;
        // Only the picture's copies are drawn: around them, and for a refused picture, the
        // panel's background shows.
        if (c->m_pBitmap && !c->m_pBitmap->isNull())
            DrawImagePlacements(p, r, *c->m_pBitmap, c->m_nImageAlignX, c->m_nImageAlignY,
                                c->m_bImagePressed, event->rect());
    }
}
