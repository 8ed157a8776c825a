// CGifDecoder: known pictures pixel for pixel, damaged and hostile files, truncation everywhere.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "GifDecoder.h"
#include "support/GifWriter.h"

namespace {

constexpr uint32_t kBackground = 0x12345678; // not an opaque palette colour
const std::vector<uint32_t> kFour = {0xFF0000, 0x00FF00, 0x0000FF, 0x808080};

struct Decoded {
    GifStatus status;
    int width, height;
    std::vector<uint32_t> pixels;
};

Decoded Decode(const GifBytes& file, size_t size = SIZE_MAX) {
    CGifDecoder d;
    GifStatus s = d.Load(file.data(), std::min(size, file.size()), kBackground);
    EXPECT_EQ(s, d.Status());
    EXPECT_EQ(d.Pixels().size(), size_t(d.Width()) * size_t(d.Height()));
    return {s, d.Width(), d.Height(), d.TakePixels()};
}

std::vector<uint32_t> Colours(const std::vector<uint8_t>& indices,
                              const std::vector<uint32_t>& table) {
    std::vector<uint32_t> out;
    for (uint8_t i : indices) out.push_back(0xFF000000 | table[i]);
    return out;
}

std::vector<uint32_t> Palette256() {
    std::vector<uint32_t> t;
    for (uint32_t i = 0; i < 256; ++i) t.push_back(i * 0x010305 & 0xFFFFFF);
    return t;
}

GifSpec Picture(int w, int h, std::vector<uint32_t> table) {
    GifSpec s;
    s.width = w;
    s.height = h;
    s.globalTable = std::move(table);
    return s;
}

GifSpec Picture(int w, int h, std::vector<uint32_t> table, uint8_t (*f)(int x, int y)) {
    GifSpec s = Picture(w, h, std::move(table));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) s.pixels.push_back(f(x, y));
    return s;
}

uint8_t Busy(int x, int y) {
    return uint8_t(x * 3 + y * 7 + x * y / 5);
}
uint8_t Stripes(int x, int y) {
    return uint8_t((x / 3 + y) % 4);
}

// A 4 x 1 picture with hand-made codes of width 3 (clear 4, end 5, first free 6).
Decoded DecodeCodes(const std::vector<std::pair<int, int>>& codes, int width = 4) {
    GifSpec s = Picture(width, 1, kFour);
    return Decode(EncodeGif(s, GifImageData(2, PackCodes(codes))));
}

} // namespace

TEST(GifDecoder, DecodesKnownPictures) {
    // Solid, and busy enough to fill the code table: code widths 9 to 12 and clear codes.
    GifSpec solid = Picture(16, 8, kFour, [](int, int) { return uint8_t(3); });
    EXPECT_EQ(Decode(EncodeGif(solid)).pixels, std::vector<uint32_t>(128, 0xFF808080));
    GifSpec busy = Picture(200, 100, Palette256(), Busy);
    ASSERT_NE(LzwCompress(busy.pixels, 8, true), LzwCompress(busy.pixels, 8, false));
    Decoded d = Decode(EncodeGif(busy));
    EXPECT_EQ(d.status, GifStatus::Ok);
    EXPECT_EQ(d.width, 200);
    EXPECT_EQ(d.height, 100);
    EXPECT_EQ(d.pixels, Colours(busy.pixels, busy.globalTable));
    // A full table without a clear code keeps decoding with the codes it has.
    busy.clearWhenFull = false;
    EXPECT_EQ(Decode(EncodeGif(busy)).pixels, Colours(busy.pixels, busy.globalTable));

    // A picture from another encoder: 10 x 10, four colours, with a graphic control extension.
    const GifBytes sample = {0x47, 0x49, 0x46, 0x38, 0x39, 0x61, 0x0A, 0x00, 0x0A, 0x00, 0x91, 0x00,
                             0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00, 0xFF, 0x00, 0x00,
                             0x00, 0x21, 0xF9, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00, 0x2C, 0x00, 0x00,
                             0x00, 0x00, 0x0A, 0x00, 0x0A, 0x00, 0x00, 0x02, 0x16, 0x8C, 0x2D, 0x99,
                             0x87, 0x2A, 0x1C, 0xDC, 0x33, 0xA0, 0x02, 0x75, 0xEC, 0x95, 0xFA, 0xA8,
                             0xDE, 0x60, 0x8C, 0x04, 0x91, 0x4C, 0x01, 0x00, 0x3B};
    const char* rows[] = {"1111122222", "1111122222", "1111122222", "1110000222", "1110000222",
                          "2220000111", "2220000111", "2222211111", "2222211111", "2222211111"};
    const uint32_t colours[] = {0xFFFFFFFF, 0xFFFF0000, 0xFF0000FF};
    std::vector<uint32_t> expected;
    for (const char* row : rows)
        for (const char* c = row; *c; ++c) expected.push_back(colours[*c - '0']);
    EXPECT_EQ(Decode(sample).pixels, expected);

    std::ifstream f(TALVEX_SOURCE_DIR "/sim/panels/greenhouse.gif", std::ios::binary);
    d = Decode(GifBytes(std::istreambuf_iterator<char>(f), {}));
    EXPECT_EQ(d.status, GifStatus::Ok);
    ASSERT_EQ(d.width * d.height, 48 * 40);
    EXPECT_EQ(d.pixels[0], 0xFF87CEEBu);            // sky
    EXPECT_EQ(d.pixels[6 * 48 + 40], 0xFFFFD700u);  // sun
    EXPECT_EQ(d.pixels[39 * 48 + 47], 0xFF8B5A2Bu); // soil
}

