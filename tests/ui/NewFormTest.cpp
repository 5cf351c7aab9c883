// The new-recording dialog: its first look, the spin fields' typing,
// reading and clamping rules, the mode texts and what it hands on.
#include "TestSupport.h"

#include "platform/Platform.h"
#include "recording/NewForm.h"
#include "recording/SpinEdit.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

namespace {

class NewFormTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        TestApp();
        form = std::make_unique<TNewForm>();
        form->show();
        QApplication::setActiveWindow(form.get());
        ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    }

    // Types into a field as the user would: focus, select all, keys.
    void Type(TSpinEdit* edit, const QString& keys)
    {
        edit->Edit()->setFocus();
        edit->Edit()->selectAll();
        QTest::keyClicks(edit->Edit(), keys);
    }

    std::unique_ptr<TNewForm> form;
};

TEST_F(NewFormTest, FirstUseShowsDefaultsAndManualMode)
{
    EXPECT_EQ(form->windowTitle(), "Quillora");
    EXPECT_EQ(form->size(), QSize(403, 302));
    EXPECT_TRUE(form->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(form->EditWidth->Text(), "640");
    EXPECT_EQ(form->EditHeight->Text(), "480");
    EXPECT_TRUE(form->RBtnManu->isChecked());
    EXPECT_FALSE(form->RBtnAuto->isChecked());
    EXPECT_EQ(form->Label6->text(), "1. Press \"Pause\" on the keyboard to capture Screenshots.");
    EXPECT_EQ(form->Label1->text(), "Start to Record Demo");
    EXPECT_EQ(form->Label2->text(), "Please choose the Size for your Demo project.");
    EXPECT_EQ(form->GroupBox1->title(), "Defined Demo Size:");
    EXPECT_EQ(form->Label3->text(), "Width:");
    EXPECT_EQ(form->Label4->text(), "Height:");
    EXPECT_EQ(form->Label9->text(), "Record Options");
    EXPECT_EQ(form->RBtnAuto->text(), "Auto Capture");
    EXPECT_EQ(form->RBtnManu->text(), "Manu Capture");
    EXPECT_EQ(form->Label5->text(), "    Your actions will be recorded as you use the mouse and keyboard.");
    EXPECT_EQ(form->Label7->text(),
              "2. Click on the Quillora Icon in the System Tray (located near the clock) ");
    EXPECT_EQ(form->Label8->text(), "    if you wish to end your Screenshot Session.");
    EXPECT_EQ(form->Button1->text(), "&Start");
    EXPECT_EQ(form->Button2->text(), "&Cancel");
    EXPECT_EQ(form->Button1->geometry(), QRect(191, 269, 75, 25));
    EXPECT_EQ(form->Button2->geometry(), QRect(280, 269, 75, 25));
    EXPECT_FALSE(form->Button1->isDefault() || form->Button1->autoDefault());
    EXPECT_FALSE(form->Button2->isDefault() || form->Button2->autoDefault());
}

TEST_F(NewFormTest, TabOrderRunsFromTheButtonsThroughTheSizesToTheModes)
{
    form->Button1->setFocus();
    const std::vector<QWidget*> expected = {form->Button2, form->EditWidth->Edit(), form->EditHeight->Edit(),
                                            form->RBtnAuto};
    for (QWidget* next : expected) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), next);
    }
}

TEST_F(NewFormTest, ValueOutOfRangeIsClampedWhenStartIsClicked)
{
    Type(form->EditWidth, "5000");
    EXPECT_EQ(form->EditWidth->Value(), 5000) << "reading does not clamp";
    QTest::mouseClick(form->Button1, Qt::LeftButton);
    EXPECT_EQ(form->result(), QDialog::Accepted);
    EXPECT_EQ(form->CaptureWidth, 2000);
    EXPECT_EQ(form->CaptureHeight, 480);
    EXPECT_EQ(form->EditWidth->Text(), "2000");
}

TEST_F(NewFormTest, LeavingAFieldClampsToTheNearerBound)
{
    Type(form->EditHeight, "50");
    QTest::keyClick(form->EditHeight->Edit(), Qt::Key_Tab);
    EXPECT_EQ(form->EditHeight->Text(), "100");
    Type(form->EditWidth, "-7");
    form->Button2->setFocus();
    EXPECT_EQ(form->EditWidth->Text(), "100");
    // A value inside the bounds keeps its text as typed.
    Type(form->EditWidth, "+800");
    form->Button2->setFocus();
    EXPECT_EQ(form->EditWidth->Text(), "+800");
    EXPECT_EQ(form->EditWidth->Value(), 800);
}

TEST_F(NewFormTest, TextThatIsNoNumberReadsAsTheMinimum)
{
    Type(form->EditWidth, "");
    QTest::keyClick(form->EditWidth->Edit(), Qt::Key_Backspace);
    EXPECT_EQ(form->EditWidth->Text(), "");
    EXPECT_EQ(form->EditWidth->Value(), 100);
    Type(form->EditHeight, "1-2");
    EXPECT_EQ(form->EditHeight->Value(), 100);
    QTest::mouseClick(form->Button1, Qt::LeftButton);
    EXPECT_EQ(form->CaptureWidth, 100);
    EXPECT_EQ(form->CaptureHeight, 100);
}

