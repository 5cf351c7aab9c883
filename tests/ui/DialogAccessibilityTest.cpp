// Every dialog of the program as a screen reader sees it: each control has
// a name and the role of what it is, and can be reached from the keyboard.
#include "AccessibilityCheck.h"
#include "TestSupport.h"

#include "platform/QtServices.h"
#include "recording/NewForm.h"
#include "ui/AboutForm.h"
#include "ui/EditDialogs.h"
#include "ui/ExportOptions.h"
#include "ui/LinkLabel.h"
#include "ui/Player.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

namespace {

// One line per problem, so a failure reads as a list.
std::string Problems(QWidget* window)
{
    return accessibility_check::Problems(window).join(QLatin1Char('\n')).toStdString();
}

video::TTimeline OneWhiteFrame()
{
    video::TTimeline timeline;
    timeline.width = 64 * 20;
    timeline.height = 48 * 20;
    timeline.lastFrame = 0;
    return timeline;
}

TEST(DialogAccessibilityTest, EveryControlOfEveryDialogHasANameAndItsRole)
{
    TestApp();
    TFakeShell shell;
    quillora::TCaption caption;
    caption.Content = "Hello";
    caption.FontName = "DejaVu Sans";
    caption.FontSize = 12;
    const std::vector<std::pair<const char*, std::function<std::unique_ptr<QDialog>()>>> dialogs = {
        {"new recording", [] { return std::make_unique<TNewForm>(); }},
        {"length", [] { return std::make_unique<TLengthDialog>(30, 15); }},
        {"caption",
         [&] { return std::make_unique<TCaptionDialog>(QStringLiteral("Add Caption"), caption); }},
        {"player", [] { return std::make_unique<TPlayerForm>(OneWhiteFrame()); }},
        {"about", [&] { return std::make_unique<TAboutForm>(shell); }},
        {"export video", [] { return std::make_unique<TExportOptionsForm>(quillora::TFocusChoice{}); }},
    };
    for (const auto& [name, make] : dialogs) {
        SCOPED_TRACE(name);
        std::unique_ptr<QDialog> dialog = make();
        dialog->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
        EXPECT_EQ(Problems(dialog.get()), "");
        EXPECT_EQ(QAccessible::queryAccessibleInterface(dialog.get())->role(), QAccessible::Dialog);
    }
}

// Looks at the modal dialog open() shows, from inside its own loop, and
// closes it; what the check found, or why nothing was looked at.
std::string ProblemsOfModal(const std::function<void()>& open)
{
    std::string problems = "no dialog was shown";
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        problems = Problems(dialog);
        // A file dialog fills its list from another thread, a row's name
        // coming after the row: only a problem that stays is one.
        for (int i = 0; i < 20 && !problems.empty(); ++i) {
            QTest::qWait(100);
            problems = Problems(dialog);
        }
        // A message box is announced as an alert, anything else as a dialog.
        const QAccessible::Role role = QAccessible::queryAccessibleInterface(dialog)->role();
        if (role !=
            (qobject_cast<QMessageBox*>(dialog) ? QAccessible::AlertMessage : QAccessible::Dialog))
            problems += (problems.empty() ? "" : "\n") + ("window role " + std::to_string(role));
        dialog->reject();
    });
    open();
    return problems;
}

TEST(DialogAccessibilityTest, MessageBoxesAndFileDialogsNameTheirControls)
{
    TestApp();
    TQtShell shell;
    platform::TQtPrompts prompts;
    const QString filter = QStringLiteral("Quillora file (*.qlv);;Flash file (*.swf)");
    const std::vector<std::pair<const char*, std::function<void()>>> dialogs = {
        {"confirm", [&] { EXPECT_FALSE(shell.ConfirmOkCancel(nullptr, "Delete the picture?")); }},
        {"save changes",
         [&] {
             EXPECT_EQ(shell.AskSaveChanges(nullptr, "Save changes?"), IShell::TSaveAnswer::Cancel);
         }},
        {"error", [&] { shell.ShowError(nullptr, QStringLiteral("Can not write the file.")); }},
        {"info", [&] { shell.ShowInfo(nullptr, QStringLiteral("The movie is written.")); }},
        {"yes or no", [&] { EXPECT_FALSE(prompts.AskYesNo("Quillora", "Stop the recording?")); }},
        {"prompt error", [&] { prompts.ShowError(QStringLiteral("No screen to capture.")); }},
        {"warning", [&] { prompts.ShowWarning(QStringLiteral("The sound is missing.")); }},
        {"open", [&] { EXPECT_EQ(shell.GetOpenFileName(nullptr, filter), ""); }},
        {"save", [&] { EXPECT_EQ(shell.GetSaveFileName(nullptr, filter), ""); }},
    };
    for (const auto& [name, open] : dialogs) {
        SCOPED_TRACE(name);
        EXPECT_EQ(ProblemsOfModal(open), "");
    }
}

