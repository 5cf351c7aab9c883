// The signals that end the program arrive in the event loop, not in the
// middle of whatever the program was doing, and the program lives on.
#include "app/QuitSignals.h"

#include <QCoreApplication>
#include <QTest>
#include <gtest/gtest.h>

#include <csignal>
#include <memory>
#include <vector>

namespace {

TEST(QuitSignalsTest, EachSignalArrivesOnceInTheEventLoop)
{
    int argc = 0;
    QCoreApplication* app = QCoreApplication::instance();
    std::unique_ptr<QCoreApplication> own;
    if (!app)
        own = std::make_unique<QCoreApplication>(argc, nullptr);
    std::vector<int> received;
    {
        TQuitSignals quit;
        ASSERT_TRUE(quit.IsInstalled());
        QObject::connect(&quit, &TQuitSignals::Received, [&](int s) { received.push_back(s); });
        // A second one does not take the signals from the first.
        TQuitSignals second;
        EXPECT_FALSE(second.IsInstalled());

        ASSERT_EQ(std::raise(SIGTERM), 0);
        ASSERT_EQ(std::raise(SIGHUP), 0);
        EXPECT_TRUE(received.empty()) << "nothing runs inside the handler";
        EXPECT_TRUE(QTest::qWaitFor([&] { return received.size() == 2; }, 5000));
        ASSERT_EQ(std::raise(SIGINT), 0);
        EXPECT_TRUE(QTest::qWaitFor([&] { return received.size() == 3; }, 5000));
        EXPECT_EQ(received, (std::vector<int>{SIGTERM, SIGHUP, SIGINT}));
    }
    // Gone with it: the default action is back.
    struct sigaction now = {};
    sigaction(SIGTERM, nullptr, &now);
    EXPECT_EQ(now.sa_handler, SIG_DFL);
}

} // namespace
