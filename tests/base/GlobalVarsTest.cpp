// The document folder and the paths derived from it, with HOME and the XDG
// settings pointed at a scratch folder.

#include "base/GlobalVars.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>

#include <gtest/gtest.h>

#include "../document/TestUtil.h"
#include "base/Error.h"

using namespace quillora;
using quillora::test::TempDir;
namespace fs = std::filesystem;

namespace {

class Folders : public ::testing::Test {
  protected:
    void SetUp() override
    {
        for (const char* name : {"HOME", "XDG_DOCUMENTS_DIR", "XDG_CONFIG_HOME"}) {
            const char* v = std::getenv(name);
            saved_.emplace_back(name, v ? std::optional<std::string>(v) : std::nullopt);
        }
        setenv("HOME", home_.path().c_str(), 1);
        unsetenv("XDG_DOCUMENTS_DIR");
        unsetenv("XDG_CONFIG_HOME");
    }
    void TearDown() override
    {
        for (auto& [name, value] : saved_) {
            if (value)
                setenv(name.c_str(), value->c_str(), 1);
            else
                unsetenv(name.c_str());
        }
    }
    void UserDirs(const std::string& line)
    {
        fs::create_directories(home_.path() / ".config");
        std::ofstream(home_.path() / ".config/user-dirs.dirs") << "# written by a test\n"
                                                               << line << "\n";
    }
    std::string Home(const std::string& rel = "") const
    {
        return rel.empty() ? home_.path().string() : home_ / rel;
    }

    TempDir home_;
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

std::string MessageOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const Error& e) {
        return e.what();
    }
    return "<no error>";
}

} // namespace

TEST_F(Folders, WithoutADocumentsFolderTheHomeFolderIsUsed)
{
    EXPECT_EQ(GetDocumentFolder(), Home("Quillora"));
    EXPECT_TRUE(fs::is_directory(Home("Quillora")));
}

TEST_F(Folders, TheDocumentsFolderIsUsedWhenItExists)
{
    fs::create_directory(Home("Documents"));
    EXPECT_EQ(GetDocumentFolder(), Home("Documents/Quillora"));

    // user-dirs.dirs names another folder, relative to $HOME.
    fs::create_directory(Home("Dokumente"));
    UserDirs("XDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"");
    EXPECT_EQ(GetDocumentFolder(), Home("Dokumente/Quillora"));

    // The environment wins over the file.
    fs::create_directory(Home("Papers"));
    setenv("XDG_DOCUMENTS_DIR", Home("Papers/").c_str(), 1);
    EXPECT_EQ(GetDocumentFolder(), Home("Papers/Quillora"));
}

TEST_F(Folders, ANamedDocumentsFolderThatDoesNotExistFallsBackToHome)
{
    UserDirs("XDG_DOCUMENTS_DIR=\"$HOME/Gone\"");
    EXPECT_EQ(GetDocumentFolder(), Home("Quillora"));
    EXPECT_FALSE(fs::exists(Home("Gone")));
}

TEST_F(Folders, AnExistingFolderIsUsedUnchanged)
{
    fs::create_directory(Home("Quillora"));
    std::ofstream(Home("Quillora/keep.qlv")) << "<Movie/>";
    EXPECT_EQ(GetDocumentFolder(), Home("Quillora"));
    EXPECT_TRUE(fs::exists(Home("Quillora/keep.qlv")));
}

TEST_F(Folders, CreationIsOneLevelAndFailureNamesThePath)
{
    setenv("HOME", Home("missing/deeper").c_str(), 1);
    EXPECT_EQ(MessageOf([] { GetDocumentFolder(); }),
              "Cannot create " + Home("missing/deeper/Quillora"));
    EXPECT_FALSE(fs::exists(Home("missing")));

    setenv("HOME", Home().c_str(), 1);
    std::ofstream(Home("Quillora")) << "a file, not a folder";
    EXPECT_EQ(MessageOf([] { GetDocumentFolder(); }), "Cannot create " + Home("Quillora"));
}

TEST_F(Folders, InitFoldersFillsTheScreenshotsFolderAndUntitledBase)
{
    fs::create_directory(Home("Documents"));
    TGlobalVars vars;
    InitFolders(vars);
    EXPECT_EQ(vars.ScreenshotsDir, Home("Documents/Quillora/screenshots"));
    EXPECT_EQ(vars.UntitledBase, Home("Documents/Quillora/screenshots/Untitled"));
    EXPECT_TRUE(fs::is_directory(vars.ScreenshotsDir));
    EXPECT_EQ(vars.DownX + vars.UpX + vars.DownY + vars.UpY, 0);

    std::ofstream(Home("Documents/Quillora/screenshots/1.jpg")) << "jpeg";
    InitFolders(vars); // again: nothing is lost
    EXPECT_TRUE(fs::exists(Home("Documents/Quillora/screenshots/1.jpg")));

    fs::remove_all(Home("Documents/Quillora/screenshots"));
    std::ofstream(Home("Documents/Quillora/screenshots")) << "in the way";
    EXPECT_EQ(MessageOf([&] { InitFolders(vars); }),
              "Cannot create " + Home("Documents/Quillora/screenshots"));
}

TEST_F(Folders, DataFolderIsBesideTheProgramOrInItsShareFolder)
{
    fs::create_directories(Home("build/bin"));
    std::ofstream(Home("build/bin/blank.qlv")) << "<Movie/>";
    EXPECT_EQ(ProgramDataFolder(Home("build/bin/quillora")), Home("build/bin"));

    fs::create_directories(Home("usr/bin"));
    EXPECT_EQ(fs::weakly_canonical(ProgramDataFolder(Home("usr/bin/quillora"))),
              fs::path(Home("usr/share/quillora")));
}
