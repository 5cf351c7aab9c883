// The application's error handler: the message reaches a box, the program
// goes on.
#include "../ui/TestSupport.h"

#include "app/ErrorHandler.h"
#include "base/Error.h"

#include <gtest/gtest.h>
#include <new>

namespace {

TEST(ErrorHandlerTest, AnErrorThatStopsAnActionShowsItsMessage)
{
    TestApp();
    TFakeShell shell;
    bool after = false;
    EXPECT_FALSE(RunGuarded(shell, nullptr, [&] {
        throw quillora::Error("Cannot create /x/screenshots");
        after = true;
    }));
    EXPECT_FALSE(after);
    EXPECT_EQ(shell.Errors, QStringList({"Cannot create /x/screenshots"}));

    EXPECT_TRUE(RunGuarded(shell, nullptr, [] {}));
    EXPECT_FALSE(RunGuarded(shell, nullptr, [] { throw std::bad_alloc(); }));
    EXPECT_FALSE(RunGuarded(shell, nullptr, [] { throw 42; }));
    EXPECT_EQ(shell.Errors.size(), 3);
    EXPECT_EQ(shell.Errors[1], "Out of memory");
    EXPECT_EQ(shell.Errors[2], "Unknown error");
}

} // namespace
