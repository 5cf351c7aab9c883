// The video options File > Export asks for: names and roles a screen reader
// reads, everything from the keyboard, and what the dialog answers.
#include "AccessibilityCheck.h"
#include "TestSupport.h"

#include "ui/ExportOptions.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

QAccessibleInterface* Named(QWidget* root, const QString& name)
{
    QAccessibleInterface* top = QAccessible::queryAccessibleInterface(root);
    std::vector<QAccessibleInterface*> todo{top};
    while (!todo.empty()) {
        QAccessibleInterface* i = todo.back();
        todo.pop_back();
        if (i->text(QAccessible::Name) == name)
            return i;
        for (int k = 0; k < i->childCount(); ++k)
            todo.push_back(i->child(k));
    }
    return nullptr;
}

TEST(ExportOptions, ControlsAreNamedWithTheirRolesAndTheLevelFollowsTheZoom)
{
    TestApp();
    TExportOptionsForm form({false, 2.5, false});
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    EXPECT_EQ(accessibility_check::Problems(&form).join(QLatin1Char('\n')).toStdString(), "");
    QAccessibleInterface* zoom = Named(&form, QStringLiteral("Zoom toward the pointer"));
    QAccessibleInterface* level = Named(&form, QStringLiteral("Zoom level"));
    QAccessibleInterface* clicks = Named(&form, QStringLiteral("Show clicks"));
    ASSERT_TRUE(zoom && level && clicks);
    EXPECT_EQ(zoom->role(), QAccessible::CheckBox);
    EXPECT_EQ(level->role(), QAccessible::SpinBox);
    EXPECT_EQ(clicks->role(), QAccessible::CheckBox);
    EXPECT_FALSE(zoom->state().checked);
    EXPECT_TRUE(level->state().disabled) << "no level without the zoom";
    ASSERT_TRUE(level->valueInterface());
    EXPECT_DOUBLE_EQ(level->valueInterface()->currentValue().toDouble(), 2.5);
    EXPECT_DOUBLE_EQ(level->valueInterface()->minimumValue().toDouble(), 1.25);
    EXPECT_DOUBLE_EQ(level->valueInterface()->maximumValue().toDouble(), 4);

    // From the keyboard: Space turns the zoom on, Tab reaches the level,
    // the arrow raises it a quarter, Tab and Space turn the clicks on.
    ASSERT_TRUE(form.ZoomBox->hasFocus());
    QTest::keyClick(form.ZoomBox, Qt::Key_Space);
    EXPECT_TRUE(form.ZoomBox->isChecked());
    EXPECT_TRUE(form.LevelEdit->isEnabled());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), form.LevelEdit);
    QTest::keyClick(form.LevelEdit, Qt::Key_Up);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), form.ClicksBox);
    QTest::keyClick(form.ClicksBox, Qt::Key_Space);
    EXPECT_EQ(form.Choice(), (quillora::TFocusChoice{true, 2.75, true}));
    // The level stays within its range whatever is typed.
    form.LevelEdit->setValue(9);
    EXPECT_DOUBLE_EQ(form.Choice().Level, 4);
}

TEST(ExportOptions, TheShellAsksAndReturnKeepsWhileEscapeCancels)
{
    TestApp();
    TQtShell shell;
    quillora::TFocusChoice choice{false, 2, false};
    QTimer::singleShot(0, [] {
        QWidget* w = QApplication::activeModalWidget();
        ASSERT_TRUE(w);
        auto* form = qobject_cast<TExportOptionsForm*>(w);
        ASSERT_TRUE(form);
        QTest::keyClick(form->ZoomBox, Qt::Key_Space);
        QTest::keyClick(form, Qt::Key_Return);
    });
    EXPECT_TRUE(shell.AskVideoOptions(nullptr, choice));
    EXPECT_EQ(choice, (quillora::TFocusChoice{true, 2, false}));

    QTimer::singleShot(0, [] {
        QWidget* w = QApplication::activeModalWidget();
        ASSERT_TRUE(w);
        QTest::keyClick(w, Qt::Key_Escape);
    });
    quillora::TFocusChoice other{true, 3, true};
    EXPECT_FALSE(shell.AskVideoOptions(nullptr, other));
    EXPECT_EQ(other, (quillora::TFocusChoice{true, 3, true})) << "a cancel changes nothing";
}

} // namespace