TEST(GifDecoder, InterlacedRowsFillInPassOrder) {
    // Stream order 0..9 lands on rows 0, 8, 4, 2, 6, 1, 3, 5, 7, 9.
    std::vector<uint32_t> table;
    for (uint32_t i = 0; i < 16; ++i) table.push_back(i);
    GifSpec s = Picture(1, 10, table);
    s.interlaced = true;
    Decoded d =
        Decode(EncodeGif(s, GifImageData(4, LzwCompress({0, 1, 2, 3, 4, 5, 6, 7, 8, 9}, 4))));
    const uint32_t rowOfStream[] = {0, 8, 4, 2, 6, 1, 3, 5, 7, 9};
    for (uint32_t i = 0; i < 10; ++i) EXPECT_EQ(d.pixels[rowOfStream[i]], 0xFF000000 | i);

    // Heights where some passes are empty.
    for (int h : {1, 2, 3, 5, 37}) {
        GifSpec p = Picture(13, h, Palette256(), Busy);
        p.interlaced = true;
        d = Decode(EncodeGif(p));
        EXPECT_EQ(d.status, GifStatus::Ok) << h;
        EXPECT_EQ(d.pixels, Colours(p.pixels, p.globalTable)) << h;
    }
}

TEST(GifDecoder, SkipsExtensionsAndUsesLocalTable) {
    GifSpec s = Picture(9, 7, kFour, Stripes);
    const std::vector<uint32_t> expected = Colours(s.pixels, kFour);
    // Transparency is not applied.
    s.extensions = {GraphicControlExtension(2)};
    EXPECT_EQ(Decode(EncodeGif(s)).pixels, expected);
    // Any number of extensions with any number of sub-blocks.
    s.extensions = {
        GifExtension(0xFE, {{'h', 'i'}, GifBytes(255, 'x'), {'!'}}), GraphicControlExtension(-1),
        GifExtension(0xFF, {{'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0'}, {1, 0, 0}}),
        GifExtension(0x01, {})};
    EXPECT_EQ(Decode(EncodeGif(s)).pixels, expected);

    // A local table with or without a global one; the local one wins.
    const std::vector<uint32_t> local = {0x111111, 0x222222, 0x333333, 0x444444};
    s.localTable = local;
    EXPECT_EQ(Decode(EncodeGif(s)).pixels, Colours(s.pixels, local));
    s.globalTable.clear();
    EXPECT_EQ(Decode(EncodeGif(s)).pixels, Colours(s.pixels, local));
    // Neither table: refused.
    s.localTable.clear();
    Decoded d = Decode(EncodeGif(s));
    EXPECT_EQ(d.status, GifStatus::Refused);
    EXPECT_EQ(d.width + d.height, 0);
    EXPECT_TRUE(d.pixels.empty());

    // The pixel aspect ratio byte does not matter.
    GifBytes file = EncodeGif(s);
    file[12] = 49;
    EXPECT_EQ(Decode(file).status, GifStatus::Refused);
    s.localTable = local;
    file = EncodeGif(s);
    file[12] = 49;
    EXPECT_EQ(Decode(file).pixels, Colours(s.pixels, local));
}

