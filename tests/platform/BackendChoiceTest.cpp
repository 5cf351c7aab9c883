// Which desktop backend start-up picks, and which Qt platform goes with it.
#include "platform/Platform.h"

#include <gtest/gtest.h>

using namespace platform;

TEST(BackendChoice, SessionDecidesUnlessForced)
{
    // Wayland sessions get the Wayland backend, even with an X display
    // (XWayland) about; anything else is X11.
    EXPECT_EQ(ChooseBackend("", "wayland", "", "").Backend, TBackend::Wayland);
    EXPECT_EQ(ChooseBackend("", "Wayland", "", "xcb").Backend, TBackend::Wayland);
    EXPECT_EQ(ChooseBackend("", "", "wayland-0", "").Backend, TBackend::Wayland);
    EXPECT_EQ(ChooseBackend("", "x11", "wayland-0", "").Backend, TBackend::Wayland);
    EXPECT_EQ(ChooseBackend("", "x11", "", "").Backend, TBackend::X11);
    EXPECT_EQ(ChooseBackend("", "", "", "").Backend, TBackend::X11);
    EXPECT_EQ(ChooseBackend("", "tty", "", "xcb").Backend, TBackend::X11);

    // The override wins over the session and over a screenless Qt.
    EXPECT_EQ(ChooseBackend("x11", "wayland", "wayland-0", "").Backend, TBackend::X11);
    EXPECT_EQ(ChooseBackend("wayland", "x11", "", "").Backend, TBackend::Wayland);
    EXPECT_EQ(ChooseBackend("fake", "wayland", "wayland-0", "wayland").Backend, TBackend::Fake);
    EXPECT_EQ(ChooseBackend("wayland", "", "", "offscreen").Backend, TBackend::Wayland);

    // Qt without a screen gets the in-memory desktop, whatever the session.
    EXPECT_EQ(ChooseBackend("", "wayland", "wayland-0", "offscreen").Backend, TBackend::Fake);
    EXPECT_EQ(ChooseBackend("", "x11", "", "minimal").Backend, TBackend::Fake);
    // An unknown override is no override.
    EXPECT_EQ(ChooseBackend("bogus", "wayland", "", "").Backend, TBackend::Wayland);
}

TEST(BackendChoice, EveryChoiceSaysWhyAndNamesItsQtPlatform)
{
    for (const auto& choice :
         {ChooseBackend("", "wayland", "", ""), ChooseBackend("", "", "", ""),
          ChooseBackend("fake", "", "", ""), ChooseBackend("", "", "", "offscreen")})
        EXPECT_FALSE(choice.Why.isEmpty());
    EXPECT_EQ(QtPlatformFor(TBackend::Wayland), "wayland");
    EXPECT_EQ(QtPlatformFor(TBackend::X11), "xcb");
    EXPECT_TRUE(QtPlatformFor(TBackend::Fake).isEmpty());
}
