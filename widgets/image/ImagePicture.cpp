#include "ImagePicture.h"

#include <QPainter>
#include <QRect>
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