TEST(GifDecoder, RefusesFilesWithoutAPicture) {
    GifSpec s = Picture(5, 5, kFour, Stripes);
    GifBytes good = EncodeGif(s);
    const size_t descriptor = 13 + 12;
    ASSERT_EQ(good[descriptor], 0x2C);
    auto refused = [](GifBytes f) {
        Decoded d = Decode(f);
        return d.status == GifStatus::Refused && d.width == 0 && d.height == 0 && d.pixels.empty();
    };
    GifBytes f = good;
    f[descriptor] = 0x3B; // trailer first
    EXPECT_TRUE(refused(f));
    f[descriptor] = 0x00;
    EXPECT_TRUE(refused(f));
    for (auto [w, h] : {std::pair{0, 5}, {5, 0}, {4097, 4096}, {65535, 65535}}) {
        f = good;
        f[descriptor + 5] = uint8_t(w), f[descriptor + 6] = uint8_t(w >> 8);
        f[descriptor + 7] = uint8_t(h), f[descriptor + 8] = uint8_t(h >> 8);
        Decoded d = Decode(f);
        EXPECT_EQ(d.status, w == 0 || h == 0 ? GifStatus::Refused : GifStatus::TooLarge);
        EXPECT_TRUE(d.width == 0 && d.height == 0 && d.pixels.empty()) << w << "x" << h;
    }
    // The largest picture allowed is decoded as far as its data goes.
    f[descriptor + 5] = 0, f[descriptor + 6] = 16, f[descriptor + 7] = 0, f[descriptor + 8] = 16;
    Decoded d = Decode(f);
    EXPECT_EQ(d.status, GifStatus::Partial);
    EXPECT_EQ(uint64_t(d.width) * uint64_t(d.height), CGifDecoder::kMaxPixels);
    EXPECT_EQ(d.pixels.back(), kBackground);
    // A caller's own, smaller limit.
    CGifDecoder small(25);
    EXPECT_EQ(small.Load(good.data(), good.size(), kBackground), GifStatus::Ok);
    CGifDecoder tiny(24);
    EXPECT_EQ(tiny.Load(good.data(), good.size(), kBackground), GifStatus::TooLarge);
}

TEST(GifDecoder, DamagedCodesKeepWhatCameBefore) {
    const uint32_t c1 = 0xFF00FF00, c2 = 0xFF0000FF, bg = kBackground;
    using Px = std::vector<uint32_t>;
    // A stream without a leading clear code decodes as if it had one.
    EXPECT_EQ(DecodeCodes({{1, 3}, {2, 3}, {6, 3}, {5, 4}}).pixels, (Px{c1, c2, c1, c2}));
    // A clear code after a clear code, and a string defined by its own use (code == next free).
    EXPECT_EQ(DecodeCodes({{4, 3}, {4, 3}, {1, 3}, {6, 3}, {5, 3}}).pixels, (Px{c1, c1, c1, bg}));
    // A code above the next free code, or a string code with nothing before it, stops decoding.
    Decoded d = DecodeCodes({{4, 3}, {1, 3}, {7, 3}, {1, 3}});
    EXPECT_EQ(d.status, GifStatus::Partial);
    EXPECT_EQ(d.pixels, (Px{c1, bg, bg, bg}));
    EXPECT_EQ(DecodeCodes({{4, 3}, {6, 3}, {1, 3}}).pixels, (Px{bg, bg, bg, bg}));
    // The end code ends early; more pixels than the picture holds are dropped.
    EXPECT_EQ(DecodeCodes({{4, 3}, {2, 3}, {5, 3}, {1, 3}}).pixels, (Px{c2, bg, bg, bg}));
    d = DecodeCodes({{4, 3}, {1, 3}, {2, 3}, {6, 3}, {7, 4}, {8, 4}, {5, 4}}, 3);
    EXPECT_EQ(d.status, GifStatus::Ok);
    EXPECT_EQ(d.pixels, (Px{c1, c2, c1}));

    // Minimum code sizes above 11 leave the whole picture as background.
    GifSpec s = Picture(3, 2, kFour, Stripes);
    for (int m : {12, 255}) {
        d = Decode(EncodeGif(s, GifImageData(m, LzwCompress(s.pixels, 2))));
        EXPECT_EQ(d.status, GifStatus::Partial);
        EXPECT_EQ(d.pixels, Px(6, bg));
    }
}

