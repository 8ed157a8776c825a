#include "ChartImage.h"

#include <QImage>
#include <QPainter>
#include <QSaveFile>
#include <QSvgGenerator>

#include "ChartPainter.h"

FileWrite SaveChartImage(const CCtrl& ctrl, const QSize& size, const QString& path) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return FileWrite::OpenError;
    const QRect area(QPoint(0, 0), size);
    bool written = true;
    if (path.endsWith(QLatin1String(".svg"), Qt::CaseInsensitive)) {
        QSvgGenerator svg;
        svg.setOutputDevice(&file);
        svg.setSize(size);
        svg.setViewBox(area);
        QPainter p(&svg);
        DrawMatrixChart(p, area, ctrl, true);
    } else {
        QImage image(size, QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter p(&image);
        DrawMatrixChart(p, area, ctrl, true);
        p.end();
        written = image.save(&file, "PNG");
    }
    if (!written || !file.flush() || file.error() != QFileDevice::NoError) {
        file.cancelWriting();
        return FileWrite::WriteError;
    }
    return file.commit() ? FileWrite::Written : FileWrite::WriteError;
}
