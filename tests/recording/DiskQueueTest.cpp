// The disk thread of a recording: order, reports, skipped saves, shutdown,
// and flushes that fail.
#include "recording/DiskQueue.h"

#include "DiskGate.h"
#include "document/XMLDocument.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>

using namespace quillora;

namespace {

std::string Read(const std::string& path)
{
    QFile f(QString::fromStdString(path));
    return f.open(QIODevice::ReadOnly) ? f.readAll().toStdString() : std::string();
}

std::vector<TDiskQueue::TDone> TakeAll(TDiskQueue& disk)
{
    std::vector<TDiskQueue::TDone> all;
    while (disk.WaitForDone())
        for (auto& done : disk.Take())
            all.push_back(std::move(done));
    return all;
}

class DiskQueueTest : public ::testing::Test {
  protected:
    std::string File(const char* name) const { return (Tmp.path() + "/" + name).toStdString(); }
    std::string Folder() const { return Tmp.path().toStdString(); }

    TDiskGate Gate; // outlives the queues of the tests
    QTemporaryDir Tmp;
};

TEST_F(DiskQueueTest, ReportsInQueueOrderAndWakesOncePerTake)
{
    std::atomic<int> wakes{0};
    TDiskQueue disk([&] { ++wakes; });
    uint32_t next = 10;
    Gate.Close();
    const uint64_t a = disk.WritePicture(Folder(), "A", [&] { return next++; });
    const uint64_t b = disk.SaveFile(File("p.qlv"), "<p/>", 7);
    const uint64_t c = disk.WritePicture(Folder(), "C", [&] { return next++; });
    EXPECT_EQ(disk.Pending(), 3u);
    Gate.Open();
    const auto done = TakeAll(disk);
    ASSERT_EQ(done.size(), 3u);
    EXPECT_EQ(done[0].Ticket, a);
    EXPECT_TRUE(done[0].Picture);
    EXPECT_EQ(done[0].Path, Folder() + "/10.jpg");
    EXPECT_EQ(done[1].Ticket, b);
    EXPECT_FALSE(done[1].Picture);
    EXPECT_EQ(done[1].Tag, 7);
    EXPECT_EQ(done[2].Ticket, c);
    EXPECT_EQ(done[2].Path, Folder() + "/11.jpg");
    for (const auto& d : done)
        EXPECT_EQ(d.Error, "");
    EXPECT_EQ(Read(Folder() + "/11.jpg"), "C");
    EXPECT_EQ(Read(File("p.qlv")), "<p/>");
    // At least one wake, and never more than one per finished job.
    EXPECT_GE(wakes.load(), 1);
    EXPECT_LE(wakes.load(), 3);
    EXPECT_EQ(disk.Pending(), 0u);
    EXPECT_FALSE(disk.WaitForDone());
}

TEST_F(DiskQueueTest, AQueuedSaveSkipsTheOlderSaveOfTheSameFile)
{
    TDiskQueue disk;
    Gate.Close();
    // The picture holds the thread while the saves queue up behind it.
    disk.WritePicture(Folder(), "A", [] { return 1u; });
    disk.SaveFile(File("p.qlv"), "<one/>", 1);
    disk.SaveFile(File("q.qlv"), "<other/>", 5);
    disk.SaveFile(File("p.qlv"), "<two/>", 2);
    Gate.Open();
    const auto done = TakeAll(disk);
    ASSERT_EQ(done.size(), 3u);
    EXPECT_EQ(done[1].Path, File("q.qlv"));
    EXPECT_EQ(done[2].Path, File("p.qlv"));
    EXPECT_EQ(done[2].Tag, 2);
    EXPECT_EQ(Read(File("p.qlv")), "<two/>");
    EXPECT_EQ(Read(File("q.qlv")), "<other/>");
}

TEST_F(DiskQueueTest, DestroyedWithWorkQueuedFinishesIt)
{
    {
        TDiskQueue disk;
        Gate.Close();
        disk.WritePicture(Folder(), "A", [] { return 3u; });
        disk.SaveFile(File("p.qlv"), "<last/>");
        Gate.Open();
    }
    EXPECT_EQ(Read(Folder() + "/3.jpg"), "A");
    EXPECT_EQ(Read(File("p.qlv")), "<last/>");
}

TEST_F(DiskQueueTest, FailedFlushesAreReportedAndLeaveNoHalfFiles)
{
    const std::string project = File("p.qlv");
    WriteFileAtomic(project, "<old/>");
    TDiskQueue disk;
    // A folder that is not there, then a flush the disk refuses.
    disk.WritePicture(Folder() + "/gone", "A", [] { return 1u; });
    Gate.FailPicture(1);
    disk.WritePicture(Folder(), "B", [] { return 2u; });
    QDir(Tmp.path()).mkdir("busy.qlv");
    disk.SaveFile(File("busy.qlv"), "<new/>");
    const auto done = TakeAll(disk);
    ASSERT_EQ(done.size(), 3u);
    EXPECT_EQ(done[0].Error.rfind("Cannot write the screenshot " + Folder() + "/gone/1.jpg", 0), 0u)
        << done[0].Error;
    EXPECT_EQ(done[1].Error,
              "Cannot write the screenshot " + Folder() + "/2.jpg: Input/output error");
    EXPECT_FALSE(QFile::exists(QString::fromStdString(Folder() + "/2.jpg")));
    EXPECT_EQ(done[2].Error.rfind("Cannot save " + File("busy.qlv"), 0), 0u) << done[2].Error;
    EXPECT_EQ(Read(project), "<old/>");
    // Nothing but what was there and the folder made above.
    EXPECT_EQ(QDir(Tmp.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList({"busy.qlv", "p.qlv"}));
}

} // namespace
