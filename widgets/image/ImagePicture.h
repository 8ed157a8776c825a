// The picture of an Image control: a GIF file's bytes decoded into a QImage, and drawn into the
// control's rectangle with one of five placements per axis.
#pragma once

#include <QImage>
#include <cstddef>
#include <cstdint>

class QPainter;
class QRect;

// Placement of the picture along one axis (stored layout values).
enum ImagePlacement : int {
    IMAGE_STRETCH = 0,
    IMAGE_START = 1, // left or top
    IMAGE_CENTRE = 2,
    IMAGE_END = 3, // right or bottom
    IMAGE_TILE = 4,
};

// The decoded picture; a refused file gives a null image. Pixels the file did not deliver are
// `background` (0x00BBGGRR, the control's colour). The picture is decoded in place, so it takes
// 4 bytes a pixel; one that would take more than `maxBytes` with the decoder's copy of the file's
// codes, or that memory cannot be found for, is refused with `tooLarge` set.
QImage DecodeGifPicture(const uint8_t* bytes, size_t size, uint32_t background,
                        size_t maxBytes = SIZE_MAX, bool* tooLarge = nullptr);

// Draws `picture` into `rect`, clipped to it, placed by alignX and alignY; a pressed control is
// drawn 2 pixels right and down. Only what lies in `exposed` is drawn: the time taken follows the
// exposed area, not the number of tiled copies.
void DrawImagePlacements(QPainter& painter, const QRect& rect, const QImage& picture, int alignX,
                         int alignY, bool pressed, const QRect& exposed);
