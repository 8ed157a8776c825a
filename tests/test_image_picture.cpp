// An Image control's picture: decoded from GIF bytes into scan lines, and drawn by placement.
#include <gtest/gtest.h>

#include <QPainter>

#include "ImagePicture.h"
#include "support/GifWriter.h"

namespace {

// A w x h picture whose column x has palette colour x % 2 (red, blue).
GifBytes Stripes(int w, int h) {
    GifSpec gifSpec;
    gifSpec.width = w;
    gifSpec.height = h;
    gifSpec.globalTable = {0xFF0000, 0x0000FF};
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) gifSpec.pixels.push_back(uint8_t(x % 2));
    return EncodeGif(gifSpec);
}

constexpr QRgb kCanvas = 0xFF00FF00; // green: not drawn

QImage Draw(const QImage& picture, QRect rect, int alignX, int alignY, bool pressed = false,
            QRect exposed = QRect(0, 0, 200, 120)) {
    QImage out(200, 120, QImage::Format_RGB32);
    out.fill(kCanvas);
    QPainter p(&out);
    DrawImagePlacements(p, rect, picture, alignX, alignY, pressed, exposed);
    return out;
}

// Columns of row y that were drawn on.
std::vector<int> DrawnColumns(const QImage& image, int y) {
    std::vector<int> xs;
    for (int x = 0; x < image.width(); ++x)
        if (image.pixel(x, y) != kCanvas) xs.push_back(x);
    return xs;
}

} // namespace

TEST(ImagePicture, DecodesIntoScanLinesAndRefusesBrokenFiles) {
    GifBytes file = Stripes(5, 3);
    QImage image = DecodeGifPicture(file.data(), file.size(), 0x123456);
    ASSERT_EQ(image.size(), QSize(5, 3));
    EXPECT_EQ(image.pixel(0, 2), 0xFFFF0000u);
    EXPECT_EQ(image.pixel(1, 2), 0xFF0000FFu);

    // Cut inside the picture data: the rest is the control's colour (0x00BBGGRR).
    GifBytes cut(file.begin(), file.end() - 6);
    QImage partial = DecodeGifPicture(cut.data(), cut.size(), 0x123456);
    ASSERT_EQ(partial.size(), QSize(5, 3));
    EXPECT_EQ(partial.pixel(4, 2), 0xFF563412u);

    const uint8_t junk[] = {'n', 'o', 't', 'G', 'I', 'F'};
    bool tooLarge = true;
    EXPECT_TRUE(DecodeGifPicture(junk, sizeof junk, 0, SIZE_MAX, &tooLarge).isNull());
    EXPECT_FALSE(tooLarge);
    EXPECT_TRUE(DecodeGifPicture(nullptr, 0, 0).isNull());
}

TEST(ImagePicture, APictureOverItsMemoryAllowanceIsRefusedAsTooLarge) {
    // 5 x 3 pixels of 4 bytes, beside the decoder's copy of the file's codes.
    const GifBytes file = Stripes(5, 3);
    bool tooLarge = false;
    EXPECT_EQ(DecodeGifPicture(file.data(), file.size(), 0, 60 + file.size(), &tooLarge).size(),
              QSize(5, 3));
    EXPECT_FALSE(tooLarge);
    EXPECT_TRUE(
        DecodeGifPicture(file.data(), file.size(), 0, 59 + file.size(), &tooLarge).isNull());
    EXPECT_TRUE(tooLarge);
}

