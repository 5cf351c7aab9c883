// The built-in player: the frames it shows while stepping and playing, the
// stop frame, and its controls for the keyboard and assistive tools.
#include "TestSupport.h"

#include "ui/Player.h"

#include <QAccessible>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {

// A 64 x 48 movie at rate: red from frame 0, blue over it from frame 4 to
// 7, an arrow from frame 2, the stop at frame 9.
video::TTimeline MakeTimeline(const QString& folder, int rate)
{
    auto jpeg = [&](const char* name, Qt::GlobalColor color) {
        QImage image(64, 48, QImage::Format_RGB32);
        image.fill(color);
        const QString path = folder + "/" + name;
        EXPECT_TRUE(image.save(path, "JPG", 95));
        return path.toStdString();
    };
    const std::string red = jpeg("red.jpg", Qt::red), blue = jpeg("blue.jpg", Qt::blue);
    video::TTimelineWriterSet w;
    video::TTimeline timeline;
    w.Movie->SetOutput([&](const video::TTimeline& t, const std::string&) { timeline = t; });
    w.Movie->SetSize(64 * 20, 48 * 20);
    w.Movie->SetFrameRate(rate);
    w.Movie->SetFrameBkColor(255, 255, 255);
    w.Movie->GotoFrame(0);
    w.Media->MakePicture(0, 0, 64 * 20, 48 * 20, 64, 48, red);
    w.Movie->AddObject(*w.Media);
    w.Movie->GotoFrame(2);
    w.Media->MakePolygon(40 * 20, 10 * 20);
    w.Media->AddStraightLine(0, 15 * 20);
    w.Media->AddStraightLine(10 * 20, -5 * 20);
    w.Media->AddStraightLine(-10 * 20, -10 * 20);
    w.Movie->AddObject(*w.Media);
    w.Movie->GotoFrame(4);
    w.Media->MakePicture(0, 0, 32 * 20, 48 * 20, 64, 48, blue);
    w.Movie->AddObject(*w.Media);
    w.Movie->GotoFrame(8);
    w.Movie->RemoveObject(*w.Media);
    w.Movie->GotoFrame(9);
    w.Action->MakeActionStop();
    w.Movie->AddAction(*w.Action);
    w.Movie->WriteMovie(folder.toStdString() + "/unused");
    return timeline;
}

bool Near(QRgb pixel, QColor expected)
{
    return std::abs(qRed(pixel) - expected.red()) < 24 &&
           std::abs(qGreen(pixel) - expected.green()) < 24 &&
           std::abs(qBlue(pixel) - expected.blue()) < 24;
}

