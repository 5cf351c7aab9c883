// The document object: loading on first root access, encodings, refusal of
// bad input, and atomic saves that never leave a half-written project.

#include "document/XMLDocument.h"

#include <csignal>
#include <functional>
#include <grp.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "TestUtil.h"
#include "document/XMLUnit.h"

using namespace quillora;
using namespace quillora::test;
using ::testing::HasSubstr;
using ::testing::StartsWith;

namespace {

// Files in the folder other than the ones named: left-over temporaries.
std::vector<std::string> Strays(const TempDir& dir, std::initializer_list<std::string> known)
{
    std::vector<std::string> out;
    for (auto& e : std::filesystem::directory_iterator(dir.path())) {
        std::string name = e.path().filename().string();
        if (std::find(known.begin(), known.end(), name) == known.end())
            out.push_back(name);
    }
    return out;
}

const char* const kProject =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Movie>\n  <Width>640</Width>\n"
    "  <Obj><ObjName>Pic1</ObjName></Obj>\n</Movie>\n";

} // namespace

TEST(XMLDocument, LoadsOnFirstRootAccessNotBefore)
{
    TempDir dir;
    std::string path = dir / "p.qlv";
    WriteFile(path, kProject);
    TXMLDocument doc(path);
    EXPECT_FALSE(doc.Active());
    WriteFile(path, "<Movie><Width>800</Width></Movie>"); // changed before first use
    IXMLMovie movie = GetMovie(doc);
    EXPECT_TRUE(doc.Active());
    EXPECT_EQ(movie.GetWidth(), 800);
}

TEST(XMLDocument, SecondRootAccessDoesNotReloadAndEarlierBindingsStayUsable)
{
    TempDir dir;
    std::string path = dir / "p.qlv";
    WriteFile(path, kProject);
    TXMLDocument doc(path);
    IXMLMovie first = GetMovie(doc);
    first.SetWidth(1024);
    WriteFile(path, "<Movie><Width>1</Width></Movie>");
    IXMLMovie second = GetMovie(doc);
    EXPECT_EQ(second.GetWidth(), 1024);
    EXPECT_EQ(first, second);

    // A binding keeps its DOM even when the owner moves on to another file.
    doc.SetFileName(dir / "other.qlv");
    EXPECT_FALSE(doc.Active());
    EXPECT_EQ(first.GetWidth(), 1024);
    EXPECT_EQ(first.GetObj().Items(0).GetObjName(), "Pic1");
}

TEST(XMLDocument, SaveWritesUtf8WithoutAddedFormattingAndKeepsTheProlog)
{
    TempDir dir;
    std::string path = dir / "p.qlv";
    WriteFile(path, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!-- made by hand -->\n"
                    "<Movie>\n  <Width>640</Width>\n  <Author>Zoë</Author>\n</Movie>\n");
    TXMLDocument doc(path);
    IXMLMovie movie = GetMovie(doc);
    movie.GetObj().Add().SetDemo("d");
    doc.Save();
    EXPECT_EQ(ReadFile(path), "<?xml version=\"1.0\" encoding=\"UTF-8\"?><!-- made by hand -->"
                              "<Movie><Width>640</Width><Author>Zoë</Author>"
                              "<Obj><Demo>d</Demo></Obj></Movie>");
    // Saving through a binding writes the same file.
    movie.SetRate(15);
    movie.SaveDocument();
    EXPECT_THAT(ReadFile(path), HasSubstr("<Rate>15</Rate></Movie>"));
    EXPECT_TRUE(Strays(dir, {"p.qlv"}).empty());
}

TEST(XMLDocument, NonAsciiTextSurvivesSaveAndLoad)
{
    TempDir dir;
    std::string path = dir / "ü 日本.qlv";
    const std::string text = "Grüße – 日本語 😀 \x01 <&>";
    {
        TXMLDocument doc;
        IXMLMovie movie = GetMovie(doc);
        movie.SetAuthor(text);
        movie.GetObj().Add().GetObjType().GetObjPic().SetContent("/home/zoë/Документы/1.jpg");
        doc.SaveToFile(path);
    }
    TXMLDocument again(path);
    IXMLMovie movie = GetMovie(again);
    EXPECT_EQ(movie.GetAuthor(), text);
    EXPECT_EQ(movie.GetObj().Items(0).GetObjType().GetObjPic().GetContent(),
              "/home/zoë/Документы/1.jpg");
}