TEST(GifDecoder, MinimumCodeSizesOneAndZeroWidenTheirCodesAsGiflibDoes) {
    // 33 x 17 in two colours, and in one: the code width grows after the first code already.
    GifSpec two = Picture(33, 17, {0xFF0000, 0x0000FF},
                          [](int x, int y) { return uint8_t((x * x + y * 3) / 7 % 2); });
    Decoded d = Decode(EncodeGif(two, GifImageData(1, LzwCompress(two.pixels, 1))));
    EXPECT_EQ(d.status, GifStatus::Ok);
    EXPECT_EQ(d.pixels, Colours(two.pixels, two.globalTable));
    GifSpec one = Picture(9, 4, {0x00FF00}, [](int, int) { return uint8_t(0); });
    d = Decode(EncodeGif(one, GifImageData(0, LzwCompress(one.pixels, 0))));
    EXPECT_EQ(d.status, GifStatus::Ok);
    EXPECT_EQ(d.pixels, Colours(one.pixels, one.globalTable));
}

TEST(GifDecoder, AnIndexPastTheColourTableIsTheBackgroundWhereverItStands) {
    const uint32_t c1 = 0xFF0000FF, bg = kBackground;
    using Px = std::vector<uint32_t>;
    // A two-colour table with codes for four: right after a clear code, and later in the stream.
    GifSpec s = Picture(6, 1, {0xFF0000, 0x0000FF});
    Decoded d = Decode(EncodeGif(
        s, GifImageData(
               2, PackCodes({{4, 3}, {3, 3}, {2, 3}, {1, 3}, {4, 4}, {3, 3}, {6, 3}, {5, 3}}))));
    EXPECT_EQ(d.status, GifStatus::Ok);
    EXPECT_EQ(d.pixels, (Px{bg, bg, c1, bg, bg, bg}));
    // Literal codes above 255 (minimum code size 11).
    d = Decode(EncodeGif(s, GifImageData(11, PackCodes({{2048, 12}, {2047, 12}, {300, 12}}))));
    EXPECT_EQ(d.pixels[0], bg);
    EXPECT_EQ(d.pixels[1], bg);
}

TEST(GifDecoder, TruncationAtEveryOffsetKeepsTheDecodedPart) {
    for (bool interlaced : {false, true}) {
        GifSpec s = Picture(23, 17, Palette256(), Busy);
        s.interlaced = interlaced;
        s.extensions = {GifExtension(0xFE, {{'a'}, {'b', 'c'}}), GraphicControlExtension(1)};
        s.localTable = kFour;
        for (uint8_t& p : s.pixels) p &= 3;
        const GifBytes file = EncodeGif(s);
        const Decoded whole = Decode(file);
        ASSERT_EQ(whole.status, GifStatus::Ok);
        ASSERT_EQ(whole.pixels, Colours(s.pixels, kFour));
        GifStatus last = GifStatus::Refused;
        size_t lastDecoded = 0;
        for (size_t n = 0; n < file.size(); ++n) {
            Decoded d = Decode(file, n);
            // Refused, then partial, then whole; never a step back.
            ASSERT_LE(int(last == GifStatus::Refused   ? 0
                          : last == GifStatus::Partial ? 1
                                                       : 2),
                      int(d.status == GifStatus::Refused   ? 0
                          : d.status == GifStatus::Partial ? 1
                                                           : 2))
                << n;
            last = d.status;
            if (d.status == GifStatus::Refused) continue;
            // Every pixel is either the right one or the background, and more data decodes more.
            size_t decoded = 0;
            for (size_t i = 0; i < d.pixels.size(); ++i) {
                if (d.pixels[i] == whole.pixels[i])
                    ++decoded;
                else
                    ASSERT_EQ(d.pixels[i], kBackground) << n << " " << i;
            }
            ASSERT_GE(decoded, lastDecoded) << n;
            lastDecoded = decoded;
        }
        EXPECT_EQ(last, GifStatus::Ok);
    }
}
