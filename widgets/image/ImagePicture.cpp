#include "ImagePicture.h"

#include <QBrush>
#include <QPainter>
#include <QRect>
#include <QTransform>
#include <algorithm>
#include <new>
#include <vector>

#include "GifDecoder.h"

QImage DecodeGifPicture(const uint8_t* bytes, size_t size, uint32_t background, size_t maxBytes,
                        bool* tooLarge) {
    if (tooLarge) *tooLarge = false;
    if (!bytes) return QImage();
    // The control's colour is 0x00BBGGRR; the decoder's pixels are 0xAARRGGBB.
    const uint32_t argb = 0xFF000000u | ((background & 0xFF) << 16) | (background & 0xFF00) |
                          ((background >> 16) & 0xFF);
    CGifDecoder decoder((maxBytes - std::min(maxBytes, size)) / sizeof(uint32_t));
    GifStatus status = GifStatus::TooLarge;
    try {
        status = decoder.Load(bytes, size, argb);
    } catch (const std::bad_alloc&) {
        // No memory for it: refused like a picture over the allowance.
    }
    if (status == GifStatus::TooLarge && tooLarge) *tooLarge = true;
    if (status == GifStatus::Refused || status == GifStatus::TooLarge) return QImage();
    // The image keeps the decoder's pixels rather than a copy of them.
    const int width = decoder.Width();
    const int height = decoder.Height();
    auto* pixels = new std::vector<uint32_t>(decoder.TakePixels());
    QImage image(
        reinterpret_cast<uchar*>(pixels->data()), width, height,
        qsizetype(width) * qsizetype(sizeof(uint32_t)), QImage::Format_RGB32,
        [](void* p) { delete static_cast<std::vector<uint32_t>*>(p); }, pixels);
    if (image.isNull()) delete pixels;
    return image;
}

namespace {

constexpr int kMinTile = 64;

// The copies along one axis: where the first starts, how long each is drawn, how many there are.
struct Copies {
    qint64 start;
    qint64 length;
    qint64 count;
};

Copies Place(int mode, qint64 start, qint64 length, qint64 natural) {
    switch (mode) {
    case IMAGE_START:
        return {start, natural, 1};
    case IMAGE_CENTRE:
        return {start + length / 2 - natural / 2, natural, 1};
    case IMAGE_END:
        return {start + length - natural, natural, 1};
    case IMAGE_TILE:
        return {start, natural, length / natural + 1};
    default:
        return {start, length, 1};
    }
}

} // namespace

void DrawImagePlacements(QPainter& painter, const QRect& rect, const QImage& picture, int alignX,
                         int alignY, bool pressed, const QRect& exposed) {
    const QRect visible = rect & exposed;
    if (picture.isNull() || visible.isEmpty()) return;
    const int shift = pressed ? 2 : 0;
    const Copies x = Place(alignX, qint64(rect.x()) + shift, rect.width(), picture.width());
    const Copies y = Place(alignY, qint64(rect.y()) + shift, rect.height(), picture.height());
    // What the copies cover of the visible part.
    const qint64 left = std::max<qint64>(x.start, visible.left());
    const qint64 top = std::max<qint64>(y.start, visible.top());
    const qint64 right = std::min<qint64>(x.start + x.length * x.count, visible.right() + 1);
    const qint64 bottom = std::min<qint64>(y.start + y.length * y.count, visible.bottom() + 1);
    if (left >= right || top >= bottom) return;
    const QRect area(int(left), int(top), int(right - left), int(bottom - top));
    painter.save();
    try {
        if (x.count == 1 && y.count == 1) {
            painter.setClipRect(area);
            painter.drawImage(
                QRectF(qreal(x.start), qreal(y.start), qreal(x.length), qreal(y.length)), picture);
        } else {
            // Tiled copies are one repeating pattern: a single fill of the area. A picture of a
            // few pixels is repeated into a larger tile first, which fills several times faster.
            const int across = x.count > 1 ? (kMinTile - 1) / picture.width() + 1 : 1;
            const int down = y.count > 1 ? (kMinTile - 1) / picture.height() + 1 : 1;
            QImage tile = picture;
            if (across > 1 || down > 1) {
                QImage repeated(picture.width() * across, picture.height() * down,
                                picture.format());
                if (!repeated.isNull()) {
                    QPainter repeat(&repeated);
                    repeat.fillRect(repeated.rect(), QBrush(picture));
                    repeat.end();
                    tile = repeated;
                }
            }
            QBrush pattern(tile);
            pattern.setTransform(QTransform(qreal(x.length) / picture.width(), 0, 0,
                                            qreal(y.length) / picture.height(), qreal(x.start),
                                            qreal(y.start)));
            painter.fillRect(area, pattern);
        }
    } catch (const std::bad_alloc&) {
        // Left undrawn this time; the next paint tries again.
    }
    painter.restore();
}