TEST(XMLDocument, OtherEncodingsLoadByMarkOrDeclarationAndSaveAsUtf8)
{
    auto utf16 = [](const std::u16string& s, bool be, bool bom) {
        std::string out;
        if (bom)
            out += be ? "\xFE\xFF" : "\xFF\xFE";
        for (char16_t c : s) {
            char hi = char(c >> 8), lo = char(c & 0xFF);
            out += be ? std::string{hi, lo} : std::string{lo, hi};
        }
        return out;
    };
    const std::u16string xml16 =
        u"<?xml version=\"1.0\" encoding=\"UTF-16\"?><Movie><Author>Zoë 😀</Author></Movie>";
    struct Case {
        const char* what;
        std::string bytes;
        const char* author;
    } cases[] = {
        {"utf-16le bom", utf16(xml16, false, true), "Zoë 😀"},
        {"utf-16be bom", utf16(xml16, true, true), "Zoë 😀"},
        {"utf-16le no bom", utf16(xml16, false, false), "Zoë 😀"},
        {"utf-8 bom", "\xEF\xBB\xBF<Movie><Author>Zoë</Author></Movie>", "Zoë"},
        {"latin-1",
         "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><Movie><Author>Zo\xEB</Author></Movie>",
         "Zoë"},
        {"windows-1252",
         "<?xml version='1.0' encoding='windows-1252'?><Movie><Author>\x80 Zo\xEB</Author></Movie>",
         "€ Zoë"},
    };
    for (const Case& c : cases) {
        TempDir dir;
        std::string path = dir / "p.qlv";
        WriteFile(path, c.bytes);
        TXMLDocument doc(path);
        EXPECT_EQ(GetMovie(doc).GetAuthor(), c.author) << c.what;
        doc.Save();
        std::string saved = ReadFile(path);
        EXPECT_THAT(saved, HasSubstr(std::string("<Author>") + c.author + "</Author>")) << c.what;
        if (saved.rfind("<?xml", 0) == 0) {
            EXPECT_THAT(saved, HasSubstr("encoding=\"UTF-8\"")) << c.what;
        }
        EXPECT_EQ(GetMovie(*std::make_unique<TXMLDocument>(path)).GetAuthor(), c.author) << c.what;
    }
}

TEST(XMLDocument, BadInputIsRefusedWithAClearMessageAndNothingChangesOnDisk)
{
    TempDir dir;
    struct Case {
        const char* what;
        std::string bytes;
        std::string message;
    } cases[] = {
        {"malformed", "<Movie>\n<Width>640</Wdth>\n</Movie>",
         "Cannot load " + (dir / "p.qlv") + ": Start-end tags mismatch at line 2, column 13"},
        {"unclosed", "<Movie><Width>640</Width>",
         "Cannot load " + (dir / "p.qlv") + ": Start-end tags mismatch at line 1, column 25"},
        {"empty file", "",
         "Cannot load " + (dir / "p.qlv") + ": No document element found at line 1, column 1"},
        {"not utf-8", "<Movie>\n<Author>Zo\xEB</Author></Movie>",
         "Cannot load " + (dir / "p.qlv") + ": invalid UTF-8 at line 2, column 11"},
        {"encoding", "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?><Movie/>",
         "Cannot load " + (dir / "p.qlv") + ": unsupported encoding \"shift_jis\""},
    };
    for (const Case& c : cases) {
        std::string path = dir / "p.qlv";
        WriteFile(path, c.bytes);
        TXMLDocument doc(path);
        EXPECT_EQ(MessageOf([&] { GetMovie(doc); }), c.message) << c.what;
        EXPECT_FALSE(doc.Active()) << c.what;
        EXPECT_EQ(ReadFile(path), c.bytes) << c.what;
    }

    TXMLDocument missing(dir / "none.qlv");
    EXPECT_EQ(MessageOf([&] { GetMovie(missing); }),
              "Cannot open " + (dir / "none.qlv") + ": No such file or directory");
    EXPECT_FALSE(std::filesystem::exists(dir / "none.qlv"));
}

TEST(XMLDocument, FailedLoadKeepsTheOpenDocument)
{
    TXMLDocument doc;
    doc.LoadFromXML("<Movie><Rate>15</Rate></Movie>");
    EXPECT_THROW(doc.LoadFromXML("<Movie><Rate>"), Error);
    EXPECT_EQ(GetMovie(doc).GetRate(), 15);
}

TEST(XMLDocument, SaveKeepsModeAndWritesThroughSymbolicLinks)
{
    TempDir dir;
    std::string real = dir / "real.qlv", link = dir / "link.qlv";
    WriteFile(real, kProject);
    std::filesystem::permissions(real, std::filesystem::perms(0640));
    std::filesystem::create_symlink(real, link);
    TXMLDocument doc(link);
    GetMovie(doc).SetWidth(320);
    doc.Save();
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_THAT(ReadFile(real), HasSubstr("<Width>320</Width>"));
    EXPECT_EQ(std::filesystem::status(real).permissions(), std::filesystem::perms(0640));
    EXPECT_TRUE(Strays(dir, {"real.qlv", "link.qlv"}).empty());
}

