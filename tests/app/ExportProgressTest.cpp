// Progress of an export: hidden while it is quick, shown once it has run
// for half a second, gone when the export ends.
#include "../ui/AccessibilityCheck.h"
#include "../ui/TestSupport.h"

#include "app/ExportProgress.h"

#include <QProgressDialog>
#include <QPushButton>
#include <QWidget>
#include <gtest/gtest.h>

namespace {

TEST(ExportProgressTest, ShowsOnlyOnceTheExportTakesHalfASecond)
{
    TestApp();
    QWidget window;
    qint64 now = 0;
    QPointer<QProgressDialog> dialog;
    {
        TExportProgress progress(&window, [&] { return now; });
        progress.Update(0, 10);
        now = 499;
        progress.Update(3, 10);
        EXPECT_EQ(progress.Dialog(), nullptr);

        now = 500;
        progress.Update(4, 10);
        dialog = progress.Dialog();
        ASSERT_NE(dialog, nullptr);
        EXPECT_TRUE(dialog->isVisible());
        EXPECT_EQ(dialog->maximum(), 10);
        EXPECT_EQ(dialog->value(), 4);

        // The document may grow while it is written; odd figures stay in range.
        progress.Update(12, 11);
        EXPECT_EQ(dialog->maximum(), 11);
        EXPECT_EQ(dialog->value(), 11);
        progress.Update(0, 0);
        EXPECT_EQ(dialog->maximum(), 1);
        EXPECT_EQ(dialog->value(), 0);
    }
    EXPECT_TRUE(dialog.isNull()) << "the dialog goes with the export";
}

TEST(ExportProgressTest, VideoFramesCanBeCancelled)
{
    TestApp();
    QWidget window;
    qint64 now = 1000;
    TExportProgress progress(&window, [&] { return now; });
    progress.Update(5, 5); // the objects are in; the video's frames follow
    EXPECT_TRUE(progress.UpdateFrames(1, 100));
    QProgressDialog* dialog = progress.Dialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->maximum(), 100);
    QPushButton* cancel = dialog->findChild<QPushButton*>();
    ASSERT_NE(cancel, nullptr);
    EXPECT_EQ(cancel->text(), QStringLiteral("Cancel"));
    EXPECT_TRUE(cancel->isEnabled());
    cancel->click();
    EXPECT_FALSE(progress.UpdateFrames(2, 100)) << "the export stops at the next frame";
}

TEST(ExportProgressTest, GuideStepsSayWhatIsWrittenAndCanBeCancelled)
{
    TestApp();
    QWidget window;
    window.show();
    qint64 now = 0;
    TExportProgress progress(&window, [&] { return now; });
    EXPECT_TRUE(progress.UpdateSteps(0, 40));
    EXPECT_EQ(progress.Dialog(), nullptr) << "a quick guide shows nothing";
    now = 600;
    EXPECT_TRUE(progress.UpdateSteps(10, 40));
    QProgressDialog* dialog = progress.Dialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->labelText(), QStringLiteral("Writing the guide ..."));
    EXPECT_EQ(dialog->accessibleName(), QStringLiteral("Writing the guide"));
    EXPECT_EQ(dialog->value(), 10);
    EXPECT_EQ(dialog->maximum(), 40);
    EXPECT_EQ(accessibility_check::Problems(dialog).join('\n').toStdString(), "");
    QPushButton* cancel = dialog->findChild<QPushButton*>();
    ASSERT_NE(cancel, nullptr);
    cancel->click();
    EXPECT_FALSE(progress.UpdateSteps(11, 40));
}

TEST(ExportProgressTest, ScreenReadersCanNameTheProgressAndTheCancelButton)
{
    TestApp();
    QWidget window;
    window.show();
    TExportProgress progress(&window, [] { return 1000; });
    progress.Update(1, 4);
    ASSERT_NE(progress.Dialog(), nullptr);
    EXPECT_EQ(accessibility_check::Problems(progress.Dialog()).join('\n').toStdString(), "");
    progress.UpdateFrames(1, 100);
    ASSERT_NE(progress.Dialog(), nullptr);
    EXPECT_EQ(accessibility_check::Problems(progress.Dialog()).join('\n').toStdString(), "");
}

} // namespace
