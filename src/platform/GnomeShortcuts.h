// GNOME's own keyboard settings (Settings > Keyboard > Custom Shortcuts):
// a key that runs a command, kept in GSettings. GNOME offers programs no
// global keys on Wayland, so this is how a key reaches `quillora --capture`.
#pragma once

#include <QString>

namespace platform {

// True when the desktop's settings have GNOME's custom shortcuts.
bool HasGnomeCustomShortcuts();

// The key of a custom shortcut that runs command; empty when none does.
QString GnomeShortcutFor(const QString& command);

// Adds a custom shortcut named name that runs command on binding (GNOME's
// notation, such as "Pause"), unless one runs that command already. False
// with why set when the settings cannot be written.
bool AddGnomeShortcut(const QString& name, const QString& command, const QString& binding,
                      QString* why);

} // namespace platform
