// Without a tray (the offscreen platform has none) the tray icon is a small
// window in a screen corner outside the frame that stops the recording on a
// click.
#include "platform/QtServices.h"

#include <QAccessible>
#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

using namespace platform;

namespace {

QWidget* StandInWindow()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->windowTitle() == "Quillora recording")
            return w;
    return nullptr;
}

TEST(TrayStandIn, ShownOutsideTheFrameAndClickable)
{
    TQtTrayIcon tray;
    int clicks = 0;
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    // A frame over the right half: the stand-in goes to the top left.
    const QRect frame(screen.width() / 2, 0, screen.width() / 2, screen.height());
    tray.Show([&] { ++clicks; }, frame);
    EXPECT_TRUE(tray.IsShown());
    EXPECT_TRUE(tray.IsStandIn());
    QWidget* window = StandInWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->geometry().topLeft(), screen.topLeft());
    EXPECT_FALSE(window->geometry().intersects(frame));
    EXPECT_TRUE(window->windowFlags() & Qt::WindowStaysOnTopHint);

    QTest::mouseClick(window, Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_EQ(clicks, 1);
    QTest::mouseClick(window, Qt::RightButton, {}, QPoint(10, 10));
    EXPECT_EQ(clicks, 1);

    // From the keyboard and from a screen reader, as a button.
    QTest::keyClick(window, Qt::Key_Space);
    QTest::keyClick(window, Qt::Key_Return);
    EXPECT_EQ(clicks, 3);
    QAccessibleInterface* button = QAccessible::queryAccessibleInterface(window);
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->role(), QAccessible::PushButton);
    EXPECT_EQ(button->text(QAccessible::Name), "Stop recording");
    ASSERT_NE(button->actionInterface(), nullptr);
    button->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_TRUE(QTest::qWaitFor([&] { return clicks == 4; }));

    tray.Hide();
    EXPECT_FALSE(window->isVisible());
    QTest::mouseClick(window, Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_EQ(clicks, 4) << "no click once hidden";
}

} // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
