// The new-recording dialog: its first look, the spin fields' typing,
// reading and clamping rules, the mode texts and what it hands on.
#include "TestSupport.h"

#include "platform/Platform.h"
#include "recording/NewForm.h"
#include "recording/SpinEdit.h"

#include <QAccessible>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QCheckBox>
#include <QComboBox>
#include <QStyle>
#include <QStyleOptionSpinBox>
#include <QTest>
#include <QWheelEvent>
#include <gtest/gtest.h>

namespace {

class NewFormTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        TestApp();
        // Each test starts as a first use.
        QSettings().remove("NewRecording");
        form = std::make_unique<TNewForm>();
        form->show();
        QApplication::setActiveWindow(form.get());
        ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
        // A screen that takes every size; refusals are seen, not shown.
        form->ScreenSize = QSize(2560, 2160);
        form->Refuse = [this](const QString& text) { Refusals << text; };
    }
    QStringList Refusals;

    // Types into a field as the user would: focus, select all, keys.
    void Type(TSpinEdit* edit, const QString& keys)
    {
        edit->setFocus();
        edit->selectAll();
        QTest::keyClicks(edit, keys);
    }

    // Clicks the field's up or down arrow with the mouse.
    static void ClickArrow(TSpinEdit* edit, bool up)
    {
        const QPoint at(edit->width() - 5, up ? 5 : edit->height() - 5);
        ASSERT_EQ(HitArrow(edit, at), up ? QStyle::SC_SpinBoxUp : QStyle::SC_SpinBoxDown);
        QTest::mouseClick(edit, Qt::LeftButton, {}, at);
    }

    static QStyle::SubControl HitArrow(TSpinEdit* edit, QPoint at)
    {
        QStyleOptionSpinBox option;
        option.initFrom(edit);
        option.subControls = QStyle::SC_SpinBoxUp | QStyle::SC_SpinBoxDown |
                             QStyle::SC_SpinBoxFrame | QStyle::SC_SpinBoxEditField;
        option.frame = edit->hasFrame();
        option.buttonSymbols = edit->buttonSymbols();
        return edit->style()->hitTestComplexControl(QStyle::CC_SpinBox, &option, at, edit);
    }

    std::unique_ptr<TNewForm> form;
};

TEST_F(NewFormTest, FirstUseShowsDefaultsAndManualMode)
{
    EXPECT_EQ(form->windowTitle(), "Quillora");
    // The dialog's own size and a row below the instructions for the presets.
    EXPECT_EQ(form->size(), QSize(403, 302 + TNewForm::PresetRow));
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
    EXPECT_EQ(form->Button1->geometry(), QRect(191, 269 + TNewForm::PresetRow, 75, 25));
    EXPECT_EQ(form->Button2->geometry(), QRect(280, 269 + TNewForm::PresetRow, 75, 25));
    EXPECT_FALSE(form->Button1->isDefault() || form->Button1->autoDefault());
    EXPECT_FALSE(form->Button2->isDefault() || form->Button2->autoDefault());
}