TEST(PlayerTest, StepsFramesWithTheArrowKeysAndShowsWhatEachFrameHolds)
{
    TestApp();
    QTemporaryDir dir;
    TPlayerForm player(MakeTimeline(dir.path(), 10));
    player.show();
    auto* slider = player.findChild<QSlider*>();
    ASSERT_NE(slider, nullptr);
    EXPECT_EQ(player.LastFrame(), 9);
    EXPECT_EQ(slider->maximum(), 9);
    ASSERT_EQ(player.View()->Image().size(), QSize(64, 48));
    EXPECT_TRUE(Near(player.View()->Image().pixel(10, 24), Qt::red));
    EXPECT_TRUE(Near(player.View()->Image().pixel(42, 16), Qt::red)) << "no arrow yet";

    // The keys go where the focus is when the window opens: the Play button,
    // which would otherwise move the focus with them.
    auto* play = player.findChild<QPushButton*>();
    ASSERT_NE(play, nullptr);
    for (int i = 0; i < 4; ++i)
        QTest::keyClick(play, Qt::Key_Right);
    EXPECT_EQ(player.Frame(), 4);
    EXPECT_EQ(slider->value(), 4);
    const QImage four = player.View()->Image();
    EXPECT_TRUE(Near(four.pixel(10, 24), Qt::blue)) << "the half picture over the whole one";
    EXPECT_TRUE(Near(four.pixel(50, 24), Qt::red));
    EXPECT_TRUE(Near(four.pixel(42, 16), Qt::black)) << "the arrow's inside";
    // The white outline on the left edge shows on neither red nor black.
    EXPECT_GT(qGreen(four.pixel(39, 17)) + qGreen(four.pixel(40, 17)), 100)
        << "the arrow's outline";

    QTest::keyClick(play, Qt::Key_Left);
    EXPECT_EQ(player.Frame(), 3);
    EXPECT_EQ(play, player.focusWidget());
    EXPECT_TRUE(Near(player.View()->Image().pixel(10, 24), Qt::red));

    // The blue picture is gone in frame 8; the stop frame is as far as it goes.
    QTest::keyClick(&player, Qt::Key_End);
    EXPECT_EQ(player.Frame(), 9);
    QTest::keyClick(&player, Qt::Key_Right);
    EXPECT_EQ(player.Frame(), 9);
    EXPECT_TRUE(Near(player.View()->Image().pixel(10, 24), Qt::red));
    EXPECT_TRUE(Near(player.View()->Image().pixel(42, 16), Qt::black));

    // The slider moves the movie too.
    slider->setValue(5);
    EXPECT_EQ(player.Frame(), 5);
    EXPECT_TRUE(Near(player.View()->Image().pixel(10, 24), Qt::blue));
    QTest::keyClick(&player, Qt::Key_Home);
    EXPECT_EQ(player.Frame(), 0);
    EXPECT_EQ(slider->value(), 0);
}

TEST(PlayerTest, PlaysToTheStopFrameAndStaysThere)
{
    TestApp();
    QTemporaryDir dir;
    TPlayerForm player(MakeTimeline(dir.path(), 30));
    player.show();
    auto* play = player.findChild<QPushButton*>();
    ASSERT_NE(play, nullptr);
    EXPECT_EQ(play->accessibleName(), "Play");
    QTest::keyClick(play, Qt::Key_Space);
    EXPECT_TRUE(player.IsPlaying());
    EXPECT_EQ(play->accessibleName(), "Pause");
    QTRY_VERIFY_WITH_TIMEOUT(!player.IsPlaying(), 10000);
    EXPECT_EQ(player.Frame(), 9);
    EXPECT_EQ(play->accessibleName(), "Play");
    EXPECT_TRUE(Near(player.View()->Image().pixel(10, 24), Qt::red));

    // Play again starts over; a step pauses.
    play->click();
    EXPECT_TRUE(player.IsPlaying());
    EXPECT_LT(player.Frame(), 9);
    QTest::keyClick(&player, Qt::Key_Right);
    EXPECT_FALSE(player.IsPlaying());
}

TEST(PlayerTest, ControlsHaveNamesAndRolesAndTakeTheFocusInTurn)
{
    TestApp();
    QTemporaryDir dir;
    TPlayerForm player(MakeTimeline(dir.path(), 10));
    player.show();
    QApplication::setActiveWindow(&player);
    auto role = [](QWidget* w) { return QAccessible::queryAccessibleInterface(w)->role(); };
    auto* play = player.findChild<QPushButton*>();
    auto* slider = player.findChild<QSlider*>();
    auto* time = player.findChild<QLabel*>();
    ASSERT_TRUE(play && slider && time);
    EXPECT_EQ(role(play), QAccessible::PushButton);
    EXPECT_EQ(role(slider), QAccessible::Slider);
    EXPECT_EQ(QAccessible::queryAccessibleInterface(slider)->text(QAccessible::Name), "Position");
    EXPECT_EQ(time->text(), "0:00 / 0:00");
    EXPECT_EQ(player.View()->accessibleName(), "Movie");

    play->setFocus();
    EXPECT_TRUE(play->hasFocus());
    QTest::keyClick(play, Qt::Key_Tab);
    EXPECT_TRUE(slider->hasFocus());
    QTest::keyClick(slider, Qt::Key_Right);
    EXPECT_EQ(player.Frame(), 1);
}

} // namespace