TEST(XMLDocument, FailedSaveNamesPathAndReasonAndLeavesNoTrace)
{
    TempDir dir;
    TXMLDocument doc;
    doc.LoadFromXML(kProject);

    // Folder missing, a file where a folder should be, a folder at the target.
    EXPECT_EQ(MessageOf([&] { doc.SaveToFile(dir / "no/such/p.qlv"); }),
              "Cannot save " + (dir / "no/such/p.qlv") + ": No such file or directory");
    WriteFile(dir / "file", "x");
    EXPECT_EQ(MessageOf([&] { doc.SaveToFile(dir / "file/p.qlv"); }),
              "Cannot save " + (dir / "file/p.qlv") + ": Not a directory");
    std::filesystem::create_directory(dir / "folder.qlv");
    EXPECT_THAT(MessageOf([&] { doc.SaveToFile(dir / "folder.qlv"); }),
                StartsWith("Cannot save " + (dir / "folder.qlv") + ": "));
    EXPECT_TRUE(std::filesystem::is_directory(dir / "folder.qlv"));
    EXPECT_TRUE(Strays(dir, {"file", "folder.qlv"}).empty());

    // The longest name the folder allows still saves.
    std::string longName = dir / (std::string(251, 'n') + ".qlv");
    doc.SaveToFile(longName);
    EXPECT_EQ(ReadFile(longName), doc.SaveToXML());

    TXMLDocument unnamed;
    EXPECT_THAT(MessageOf([&] { unnamed.Save(); }), StartsWith("Cannot save"));
}

// Permissions do not bind root, so as root the saves run in a child that
// has given up root; it exits 0 when every check held.
int AsUnprivileged(const std::function<bool()>& body)
{
    if (geteuid() != 0)
        return body() ? 0 : 1;
    pid_t pid = fork();
    if (pid == 0) {
        if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0)
            _exit(2);
        _exit(body() ? 0 : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 3;
}

TEST(XMLDocument, SaveIntoAReadOnlyFolderOrFileFailsAndKeepsTheOldFile)
{
    TempDir dir;
    std::string path = dir / "p.qlv";
    WriteFile(path, kProject);
    if (geteuid() == 0) {
        ASSERT_EQ(chown(dir.path().c_str(), 65534, 65534), 0);
        ASSERT_EQ(chown(path.c_str(), 65534, 65534), 0);
    }
    TXMLDocument doc(path);
    GetMovie(doc).SetWidth(1);
    const std::string denied = "Cannot save " + path + ": Permission denied";

    std::filesystem::permissions(dir.path(), std::filesystem::perms(0555));
    EXPECT_EQ(AsUnprivileged([&] { return MessageOf([&] { doc.Save(); }) == denied; }), 0);
    std::filesystem::permissions(dir.path(), std::filesystem::perms(0755));
    EXPECT_EQ(ReadFile(path), kProject);

    // A file made read-only is not replaced behind the user's back.
    std::filesystem::permissions(path, std::filesystem::perms(0444));
    EXPECT_EQ(AsUnprivileged([&] { return MessageOf([&] { doc.Save(); }) == denied; }), 0);
    EXPECT_EQ(ReadFile(path), kProject);
    EXPECT_TRUE(Strays(dir, {"p.qlv"}).empty());
}

// A full disk, simulated with a file-size limit: the write stops part-way
// and the project on disk must be the old one, whole.
TEST(XMLDocument, WriteThatRunsOutOfSpaceKeepsTheOldFileWhole)
{
    TempDir dir;
    std::string path = dir / "p.qlv";
    WriteFile(path, kProject);
    TXMLDocument doc(path);
    IXMLMovie movie = GetMovie(doc);
    for (int i = 0; i < 200; ++i)
        movie.GetObj().Add().SetDemo(std::string(100, 'x'));

    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    std::string message = MessageOf([&] { doc.Save(); });
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(message, "Cannot save " + path + ": File too large");
    EXPECT_EQ(ReadFile(path), kProject);
    EXPECT_TRUE(Strays(dir, {"p.qlv"}).empty());
    // Once there is room again the same document saves.
    doc.Save();
    EXPECT_EQ(GetMovie(*std::make_unique<TXMLDocument>(path)).GetObj().Count(), 201);
}

TEST(XMLDocument, ShippedTemplateHoldsTheNewProjectSettings)
{
    TXMLDocument doc(std::string(QUILLORA_SOURCE_DIR) + "/resources/blank.qlv");
    IXMLMovie movie = GetMovie(doc);
    EXPECT_EQ(movie.GetBgColor(), "16777215");
    EXPECT_EQ(movie.GetBgPic(), "");
    EXPECT_EQ(movie.GetWidth(), 640);
    EXPECT_EQ(movie.GetHeight(), 480);
    EXPECT_EQ(movie.GetRate(), 15);
    EXPECT_EQ(movie.GetTotalFrames(), 0);
    EXPECT_EQ(movie.GetTimes(), 0);
    EXPECT_EQ(movie.GetFileSize(), 0);
    EXPECT_EQ(movie.GetMovieName(), "");
    EXPECT_EQ(movie.GetAuthor(), "");
    EXPECT_EQ(movie.GetLoop(), "False");
    EXPECT_EQ(movie.GetObj().Count(), 0);
    // Every read found its element: nothing was added.
    EXPECT_EQ(std::distance(movie.Node().children().begin(), movie.Node().children().end()), 11);
    EXPECT_THAT(ReadFile(doc.FileName()), StartsWith("<?xml version=\"1.0\" encoding=\"UTF-8\"?>"));
}
