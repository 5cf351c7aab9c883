// Walks a window's accessibility tree the way a screen reader does and lists
// what it could not tell its user: a control without a name, a control whose
// role is not what it is, or one that can be pressed but not reached from
// the keyboard.
#pragma once

#include "ui/LinkLabel.h"

#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QAccessible>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QStringList>
#include <QToolBar>
#include <QToolButton>
#include <QWidget>
#include <algorithm>

namespace accessibility_check {

// The role a widget of this kind must report; NoRole where any will do.
inline QAccessible::Role ExpectedRole(QObject* object)
{
    if (qobject_cast<TLinkLabel*>(object))
        return QAccessible::Link;
    if (qobject_cast<QRadioButton*>(object))
        return QAccessible::RadioButton;
    if (qobject_cast<QCheckBox*>(object))
        return QAccessible::CheckBox;
    if (auto* button = qobject_cast<QPushButton*>(object))
        return button->menu() ? QAccessible::ButtonMenu : QAccessible::PushButton;
    if (qobject_cast<QAbstractSpinBox*>(object))
        return QAccessible::SpinBox;
    if (qobject_cast<QScrollBar*>(object))
        return QAccessible::ScrollBar;
    if (qobject_cast<QAbstractSlider*>(object))
        return QAccessible::Slider;
    if (qobject_cast<QComboBox*>(object))
        return QAccessible::ComboBox;
    if (qobject_cast<QLineEdit*>(object))
        return QAccessible::EditableText;
    if (qobject_cast<QProgressBar*>(object))
        return QAccessible::ProgressBar;
    return QAccessible::NoRole;
}

// Roles of things the user acts on: each needs a name and the focus.
inline bool IsControl(QAccessible::Role role)
{
    switch (role) {
    case QAccessible::PushButton:
    case QAccessible::ButtonMenu:
    case QAccessible::ButtonDropDown:
    case QAccessible::CheckBox:
    case QAccessible::RadioButton:
    case QAccessible::Link:
    case QAccessible::SpinBox:
    case QAccessible::Slider:
    case QAccessible::ComboBox:
    case QAccessible::EditableText:
        return true;
    default:
        return false;
    }
}

inline QString Describe(QAccessibleInterface* iface)
{
    QObject* object = iface->object();
    return QStringLiteral("%1 \"%2\" (%3)")
        .arg(object ? QString::fromLatin1(object->metaObject()->className()) : QStringLiteral("?"),
             object && !object->objectName().isEmpty() ? object->objectName()
                                                       : iface->text(QAccessible::Name))
        .arg(int(iface->role()));
}

// A tool bar's button stands for a menu entry, which the keyboard reaches
// through the menu bar and the entry's shortcut; the button need not take
// the focus itself.
inline bool RepeatsAMenuEntry(QObject* object)
{
    auto* button = qobject_cast<QToolButton*>(object);
    if (!button || !qobject_cast<QToolBar*>(button->parent()) || !button->defaultAction())
        return false;
    const QList<QObject*> users = button->defaultAction()->associatedObjects();
    return std::any_of(users.begin(), users.end(),
                       [](QObject* user) { return qobject_cast<QMenu*>(user) != nullptr; });
}

inline void Walk(QAccessibleInterface* iface, QStringList& problems, int depth)
{
    if (!iface || !iface->isValid() || depth > 32)
        return;
    const QAccessible::State state = iface->state();
    if (state.invisible)
        return;
    const QAccessible::Role role = iface->role();
    const QAccessible::Role expected = ExpectedRole(iface->object());
    if (expected != QAccessible::NoRole && role != expected)
        problems << Describe(iface) +
                        QStringLiteral(": role %1, should be %2").arg(int(role)).arg(int(expected));
    const bool control = IsControl(role) || IsControl(expected);
    const bool named = control || state.focusable || role == QAccessible::ProgressBar;
    if (named && iface->text(QAccessible::Name).trimmed().isEmpty())
        problems << Describe(iface) + QStringLiteral(": no name");
    if (control && !state.focusable && !state.disabled && !RepeatsAMenuEntry(iface->object()))
        problems << Describe(iface) + QStringLiteral(": not reachable from the keyboard");
    // A combo box's list and a spin box's own line edit are parts of the
    // control, named by it.
    if (role == QAccessible::ComboBox || role == QAccessible::SpinBox)
        return;
    for (int i = 0; i < iface->childCount(); ++i)
        Walk(iface->child(i), problems, depth + 1);
}

// Everything wrong in window and below it; empty when a screen reader can
// name every control.
inline QStringList Problems(QWidget* window)
{
    QStringList problems;
    QAccessibleInterface* root = QAccessible::queryAccessibleInterface(window);
    if (!root)
        return {QStringLiteral("no accessibility interface")};
    if (root->text(QAccessible::Name).trimmed().isEmpty())
        problems << QStringLiteral("the window has no name");
    Walk(root, problems, 0);
    return problems;
}

} // namespace accessibility_check