TEST(ImagePicture, FivePlacementsPerAxis) {
    GifBytes file = Stripes(20, 10);
    const QImage picture = DecodeGifPicture(file.data(), file.size(), 0);
    const QRect rect(10, 10, 117, 57);
    auto span = [](const std::vector<int>& xs) {
        return xs.empty() ? std::pair{-1, -1} : std::pair{xs.front(), xs.back()};
    };
    // Horizontal, on the picture's first row (top placement).
    EXPECT_EQ(span(DrawnColumns(Draw(picture, rect, IMAGE_STRETCH, IMAGE_START), 10)),
              (std::pair{10, 126}));
    EXPECT_EQ(span(DrawnColumns(Draw(picture, rect, IMAGE_START, IMAGE_START), 10)),
              (std::pair{10, 29}));
    EXPECT_EQ(span(DrawnColumns(Draw(picture, rect, IMAGE_CENTRE, IMAGE_START), 10)),
              (std::pair{10 + 58 - 10, 10 + 58 + 9}));
    EXPECT_EQ(span(DrawnColumns(Draw(picture, rect, IMAGE_END, IMAGE_START), 10)),
              (std::pair{107, 126}));
    // Tiled: 117 / 20 + 1 = 6 copies, the last clipped at the control's edge.
    QImage tiled = Draw(picture, rect, IMAGE_TILE, IMAGE_START);
    EXPECT_EQ(span(DrawnColumns(tiled, 10)), (std::pair{10, 126}));
    EXPECT_EQ(tiled.pixel(110, 10), picture.pixel(0, 0)); // sixth copy starts at 10 + 100
    EXPECT_EQ(tiled.pixel(127, 10), kCanvas);

    // Vertical, on the picture's first column (left placement).
    auto rows = [&](int alignY) {
        QImage out = Draw(picture, rect, IMAGE_START, alignY);
        std::vector<int> ys;
        for (int y = 0; y < out.height(); ++y)
            if (out.pixel(10, y) != kCanvas) ys.push_back(y);
        return span(ys);
    };
    EXPECT_EQ(rows(IMAGE_STRETCH), (std::pair{10, 66}));
    EXPECT_EQ(rows(IMAGE_START), (std::pair{10, 19}));
    EXPECT_EQ(rows(IMAGE_CENTRE), (std::pair{10 + 28 - 5, 10 + 28 + 4}));
    EXPECT_EQ(rows(IMAGE_END), (std::pair{57, 66}));
    EXPECT_EQ(rows(IMAGE_TILE), (std::pair{10, 66}));
}

TEST(ImagePicture, APressedPictureMovesTwoPixelsWithinItsClip) {
    GifBytes file = Stripes(20, 10);
    const QImage picture = DecodeGifPicture(file.data(), file.size(), 0);
    QImage pressed = Draw(picture, QRect(10, 10, 117, 57), IMAGE_START, IMAGE_START, true);
    EXPECT_EQ(pressed.pixel(11, 12), kCanvas);
    EXPECT_EQ(pressed.pixel(12, 12), picture.pixel(0, 0));
    EXPECT_EQ(pressed.pixel(31, 19), picture.pixel(19, 7));
    // Nothing outside the control, however it is placed.
    QImage end = Draw(picture, QRect(10, 10, 117, 57), IMAGE_END, IMAGE_END, true);
    EXPECT_EQ(end.pixel(127, 67), kCanvas);
    EXPECT_NE(end.pixel(126, 66), kCanvas);
}

TEST(ImagePicture, TilingDrawsOnlyTheExposedPartOfAnyRectangle) {
    // A width and height from a layout record far beyond any panel: 5 x 10^8 copies a row.
    GifBytes file = Stripes(2, 1);
    const QImage picture = DecodeGifPicture(file.data(), file.size(), 0);
    const QRect huge(10, 10, 1'000'000'000, 1'000'000'000);
    QImage out = Draw(picture, huge, IMAGE_TILE, IMAGE_TILE, false, QRect(0, 0, 100, 50));
    for (int x = 10; x < 100; ++x) EXPECT_EQ(out.pixel(x, 49), picture.pixel(x % 2, 0)) << x;
    EXPECT_EQ(out.pixel(100, 20), kCanvas);
    EXPECT_EQ(out.pixel(20, 50), kCanvas);
    // Pressed, the pattern moves with the copies; tiled one way, stretched the other.
    out = Draw(picture, huge, IMAGE_TILE, IMAGE_STRETCH, true);
    EXPECT_EQ(out.pixel(11, 20), kCanvas);
    EXPECT_EQ(out.pixel(12, 119), picture.pixel(0, 0));
    EXPECT_EQ(out.pixel(199, 119), picture.pixel(1, 0));
}
