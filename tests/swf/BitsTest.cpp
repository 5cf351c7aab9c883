// Exact bytes of the records and tags the writer produces.
#include <gtest/gtest.h>

#include "swf/Bits.h"
#include "swf/SwfReader.h"
#include "swf/Tags.h"
#include "swf/Writer.h"

using namespace swf;

TEST(Bits, SignedAndUnsignedWidths) {
    EXPECT_EQ(SignedBits(0), 0);
    EXPECT_EQ(SignedBits(-1), 1);
    EXPECT_EQ(SignedBits(1), 2);
    EXPECT_EQ(SignedBits(-2), 2);
    EXPECT_EQ(SignedBits(200), 9);
    EXPECT_EQ(SignedBits(-256), 9);
    EXPECT_EQ(SignedBits(-257), 10);
    EXPECT_EQ(UnsignedBits(0), 0);
    EXPECT_EQ(UnsignedBits(255), 8);
    EXPECT_EQ(UnsignedBits(256), 9);
}

TEST(Bits, RectOfA550x400Stage) {
    ByteWriter w;
    WriteRect(w, Rect{0, 11000, 0, 8000});
    EXPECT_EQ(w.Data(), (Bytes{0x78, 0x00, 0x05, 0x5F, 0x00, 0x00, 0x0F, 0xA0, 0x00}));
}

TEST(Bits, MatrixTranslationAndScale) {
    ByteWriter a;
    WriteMatrix(a, Matrix::Translation(100, 200));
    EXPECT_EQ(a.Data(), (Bytes{0x12, 0x64, 0x64, 0x00}));
    Matrix m = Matrix::Translation(-20, 0);
    m.scaleX = m.scaleY = 0x20000;
    ByteWriter b;
    WriteMatrix(b, m);
    EXPECT_EQ(b.Data(), (Bytes{0xCD, 0x00, 0x00, 0x20, 0x00, 0x01, 0xAC, 0x00}));
    ByteWriter c;
    WriteMatrix(c, Matrix{});
    // Zero-width signed fields trip some parsers: at least one bit.
    EXPECT_EQ(c.Data(), (Bytes{0x02, 0x00}));
}

TEST(Bits, CoordinatesBeyondThe31BitRangeAreRefused) {
    ByteWriter w;
    EXPECT_THROW(WriteRect(w, Rect{0, kMaxCoord + 1, 0, 10}), std::out_of_range);
    EXPECT_THROW(WriteMatrix(w, Matrix::Translation(kMinCoord - 1, 0)), std::out_of_range);
    EXPECT_NO_THROW(WriteMatrix(w, Matrix::Translation(kMinCoord, kMaxCoord)));
}

TEST(Bits, ShapeRecords) {
    ByteWriter w;
    ShapeRecords rec(w, 1, 0);
    rec.StyleChange(true, 0, 0, -1, 1, -1);
    rec.Line(100, 0);
    rec.Line(0, -3);
    rec.Line(5, 7);
    rec.Curve(1, 1, 2, -2);
    rec.End();
    EXPECT_EQ(w.Data(), (Bytes{0x14, 0x27, 0x61, 0x93, 0x16, 0xE5, 0x57, 0x84, 0x95, 0x80}));
}

TEST(Bits, LongLinesAreSplitIntoEdgesThatFit) {
    PolygonDef poly;
    poly.edges = {{200000, 0}, {0, 150000}, {-200000, -150000}};
    poly.fill = Rgba{1, 2, 3, 255};
    ByteWriter w;
    WritePolygonShape(w, 1, poly);
    WriteShowFrame(w);
    // Read it back through a minimal movie around it.
    ByteWriter movie;
    WriteHeader(movie, 8, 20, 20, 12, 1);
    movie.Append(w.Data());
    WriteEnd(movie);
    Bytes bytes = movie.Data();
    bytes[4] = static_cast<uint8_t>(bytes.size());
    bytes[5] = static_cast<uint8_t>(bytes.size() >> 8);
    ReadMovie m = ParseMovie(bytes);
    const auto& pts = m.characters.at(1).points;
    ASSERT_GE(pts.size(), 8u);  // start + at least 7 pieces
    EXPECT_EQ(pts.front(), std::make_pair(0, 0));
    EXPECT_EQ(pts.back(), std::make_pair(0, 0));
    EXPECT_NE(std::find(pts.begin(), pts.end(), std::make_pair(200000, 0)), pts.end());
    EXPECT_NE(std::find(pts.begin(), pts.end(), std::make_pair(200000, 150000)), pts.end());
    EXPECT_EQ(m.characters.at(1).solidFill, 0x010203FFu);
    EXPECT_FALSE(m.characters.at(1).lineColor.has_value());
}

