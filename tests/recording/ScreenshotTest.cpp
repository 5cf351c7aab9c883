// JPEG encoding and screenshot file naming.
#include "recording/Screenshot.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <deque>
#include <stdexcept>

using namespace quillora;

namespace {

// The segment after marker (0xFF, code), or empty.
std::string Segment(const std::string& jpeg, unsigned char code)
{
    for (size_t i = 2; i + 4 <= jpeg.size();) {
        if (uint8_t(jpeg[i]) != 0xFF)
            return {};
        const uint8_t marker = uint8_t(jpeg[i + 1]);
        const size_t length = (uint8_t(jpeg[i + 2]) << 8) | uint8_t(jpeg[i + 3]);
        if (marker == code)
            return jpeg.substr(i + 4, length - 2);
        if (marker == 0xDA) // scan data follows
            return {};
        i += 2 + length;
    }
    return {};
}

TEST(EncodeJpeg, BaselineColourAtQuality90)
{
    QImage image(33, 17, QImage::Format_RGB32);
    image.fill(qRgb(200, 40, 10));
    const std::string jpeg = EncodeJpeg(image);
    ASSERT_GT(jpeg.size(), 4u);
    EXPECT_EQ(uint8_t(jpeg[0]), 0xFF);
    EXPECT_EQ(uint8_t(jpeg[1]), 0xD8);
    const std::string sof0 = Segment(jpeg, 0xC0);
    ASSERT_FALSE(sof0.empty()) << "not baseline";
    EXPECT_TRUE(Segment(jpeg, 0xC2).empty()) << "progressive";
    EXPECT_EQ((uint8_t(sof0[1]) << 8) | uint8_t(sof0[2]), 17); // height
    EXPECT_EQ((uint8_t(sof0[3]) << 8) | uint8_t(sof0[4]), 33); // width
    EXPECT_EQ(uint8_t(sof0[5]), 3);                            // colour
    // Quality 90 scales the standard luminance table by 20%: 16 -> 3, 11 -> 2.
    const std::string dqt = Segment(jpeg, 0xDB);
    ASSERT_GE(dqt.size(), 3u);
    EXPECT_EQ(uint8_t(dqt[0]), 0); // 8-bit table 0
    EXPECT_EQ(uint8_t(dqt[1]), 3);
    EXPECT_EQ(uint8_t(dqt[2]), 2);

    QImage back;
    ASSERT_TRUE(back.loadFromData(reinterpret_cast<const uchar*>(jpeg.data()), int(jpeg.size())));
    EXPECT_EQ(back.size(), image.size());
    EXPECT_NEAR(qRed(back.pixel(16, 8)), 200, 4);
    EXPECT_NEAR(qGreen(back.pixel(16, 8)), 40, 4);
}

TEST(EncodeJpeg, AcceptsOtherFormats)
{
    QImage image(8, 8, QImage::Format_RGB888);
    image.fill(qRgb(0, 0, 255));
    QImage back;
    const std::string jpeg = EncodeJpeg(image);
    ASSERT_TRUE(back.loadFromData(reinterpret_cast<const uchar*>(jpeg.data()), int(jpeg.size())));
    EXPECT_GT(qBlue(back.pixel(4, 4)), 240);
}

TEST(ScreenshotFile, DecimalNamesWithoutLeadingZeros)
{
    QTemporaryDir dir;
    const std::string folder = dir.path().toStdString();
    std::deque<uint32_t> draws{0, 99999998, 4711};
    auto next = [&] {
        const uint32_t n = draws.front();
        draws.pop_front();
        return n;
    };
    EXPECT_EQ(WriteScreenshotFile(folder, "a", next), folder + "/0.jpg");
    EXPECT_EQ(WriteScreenshotFile(folder, "b", next), folder + "/99999998.jpg");
    EXPECT_EQ(WriteScreenshotFile(folder, "c", next), folder + "/4711.jpg");
    QFile f(dir.path() + "/4711.jpg");
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), "c");
}

TEST(ScreenshotFile, DrawsAgainWhileTheNameIsTaken)
{
    QTemporaryDir dir;
    const std::string folder = dir.path().toStdString();
    std::deque<uint32_t> draws{5, 5, 5, 6};
    auto next = [&] {
        const uint32_t n = draws.front();
        draws.pop_front();
        return n;
    };
    WriteScreenshotFile(folder, "first", next);
    EXPECT_EQ(WriteScreenshotFile(folder, "second", next), folder + "/6.jpg");
    QFile f(dir.path() + "/5.jpg");
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), "first");
}

// A note written when the name is taken comes before any of the bytes, so
// a kill can never leave a whole picture nobody wrote a note for; a note
// that fails takes the empty picture with it.
TEST(ScreenshotFile, NamedRunsBeforeTheBytes)
{
    QTemporaryDir dir;
    const std::string folder = dir.path().toStdString();
    qint64 sizeWhenNamed = -1;
    const std::string path = WriteScreenshotFile(folder, "bytes", [] { return 3u; },
                                                 [&](const std::string& named) {
                                                     sizeWhenNamed = QFileInfo(QString::fromStdString(named)).size();
                                                 });
    EXPECT_EQ(path, folder + "/3.jpg");
    EXPECT_EQ(sizeWhenNamed, 0);
    EXPECT_EQ(QFileInfo(QString::fromStdString(path)).size(), 5);

    EXPECT_THROW(WriteScreenshotFile(folder, "x", [] { return 4u; },
                                     [](const std::string&) { throw std::runtime_error("no"); }),
                 std::runtime_error);
    EXPECT_FALSE(QFileInfo::exists(dir.path() + "/4.jpg"));
}

TEST(ScreenshotFile, MissingFolderThrowsAndLeavesNothing)
{
    QTemporaryDir dir;
    const std::string folder = dir.path().toStdString() + "/missing";
    try {
        WriteScreenshotFile(folder, "x", [] { return 7u; });
        FAIL() << "no error";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(
            std::string(e.what()).rfind("Cannot write the screenshot " + folder + "/7.jpg", 0), 0u)
            << e.what();
    }
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).isEmpty());
}

TEST(ScreenshotFile, ClockNamesStayInRange)
{
    for (int i = 0; i < 1000; ++i)
        EXPECT_LE(ClockSeededName(), 99999998u);
}

} // namespace