TEST_F(NewFormTest, TypingTakesDigitsSignsAndFourCharactersOnly)
{
    Type(form->EditWidth, "7a x9!");
    EXPECT_EQ(form->EditWidth->Text(), "79");
    Type(form->EditWidth, "123456");
    EXPECT_EQ(form->EditWidth->Text(), "1234");
    Type(form->EditWidth, "12");
    QTest::keyClick(form->EditWidth->Edit(), Qt::Key_Backspace);
    EXPECT_EQ(form->EditWidth->Text(), "1");
}

TEST_F(NewFormTest, EnterAndEscapeDoNotCloseTheDialog)
{
    Type(form->EditWidth, "700");
    QTest::keyClick(form->EditWidth->Edit(), Qt::Key_Return);
    form->Button1->setFocus();
    QTest::keyClick(form->Button1, Qt::Key_Return);
    QTest::keyClick(form.get(), Qt::Key_Escape);
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(form->EditWidth->Text(), "700");
}

TEST_F(NewFormTest, ArrowKeysAndButtonsStepWithinTheBounds)
{
    form->EditWidth->Edit()->setFocus();
    QTest::keyClick(form->EditWidth->Edit(), Qt::Key_Up);
    EXPECT_EQ(form->EditWidth->Text(), "641");
    QTest::keyClick(form->EditWidth->Edit(), Qt::Key_Down);
    QTest::keyClick(form->EditWidth->Edit(), Qt::Key_Down);
    EXPECT_EQ(form->EditWidth->Text(), "639");
    Type(form->EditWidth, "2000");
    form->EditWidth->UpButton()->click();
    EXPECT_EQ(form->EditWidth->Text(), "2000");
    Type(form->EditHeight, "5");
    form->EditHeight->DownButton()->click();
    EXPECT_EQ(form->EditHeight->Text(), "100");
    Type(form->EditHeight, "9999");
    form->EditHeight->DownButton()->click();
    EXPECT_EQ(form->EditHeight->Text(), "2000");
}

TEST_F(NewFormTest, AltSWhileTheFieldHasFocusStillClamps)
{
    Type(form->EditWidth, "5000");
    Type(form->EditHeight, "20");
    ASSERT_EQ(QApplication::focusWidget(), form->EditHeight->Edit());
    QTest::keyClick(form->EditHeight->Edit(), Qt::Key_S, Qt::AltModifier);
    // A mnemonic clicks the button a moment later, without moving the focus.
    EXPECT_TRUE(QTest::qWaitFor([&] { return form->result() == QDialog::Accepted; }, 3000));
    EXPECT_EQ(form->CaptureWidth, 2000);
    EXPECT_EQ(form->CaptureHeight, 100);
}

TEST_F(NewFormTest, ModeTextFollowsTheRadioButtonsAndIsKept)
{
    QTest::mouseClick(form->RBtnAuto, Qt::LeftButton);
    EXPECT_TRUE(form->AutoMode());
    EXPECT_EQ(form->Label6->text(), "1. It's automation to capture Screenshots.");
    Type(form->EditWidth, "800");
    QTest::mouseClick(form->Button1, Qt::LeftButton);
    form->hide();

    form->show();
    EXPECT_TRUE(form->RBtnAuto->isChecked());
    EXPECT_EQ(form->Label6->text(), "1. It's automation to capture Screenshots.");
    EXPECT_EQ(form->EditWidth->Text(), "800");

    QTest::mouseClick(form->RBtnManu, Qt::LeftButton);
    EXPECT_FALSE(form->AutoMode());
    EXPECT_EQ(form->Label6->text(), "1. Press \"Pause\" on the keyboard to capture Screenshots.");
}

TEST_F(NewFormTest, CancelHandsOnNothing)
{
    Type(form->EditWidth, "1000");
    QTest::mouseClick(form->Button2, Qt::LeftButton);
    EXPECT_EQ(form->result(), QDialog::Rejected);
    EXPECT_EQ(form->CaptureWidth, 640);
    EXPECT_EQ(form->CaptureHeight, 480);
}

} // namespace

TEST_F(NewFormTest, DesktopLimitsGreyAutoOutAndAddANote)
{
    form->RBtnAuto->setChecked(true);
    platform::TCapabilities caps;
    caps.AutoMode = false;
    caps.ClickCapture = false;
    caps.Note = QStringLiteral("This desktop does not tell programs where the mouse is, so only "
                               "Manu Capture is offered.");
    form->ApplyCapabilities(caps);
    EXPECT_FALSE(form->RBtnAuto->isEnabled());
    EXPECT_TRUE(form->RBtnManu->isChecked());
    EXPECT_FALSE(form->AutoMode());
    ASSERT_TRUE(form->LabelPlatform->isVisible());
    EXPECT_EQ(form->LabelPlatform->accessibleName(), caps.Note);
    // The note pushes the buttons down; everything stays inside the dialog.
    EXPECT_GE(form->Button1->y(), form->LabelPlatform->geometry().bottom());
    EXPECT_LE(form->Button1->geometry().bottom(), form->height());
    EXPECT_GT(form->height(), 302);

    // A desktop without limits gives the dialog back as it was.
    form->ApplyCapabilities(platform::TCapabilities{});
    EXPECT_TRUE(form->RBtnAuto->isEnabled());
    EXPECT_FALSE(form->LabelPlatform->isVisible());
    EXPECT_EQ(form->size(), QSize(403, 302));
    EXPECT_EQ(form->Button1->pos(), QPoint(191, 269));
}
