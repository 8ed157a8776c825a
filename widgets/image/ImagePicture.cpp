#include "ImagePicture.h"

#include <QPainter>
#include <QRect>
#include <cstring>
#include <vector>

#include "GifDecoder.h"

QImage DecodeGifPicture(const uint8_t* bytes, size_t size, uint32_t background) {
    // The control's colour is 0x00BBGGRR; the decoder's pixels are 0xAARRGGBB.
    const uint32_t argb = 0xFF000000u | ((background & 0xFF) << 16) | (background & 0xFF00) |
                          ((background >> 16) & 0xFF);
    CGifDecoder decoder;
    if (!bytes || decoder.Load(bytes, size, argb) == GifStatus::Refused) return QImage();
    const int width = decoder.Width();
    const int height = decoder.Height();
    QImage image(width, height, QImage::Format_RGB32);
    if (image.isNull()) return QImage();
    const std::vector<uint32_t>& pixels = decoder.Pixels();
    for (int y = 0; y < height; ++y)
        std::memcpy(image.scanLine(y), pixels.data() + size_t(y) * size_t(width),
                    size_t(width) * sizeof(uint32_t));
    return image;
}

namespace {

struct Span {
    int start;
    int length;
};

// The copies along one axis: where each starts and how long it is drawn.
std::vector<Span> Spans(int mode, int start, int length, int natural) {
    switch (mode) {
    case IMAGE_START:
        return {{start, natural}};
    case IMAGE_CENTRE:
        return {{start + length / 2 - natural / 2, natural}};
    case IMAGE_END:
        return {{start + length - natural, natural}};
    case IMAGE_TILE: {
        std::vector<Span> spans;
        const int copies = length / natural + 1;
        for (int i = 0; i < copies; ++i) spans.push_back({start + i * natural, natural});
        return spans;
    }
    default:
        return {{start, length}};
    }
}

} // namespace

void DrawImagePlacements(QPainter& painter, const QRect& rect, const QImage& picture, int alignX,
                         int alignY, bool pressed) {
    if (picture.isNull() || rect.isEmpty()) return;
    painter.save();
    painter.setClipRect(rect);
    const int shift = pressed ? 2 : 0;
    const std::vector<Span> columns = Spans(alignX, rect.x(), rect.width(), picture.width());
    const std::vector<Span> rows = Spans(alignY, rect.y(), rect.height(), picture.height());
    for (const Span& row : rows)
        for (const Span& column : columns)
            painter.drawImage(
                QRect(column.start + shift, row.start + shift, column.length, row.length), picture);
    painter.restore();
}