// "Save changes?" offers three buttons; Escape and the close box cancel, and
// each button gives its own answer.
TEST(DialogAccessibilityTest, SaveChangesHasSaveDontSaveAndCancel)
{
    TestApp();
    TQtShell shell;
    using Answer = IShell::TSaveAnswer;
    const std::vector<std::pair<std::function<void(QMessageBox&)>, Answer>> cases = {
        {[](QMessageBox& box) { QTest::keyClick(&box, Qt::Key_Escape); }, Answer::Cancel},
        {[](QMessageBox& box) { box.close(); }, Answer::Cancel},
        {[](QMessageBox& box) { box.button(QMessageBox::Save)->click(); }, Answer::Save},
        {[](QMessageBox& box) { box.button(QMessageBox::Cancel)->click(); }, Answer::Cancel},
        {[](QMessageBox& box) {
             for (QAbstractButton* b : box.buttons())
                 if (b->text() == "Do&n't Save")
                     b->click();
         },
         Answer::DontSave},
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(i);
        QStringList texts;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            for (QAbstractButton* b : box->buttons())
                texts << b->text();
            cases[i].first(*box);
        });
        EXPECT_EQ(shell.AskSaveChanges(nullptr, "Save changes?"), cases[i].second);
        texts.sort();
        EXPECT_EQ(texts, QStringList({"Cancel", "Do&n't Save", "Save"}));
    }
}

// The check itself: it finds what a screen reader could not name, however
// deep it sits.
TEST(DialogAccessibilityTest, CheckFindsUnnamedControlsAndWrongRoles)
{
    TestApp();
    QDialog dialog;
    dialog.setWindowTitle(QStringLiteral("Test"));
    auto* layout = new QHBoxLayout(&dialog);
    auto* inner = new QWidget;
    auto* innerLayout = new QHBoxLayout(inner);
    auto* iconOnly = new QPushButton;
    iconOnly->setObjectName(QStringLiteral("iconOnly"));
    innerLayout->addWidget(iconOnly);
    auto* field = new QLineEdit;
    field->setObjectName(QStringLiteral("field"));
    layout->addWidget(inner);
    layout->addWidget(field);
    auto* named = new QSpinBox;
    named->setAccessibleName(QStringLiteral("Count"));
    layout->addWidget(named);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));

    QStringList problems = accessibility_check::Problems(&dialog);
    ASSERT_EQ(problems.size(), 2) << Problems(&dialog);
    EXPECT_TRUE(problems[0].contains("iconOnly") && problems[0].contains("no name"));
    EXPECT_TRUE(problems[1].contains("field") && problems[1].contains("no name"));

    iconOnly->setAccessibleName(QStringLiteral("Record"));
    field->setAccessibleName(QStringLiteral("Title"));
    EXPECT_EQ(Problems(&dialog), "");
    // A label the mouse can click but the keyboard cannot reach.
    auto* link = new TLinkLabel(QStringLiteral("www.example.org"));
    link->setFocusPolicy(Qt::NoFocus);
    layout->addWidget(link);
    link->show();
    problems = accessibility_check::Problems(&dialog);
    ASSERT_EQ(problems.size(), 1) << Problems(&dialog);
    EXPECT_TRUE(problems[0].contains("keyboard"));
}

TEST(DialogAccessibilityTest, LinksAreReachedAndFollowedFromTheKeyboard)
{
    TestApp();
    TFakeShell shell;
    TAboutForm about(shell);
    about.show();
    QApplication::setActiveWindow(&about);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&about));
    QAccessibleInterface* mail = QAccessible::queryAccessibleInterface(about.MailTo);
    EXPECT_EQ(mail->role(), QAccessible::Link);
    EXPECT_EQ(mail->text(QAccessible::Name), about.MailTo->text());

    // OK has the focus first; the links follow it in turn.
    about.Button1->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QWidget* first = QApplication::focusWidget();
    QTest::keyClick(first, Qt::Key_Tab);
    QWidget* second = QApplication::focusWidget();
    EXPECT_TRUE((first == about.MailTo && second == about.HttpTo) ||
                (first == about.HttpTo && second == about.MailTo));
    about.MailTo->setFocus();
    QTest::keyClick(about.MailTo, Qt::Key_Return);
    EXPECT_TRUE(about.isVisible()) << "Enter on a link is not the OK button's";
    about.HttpTo->setFocus();
    QTest::keyClick(about.HttpTo, Qt::Key_Space);
    ASSERT_EQ(shell.Opened.size(), 2);
    EXPECT_EQ(shell.Opened[0].scheme(), "mailto");
    EXPECT_EQ(shell.Opened[1].scheme(), "https");

    // Assistive technology presses it too.
    QAccessibleActionInterface* action = mail->actionInterface();
    ASSERT_NE(action, nullptr);
    EXPECT_TRUE(action->actionNames().contains(QAccessibleActionInterface::pressAction()));
    action->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(shell.Opened.size(), 3);
}

} // namespace
