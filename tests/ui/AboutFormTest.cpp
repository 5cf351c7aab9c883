// The about box: its texts, the version, the memory figures and the links.
#include "TestSupport.h"

#include "ui/AboutForm.h"
#include "ui/LinkLabel.h"
#include "ui/MemoryStatus.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

namespace {

TEST(MemoryStatusTest, ParsesTheKernelFigures)
{
    const auto status = ParseMemInfo(QStringLiteral("MemTotal:       16000000 kB\n"
                                                    "MemFree:         1000000 kB\n"
                                                    "MemAvailable:    4000000 kB\n"
                                                    "Buffers:          100000 kB\n"));
    ASSERT_TRUE(status);
    EXPECT_EQ(status->TotalPhys, 16000000ULL * 1024);
    EXPECT_EQ(status->MemoryLoad, 75);
}

TEST(MemoryStatusTest, WithoutMemAvailableFreeBuffersAndCacheCount)
{
    const auto status = ParseMemInfo(QStringLiteral("MemTotal: 1000 kB\nMemFree: 100 kB\n"
                                                    "Buffers: 50 kB\nCached: 150 kB\n"));
    ASSERT_TRUE(status);
    EXPECT_EQ(status->MemoryLoad, 70);
    EXPECT_FALSE(ParseMemInfo(QStringLiteral("garbage\n")));
    EXPECT_FALSE(ParseMemInfo(QStringLiteral("MemTotal: 0 kB\n")));
}

TEST(MemoryStatusTest, ThisMachineReportsItsMemory)
{
    const TMemoryStatus status = ReadMemoryStatus();
    EXPECT_GT(status.TotalPhys, 0u);
    EXPECT_GE(status.MemoryLoad, 0);
    EXPECT_LE(status.MemoryLoad, 100);
}

TEST(MemoryStatusTest, FiguresAreFormattedWithTheLocalesGrouping)
{
    EXPECT_EQ(FormatPhysMem(536379392, QLocale::c()), "523,808 KB");
    // No 4 GB cap: 64 GiB shows as such.
    EXPECT_EQ(FormatPhysMem(64ULL << 30, QLocale::c()), "67,108,864 KB");
    EXPECT_EQ(FormatPhysMem(536379392, QLocale(QLocale::German, QLocale::Germany)), "523.808 KB");
    // Rounded to the nearest KB.
    EXPECT_EQ(FormatPhysMem(1535, QLocale::c()), "1 KB");
    EXPECT_EQ(FormatPhysMem(1536, QLocale::c()), "2 KB");
    EXPECT_EQ(FormatMemoryLoad(37), "37 %");
}

TEST(ReadFileVersionTest, SplitsFourNumbers)
{
    int major = -1, minor = -1, release = -1, build = -1;
    ASSERT_TRUE(ReadFileVersion(QStringLiteral("1.0.0.100"), major, minor, release, build));
    EXPECT_EQ(major, 1);
    EXPECT_EQ(minor, 0);
    EXPECT_EQ(release, 0);
    EXPECT_EQ(build, 100);
    EXPECT_FALSE(ReadFileVersion(QStringLiteral("1.0"), major, minor, release, build));
    EXPECT_FALSE(ReadFileVersion(QStringLiteral("1.0.x.3"), major, minor, release, build));
    EXPECT_FALSE(ReadFileVersion(QStringLiteral("1.0.0.70000"), major, minor, release, build));
}

class AboutFormTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        TestApp();
        form = std::make_unique<TAboutForm>(shell);
    }
    TFakeShell shell;
    std::unique_ptr<TAboutForm> form;
};

TEST_F(AboutFormTest, ShowsItsTextsAndTheBuildsVersion)
{
    EXPECT_EQ(form->windowTitle(), "About Quillora");
    EXPECT_EQ(form->size(), QSize(298, 186));
    EXPECT_TRUE(form->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(form->ProductName->text(), "Quillora");
    EXPECT_TRUE(form->ProductName->font().bold());
    EXPECT_EQ(form->LabelVersion->text(), "Version 1.0");
    EXPECT_EQ(form->Label3->text(), "Physical Memory:");
    EXPECT_EQ(form->Label4->text(), "Memory in Use:");
    EXPECT_EQ(form->Button1->text(), "&OK");
    EXPECT_TRUE(form->PhysMem->text().endsWith(" KB"));
    EXPECT_TRUE(form->FreeRes->text().endsWith(" %"));

    form->show();
    EXPECT_EQ(form->LabelVersion->text(), "Version 1.0 (Build 100)");
    QTest::mouseClick(form->Button1, Qt::LeftButton);
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(form->result(), QDialog::Accepted);
}

TEST_F(AboutFormTest, WithoutVersionInformationTheLabelKeepsItsText)
{
    form->VersionText = QStringLiteral("unknown");
    form->show();
    EXPECT_EQ(form->LabelVersion->text(), "Version 1.0");
}

TEST_F(AboutFormTest, MemoryFiguresAreThoseOfTheFirstOpening)
{
    form->PhysMem->setText(QStringLiteral("marker"));
    form->show();
    form->hide();
    form->show();
    EXPECT_EQ(form->PhysMem->text(), "marker");
}

TEST_F(AboutFormTest, LinksUnderlineUnderTheMouseOnly)
{
    form->show();
    EXPECT_FALSE(form->MailTo->font().underline());
    QTest::mouseMove(form->MailTo, QPoint(3, 3));
    QMouseEvent move(QEvent::MouseMove, QPointF(3, 3), form->MailTo->mapToGlobal(QPointF(3, 3)), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(form->MailTo, &move);
    EXPECT_TRUE(form->MailTo->font().underline());
    EXPECT_FALSE(form->HttpTo->font().underline());
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(form->MailTo, &leave);
    EXPECT_FALSE(form->MailTo->font().underline());
    EXPECT_EQ(form->MailTo->palette().color(QPalette::WindowText), QColor(Qt::blue));
    EXPECT_EQ(form->MailTo->cursor().shape(), Qt::PointingHandCursor);
}

TEST_F(AboutFormTest, LinksOpenTheMailProgramAndTheBrowser)
{
    form->show();
    QTest::mouseClick(form->MailTo, Qt::LeftButton);
    QTest::mouseClick(form->HttpTo, Qt::LeftButton);
    ASSERT_EQ(shell.Opened.size(), 2);
    EXPECT_EQ(shell.Opened[0].toString(), "mailto:support@brindlecove.example");
    EXPECT_EQ(shell.Opened[1].scheme(), "https");
    EXPECT_EQ(shell.Opened[1].host(), "www.brindlecove.example");
}

} // namespace
