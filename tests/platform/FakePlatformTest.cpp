// The in-memory desktop and the pieces of the Qt services that need no
// display.
#include "platform/FakePlatform.h"
#include "platform/QtServices.h"

#include <gtest/gtest.h>

using namespace platform;

TEST(FakePlatform, ClockFiresTimersInTimeOrderAndRestartsPeriods)
{
    TFakePlatform desk;
    auto fast = desk.CreateTimer("fast");
    auto slow = desk.CreateTimer("slow");
    std::vector<std::pair<std::string, long long>> fired;
    fast->SetHandler([&] { fired.push_back({"fast", desk.NowMs()}); });
    slow->SetHandler([&] {
        fired.push_back({"slow", desk.NowMs()});
        fast->Stop();
    });
    fast->Start(100);
    slow->Start(250);
    desk.Advance(400);
    const std::vector<std::pair<std::string, long long>> want{
        {"fast", 100}, {"fast", 200}, {"slow", 250}};
    EXPECT_EQ(fired, want);
    // A restart begins a new period from now.
    fired.clear();
    slow->Stop();
    fast->Start(100); // at 400
    desk.Advance(50);
    fast->Start(100); // at 450
    desk.Advance(99);
    EXPECT_TRUE(fired.empty());
    desk.Advance(1);
    EXPECT_EQ(fired.back(), (std::pair<std::string, long long>{"fast", 550}));
}

TEST(FakePlatform, ScreenReadFillsOffScreenPartsBlack)
{
    TFakePlatform desk(QSize(100, 50));
    desk.ScreenFake.Image.fill(qRgb(10, 200, 30));
    const QImage part = desk.Screen().Read(QRect(-10, 40, 30, 20));
    ASSERT_EQ(part.size(), QSize(30, 20));
    EXPECT_EQ(part.pixel(0, 0), qRgb(0, 0, 0));
    EXPECT_EQ(part.pixel(10, 0), qRgb(10, 200, 30));
    EXPECT_EQ(part.pixel(10, 10), qRgb(0, 0, 0));
    EXPECT_EQ(desk.Screen().Read(QRect(500, 500, 4, 4)).pixel(1, 1), qRgb(0, 0, 0));
}

TEST(FakePlatform, EventsReachOnlyARunningMonitorAndAGrabbedKey)
{
    TFakePlatform desk;
    int downs = 0, ups = 0, moves = 0, pauses = 0;
    desk.Click({5, 5});
    EXPECT_EQ(desk.Input().PointerPos(), QPoint(5, 5));
    ASSERT_TRUE(desk.Input().Start(
        {[&](QPoint) { ++downs; }, [&](QPoint) { ++ups; }, [&](QPoint) { ++moves; }}));
    desk.Click({6, 6});
    desk.MoveMouse({7, 7});
    desk.Input().Stop();
    desk.MoveMouse({8, 8});
    EXPECT_EQ(downs, 1);
    EXPECT_EQ(ups, 1);
    EXPECT_EQ(moves, 1);

    desk.HotKeyFake.Result = IHotKey::TGrabResult::Taken;
    EXPECT_EQ(desk.HotKey().Grab([&] { ++pauses; }), IHotKey::TGrabResult::Taken);
    desk.PressPause();
    desk.HotKeyFake.Result = IHotKey::TGrabResult::Grabbed;
    desk.HotKey().Grab([&] { ++pauses; });
    desk.PressPause();
    desk.HotKey().Release();
    desk.PressPause();
    EXPECT_EQ(pauses, 1);
}

TEST(StandInPlace, FirstCornerOutsideTheFrame)
{
    const QRect screen(0, 0, 1024, 768);
    // A small frame: top right.
    EXPECT_EQ(TQtTrayIcon::StandInPlace(screen, QRect(192, 144, 642, 482), 32),
              QRect(992, 0, 32, 32));
    // A frame over the top of the screen: a bottom corner.
    EXPECT_EQ(TQtTrayIcon::StandInPlace(screen, QRect(0, 0, 1024, 600), 32),
              QRect(992, 736, 32, 32));
    // A frame over the right half: top left.
    EXPECT_EQ(TQtTrayIcon::StandInPlace(screen, QRect(500, 0, 524, 768), 32), QRect(0, 0, 32, 32));
    // Nothing free: top right all the same.
    EXPECT_EQ(TQtTrayIcon::StandInPlace(screen, QRect(0, 0, 1026, 770), 32), QRect(992, 0, 32, 32));
}