TEST_F(NewFormTest, TabOrderRunsFromTheButtonsThroughTheSizesToTheModes)
{
    form->Button1->setFocus();
    const std::vector<QWidget*> expected = {form->Button2, form->EditWidth, form->EditHeight,
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
    QTest::keyClick(form->EditHeight, Qt::Key_Tab);
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
    QTest::keyClick(form->EditWidth, Qt::Key_Backspace);
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
    QTest::keyClick(form->EditWidth, Qt::Key_Backspace);
    EXPECT_EQ(form->EditWidth->Text(), "1");
}

TEST_F(NewFormTest, EnterAndEscapeDoNotCloseTheDialog)
{
    Type(form->EditWidth, "700");
    QTest::keyClick(form->EditWidth, Qt::Key_Return);
    form->Button1->setFocus();
    QTest::keyClick(form->Button1, Qt::Key_Return);
    QTest::keyClick(form.get(), Qt::Key_Escape);
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(form->EditWidth->Text(), "700");
}

TEST_F(NewFormTest, ArrowKeysAndButtonsStepWithinTheBounds)
{
    form->EditWidth->setFocus();
    QTest::keyClick(form->EditWidth, Qt::Key_Up);
    EXPECT_EQ(form->EditWidth->Text(), "641");
    QTest::keyClick(form->EditWidth, Qt::Key_Down);
    QTest::keyClick(form->EditWidth, Qt::Key_Down);
    EXPECT_EQ(form->EditWidth->Text(), "639");
    Type(form->EditWidth, "2000");
    ClickArrow(form->EditWidth, true);
    EXPECT_EQ(form->EditWidth->Text(), "2000");
    Type(form->EditHeight, "5");
    ClickArrow(form->EditHeight, false);
    EXPECT_EQ(form->EditHeight->Text(), "100");
    Type(form->EditHeight, "9999");
    ClickArrow(form->EditHeight, false);
    EXPECT_EQ(form->EditHeight->Text(), "2000");

    // A wheel notch is one step too, with Ctrl held or not.
    Type(form->EditWidth, "700");
    const QPointF centre = QRectF(form->EditWidth->rect()).center();
    for (Qt::KeyboardModifiers modifiers : {Qt::NoModifier, Qt::ControlModifier}) {
        QWheelEvent notch(centre, form->EditWidth->mapToGlobal(centre), QPoint(), QPoint(0, 120),
                          Qt::NoButton, modifiers, Qt::NoScrollPhase, false);
        QApplication::sendEvent(form->EditWidth, &notch);
    }
    EXPECT_EQ(form->EditWidth->Text(), "702");
}

TEST_F(NewFormTest, AltSWhileTheFieldHasFocusStillClamps)
{
    Type(form->EditWidth, "5000");
    Type(form->EditHeight, "20");
    ASSERT_EQ(QApplication::focusWidget(), form->EditHeight);
    QTest::keyClick(form->EditHeight, Qt::Key_S, Qt::AltModifier);
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

TEST_F(NewFormTest, SizeFieldsAreSpinButtonsWithLabelValueAndBounds)
{
    struct Field {
        TSpinEdit* edit;
        QLabel* label;
        const char* name;
        int value;
    };
    for (const Field& f : {Field{form->EditWidth, form->Label3, "Width", 640},
                           Field{form->EditHeight, form->Label4, "Height", 480}}) {
        SCOPED_TRACE(f.name);
        QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(f.edit);
        ASSERT_NE(iface, nullptr);
        EXPECT_EQ(iface->role(), QAccessible::SpinBox);
        EXPECT_EQ(iface->text(QAccessible::Name), f.name);
        EXPECT_TRUE(iface->state().focusable);
        QAccessibleValueInterface* value = iface->valueInterface();
        ASSERT_NE(value, nullptr);
        EXPECT_EQ(value->currentValue().toInt(), f.value);
        EXPECT_EQ(value->minimumValue().toInt(), 100);
        EXPECT_EQ(value->maximumValue().toInt(), 2000);
        EXPECT_EQ(value->minimumStepSize().toInt(), 1);
        bool labelled = false;
        for (const auto& [other, relation] : iface->relations(QAccessible::Label))
            labelled = labelled || other->object() == f.label;
        EXPECT_TRUE(labelled) << "the label is not related to its field";
    }

    // What assistive technology reads follows the text, unclamped as the
    // field reads it; a value it sets is clamped like a step.
    QAccessibleValueInterface* width =
        QAccessible::queryAccessibleInterface(form->EditWidth)->valueInterface();
    Type(form->EditWidth, "5000");
    EXPECT_EQ(width->currentValue().toInt(), 5000);
    width->setCurrentValue(700);
    EXPECT_EQ(form->EditWidth->Text(), "700");
    width->setCurrentValue(9000);
    EXPECT_EQ(form->EditWidth->Text(), "2000");
}

TEST_F(NewFormTest, FourDigitsShowWhole)
{
    for (TSpinEdit* edit : {form->EditWidth, form->EditHeight}) {
        auto* line = edit->findChild<QLineEdit*>();
        ASSERT_NE(line, nullptr);
        edit->setFocus();
        edit->SetText(QStringLiteral("2000"));
        line->setCursorPosition(4);
        line->grab(); // the line edit scrolls when it paints
        // Text that does not fit scrolls: its first digit would be gone.
        EXPECT_EQ(line->cursorPositionAt(QPoint(3, line->height() / 2)), 0);
    }
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
    EXPECT_GT(form->height(), 302 + TNewForm::PresetRow);

    // A desktop without limits gives the dialog back as it was.
    form->ApplyCapabilities(platform::TCapabilities{});
    EXPECT_TRUE(form->RBtnAuto->isEnabled());
    EXPECT_FALSE(form->LabelPlatform->isVisible());
    EXPECT_EQ(form->size(), QSize(403, 302 + TNewForm::PresetRow));
    EXPECT_EQ(form->Button1->pos(), QPoint(191, 269 + TNewForm::PresetRow));
}

TEST_F(NewFormTest, TheDesktopsOwnWaysToCaptureAndStopReplaceTheKeyAndTheTray)
{
    platform::TCapabilities caps;
    caps.ManualText = QStringLiteral("1. Run \"quillora --capture\" to capture Screenshots.");
    caps.StopText = QStringLiteral("2. Click the Quillora button in a corner of the screen");
    form->ApplyCapabilities(caps);
    EXPECT_EQ(form->Label6->text(), caps.ManualText);
    EXPECT_EQ(form->Label7->text(), caps.StopText);
    // The desktop's text follows the mode back and forth.
    form->RBtnAuto->setChecked(true);
    EXPECT_EQ(form->Label6->text(), QString::fromLatin1(TNewForm::AutoText));
    form->RBtnManu->setChecked(true);
    EXPECT_EQ(form->Label6->text(), caps.ManualText);
    for (QLabel* label : {form->Label6, form->Label7})
        EXPECT_LE(label->geometry().right(), form->width()) << label->text().toStdString();

    // A desktop with the Pause key and a tray gets the usual instructions.
    form->ApplyCapabilities(platform::TCapabilities{});
    EXPECT_EQ(form->Label6->text(), QString::fromLatin1(TNewForm::ManualText));
    EXPECT_TRUE(form->Label7->text().startsWith("2. Click on the Quillora Icon in the System Tray"));
}

TEST_F(NewFormTest, SizeLargerThanTheScreenIsRefusedNamingTheScreen)
{
    form->ScreenSize = QSize(1920, 1080);
    Type(form->EditWidth, "2000");
    QTest::mouseClick(form->Button1, Qt::LeftButton);
    EXPECT_TRUE(form->isVisible());
    EXPECT_NE(form->result(), QDialog::Accepted);
    ASSERT_EQ(Refusals.size(), 1);
    EXPECT_TRUE(Refusals[0].contains("2000 x 480")) << Refusals[0].toStdString();
    EXPECT_TRUE(Refusals[0].contains("1920 x 1080")) << Refusals[0].toStdString();
    EXPECT_EQ(form->CaptureWidth, 640) << "nothing handed on";
    // Tall is refused alike; the screen's own size is taken.
    EXPECT_FALSE(TNewForm::SizeProblem(1000, 1081, QSize(1920, 1080)).isEmpty());
    EXPECT_TRUE(TNewForm::SizeProblem(1920, 1080, QSize(1920, 1080)).isEmpty());
    Type(form->EditWidth, "1920");
    Type(form->EditHeight, "1080");
    QTest::mouseClick(form->Button1, Qt::LeftButton);
    EXPECT_EQ(form->result(), QDialog::Accepted);
    EXPECT_EQ(form->CaptureWidth, 1920);
    EXPECT_EQ(Refusals.size(), 1);
}

TEST_F(NewFormTest, PresetsFillTheFieldsFromTheKeyboardAndNameThemselves)
{
    // The whole screen is the platform's (the in-memory one: 1024 x 768).
    form->hide();
    form->show();
    QApplication::setActiveWindow(form.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    ASSERT_EQ(form->ComboPreset->count(), 5);
    EXPECT_EQ(form->ComboPreset->itemText(0), "Last size: 640 x 480");
    EXPECT_EQ(form->ComboPreset->itemText(2), "1280 x 720");
    EXPECT_EQ(form->ComboPreset->itemText(4), "Whole screen: 1024 x 768");
    form->ComboPreset->setFocus();
    QTest::keyClick(form->ComboPreset, Qt::Key_Down);
    QTest::keyClick(form->ComboPreset, Qt::Key_Down);
    EXPECT_EQ(form->EditWidth->Text(), "1280");
    EXPECT_EQ(form->EditHeight->Text(), "720");
    QTest::keyClick(form->ComboPreset, Qt::Key_End);
    EXPECT_EQ(form->EditWidth->Value(), 1024);
    EXPECT_EQ(form->EditHeight->Value(), 768);
    // The fields keep their rules after a preset.
    Type(form->EditWidth, "50");
    QTest::keyClick(form->EditWidth, Qt::Key_Tab);
    EXPECT_EQ(form->EditWidth->Text(), "100");
    // Alt+P reaches the presets, Alt+D the count down.
    QTest::keyClick(form.get(), Qt::Key_P, Qt::AltModifier);
    EXPECT_EQ(QApplication::focusWidget(), form->ComboPreset);
    // A combo box labelled "Preset:", a check box with its name.
    QAccessibleInterface* combo = QAccessible::queryAccessibleInterface(form->ComboPreset);
    ASSERT_NE(combo, nullptr);
    EXPECT_EQ(combo->role(), QAccessible::ComboBox);
    const auto labels = combo->relations(QAccessible::Label);
    ASSERT_EQ(labels.size(), 1);
    EXPECT_EQ(labels[0].first->text(QAccessible::Name), "Preset:");
    QAccessibleInterface* check = QAccessible::queryAccessibleInterface(form->CheckCountdown);
    ASSERT_NE(check, nullptr);
    EXPECT_EQ(check->role(), QAccessible::CheckBox);
    EXPECT_EQ(check->text(QAccessible::Name), "Count down 3 seconds before the first auto capture");
    EXPECT_TRUE(form->CheckCountdown->focusPolicy() & Qt::TabFocus);
}

TEST_F(NewFormTest, ChoicesAreRememberedForTheNextRun)
{
    EXPECT_TRUE(form->Countdown()) << "counting down by default";
    Type(form->EditWidth, "800");
    form->RBtnAuto->click();
    form->CheckCountdown->click();
    QTest::mouseClick(form->Button1, Qt::LeftButton);
    ASSERT_EQ(form->result(), QDialog::Accepted);
    EXPECT_EQ(form->ComboPreset->itemText(0), "Last size: 800 x 480");

    // A dialog of the next run.
    TNewForm next;
    EXPECT_EQ(next.EditWidth->Text(), "800");
    EXPECT_EQ(next.EditHeight->Text(), "480");
    EXPECT_TRUE(next.AutoMode());
    EXPECT_EQ(next.Label6->text(), TNewForm::AutoText);
    EXPECT_FALSE(next.Countdown());
    EXPECT_EQ(next.ComboPreset->itemText(0), "Last size: 800 x 480");
    // Cancel remembers nothing.
    Type(next.EditWidth, "900");
    next.Button2->click();
    EXPECT_EQ(TNewForm().EditWidth->Text(), "800");
}

TEST_F(NewFormTest, FitAWindowIsACheckBoxReachedByItsMnemonicAndRemembered)
{
    EXPECT_FALSE(form->FitWindow()) << "off the first time";
    QAccessibleInterface* check = QAccessible::queryAccessibleInterface(form->CheckFitWindow);
    ASSERT_NE(check, nullptr);
    EXPECT_EQ(check->role(), QAccessible::CheckBox);
    EXPECT_EQ(check->text(QAccessible::Name), "Fit a window");
    EXPECT_FALSE(check->text(QAccessible::Description).isEmpty());
    // Inside the dialog, clear of the presets beside it.
    EXPECT_LE(form->CheckFitWindow->geometry().right(), form->width());
    EXPECT_FALSE(form->CheckFitWindow->geometry().intersects(form->ComboPreset->geometry()));
    // Alt+W turns it on from anywhere in the dialog; Tab reaches it after the presets.
    form->EditWidth->setFocus();
    QTest::keyClick(form.get(), Qt::Key_W, Qt::AltModifier);
    // A mnemonic clicks as the mouse would: released a moment later.
    for (int i = 0; i < 100 && !form->CheckFitWindow->isChecked(); ++i)
        QTest::qWait(10);
    EXPECT_TRUE(form->CheckFitWindow->isChecked());
    EXPECT_TRUE(form->FitWindow());
    form->ComboPreset->setFocus();
    QTest::keyClick(form->ComboPreset, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), form->CheckFitWindow);
    QTest::keyClick(form->CheckFitWindow, Qt::Key_Space);
    EXPECT_FALSE(form->FitWindow());
    QTest::keyClick(form->CheckFitWindow, Qt::Key_Space);
    EXPECT_TRUE(form->FitWindow());
    QTest::mouseClick(form->Button1, Qt::LeftButton);
    ASSERT_EQ(form->result(), QDialog::Accepted);
    EXPECT_TRUE(TNewForm().FitWindow()) << "remembered for the next run";

    // Where the desktop cannot tell windows apart: hidden, not handed on,
    // the note says why, and the choice made elsewhere is kept.
    form->show();
    platform::TCapabilities caps;
    caps.FitWindow = false;
    caps.Note = QStringLiteral("Fit a window is not offered: Wayland does not tell programs "
                               "which window is under the mouse.");
    form->ApplyCapabilities(caps);
    EXPECT_FALSE(form->CheckFitWindow->isVisible());
    EXPECT_FALSE(form->FitWindow());
    EXPECT_TRUE(form->LabelPlatform->isVisible());
    form->CheckFitWindow->setChecked(false);
    form->Button1->click();
    TNewForm next;
    next.ApplyCapabilities(platform::TCapabilities{});
    EXPECT_TRUE(next.FitWindow());
    form->ApplyCapabilities(platform::TCapabilities{});
    EXPECT_TRUE(form->CheckFitWindow->isVisibleTo(form.get()));
}