TEST(Tags, ShortAndLongHeaders) {
    ByteWriter w;
    WriteShowFrame(w);
    WriteRemoveObject2(w, 0x0102);
    WriteDoActionStop(w);
    WriteStartSound(w, 5);
    WriteSetBackgroundColor(w, Rgba{1, 2, 3, 255});
    WriteFileAttributes(w);
    WriteEnd(w);
    EXPECT_EQ(w.Data(), (Bytes{0x40, 0x00,                                // ShowFrame
                               0x02, 0x07, 0x02, 0x01,                    // RemoveObject2
                               0x02, 0x03, 0x07, 0x00,                    // DoAction: stop
                               0xC3, 0x03, 0x05, 0x00, 0x00,              // StartSound
                               0x43, 0x02, 0x01, 0x02, 0x03,              // SetBackgroundColor
                               0x44, 0x11, 0x00, 0x00, 0x00, 0x00,        // FileAttributes
                               0x00, 0x00}));
    ByteWriter big;
    WriteTag(big, 2, Bytes(63, 0xAA));
    EXPECT_EQ(big.Size(), 2u + 4 + 63);
    EXPECT_EQ(big.Data()[0], 0xBF);
    EXPECT_EQ(big.Data()[2], 63);
}

TEST(Tags, PlaceObject2NewAndMove) {
    ByteWriter w;
    WritePlaceObject2(w, 3, false, 7, Matrix::Translation(100, 200));
    EXPECT_EQ(w.Data(), (Bytes{0x89, 0x06, 0x06, 0x03, 0x00, 0x07, 0x00, 0x12, 0x64, 0x64, 0x00}));
    ByteWriter m;
    WritePlaceObject2(m, 3, true, 7, Matrix::Translation(100, 200));
    EXPECT_EQ(m.Data(), (Bytes{0x87, 0x06, 0x05, 0x03, 0x00, 0x12, 0x64, 0x64, 0x00}));
}

TEST(Tags, MediaTagsAreAlwaysLong) {
    ByteWriter w;
    WriteDefineBitsJpeg2(w, 9, Bytes{0xFF, 0xD8, 0xFF, 0xD9});
    EXPECT_EQ(w.Data(), (Bytes{0x7F, 0x05, 0x06, 0x00, 0x00, 0x00, 0x09, 0x00, 0xFF, 0xD8, 0xFF, 0xD9}));
    WavSound s;
    s.samples = {1, 2, 3, 4};
    s.sampleCount = 2;
    s.rateCode = 2;
    ByteWriter d;
    WriteDefineSound(d, 4, s);
    // Format 3 (uncompressed little-endian), 22 kHz, 16-bit, mono.
    EXPECT_EQ(d.Data(), (Bytes{0xBF, 0x03, 0x0B, 0x00, 0x00, 0x00, 0x04, 0x00, 0x3A, 0x02, 0x00, 0x00,
                               0x00, 1, 2, 3, 4}));
}

TEST(Tags, PictureShapeMapsBitmapPixelsToItsRectangle) {
    ByteWriter w;
    WritePictureShape(w, 2, 1, 400, 200, 20, 10);
    ByteWriter movie;
    WriteHeader(movie, 8, 20, 20, 12, 1);
    WriteDefineBitsJpeg2(movie, 1, Bytes{0xFF, 0xD8, 0xFF, 0xD9});
    movie.Append(w.Data());
    WriteShowFrame(movie);
    WriteEnd(movie);
    Bytes bytes = movie.Data();
    bytes[4] = static_cast<uint8_t>(bytes.size());
    ReadMovie m = ParseMovie(bytes);
    const ReadCharacter& s = m.characters.at(2);
    EXPECT_EQ(s.tag, kDefineShape3);
    EXPECT_EQ(s.bitmap, 1);
    EXPECT_EQ(s.bitmapMatrix.scaleX, 20 << 16);
    EXPECT_EQ(s.bitmapMatrix.scaleY, 20 << 16);
    EXPECT_EQ(s.bounds.xmax, 400);
    EXPECT_EQ(s.bounds.ymax, 200);
    EXPECT_EQ(s.points, (std::vector<std::pair<int32_t, int32_t>>{{0, 0}, {400, 0}, {400, 200}, {0, 200}, {0, 0}}));
}

TEST(Tags, EmptyMovieExactBytes) {
    WriterOptions plain;
    plain.compress = false;
    auto movie = CreateMovie(plain);
    movie->SetSize(4000, 2000);
    movie->SetFrameRate(15);
    movie->SetFrameBkColor(1, 2, 3);
    EXPECT_EQ(BuildMovieBytes(*movie),
              (Bytes{0x46, 0x57, 0x53, 0x08, 0x23, 0x00, 0x00, 0x00, 0x68, 0x00, 0x1F, 0x40,
                     0x00, 0x03, 0xE8, 0x00, 0x00, 0x0F, 0x01, 0x00, 0x44, 0x11, 0x00, 0x00,
                     0x00, 0x00, 0x43, 0x02, 0x01, 0x02, 0x03, 0x40, 0x00, 0x00, 0x00}));
}
