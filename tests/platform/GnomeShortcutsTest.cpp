// GNOME's custom shortcuts as the capture key: added once, found again,
// never twice, beside the user's own. GSettings' memory back end stands in
// for dconf; the schemas are the installed ones.
#include <gio/gio.h>

#include "platform/GnomeShortcuts.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace platform;

namespace {

const char* const List = "org.gnome.settings-daemon.plugins.media-keys";
const char* const One = "org.gnome.settings-daemon.plugins.media-keys.custom-keybinding";

std::vector<std::string> Paths()
{
    GSettings* list = g_settings_new(List);
    gchar** paths = g_settings_get_strv(list, "custom-keybindings");
    std::vector<std::string> out;
    for (gchar** p = paths; p && *p; ++p)
        out.emplace_back(*p);
    g_strfreev(paths);
    g_object_unref(list);
    return out;
}

std::string Key(const std::string& path, const char* key)
{
    GSettings* one = g_settings_new_with_path(One, path.c_str());
    gchar* value = g_settings_get_string(one, key);
    std::string out = value;
    g_free(value);
    g_object_unref(one);
    return out;
}

} // namespace

TEST(GnomeShortcuts, TheCaptureKeyIsAddedOnceBesideTheUsersOwn)
{
    g_setenv("GSETTINGS_BACKEND", "memory", TRUE);
    if (!HasGnomeCustomShortcuts())
        GTEST_SKIP() << "GNOME's settings schemas are not installed";
    const QString command = QStringLiteral("/usr/bin/quillora --capture");
    QString why;

    // The user's own shortcut, and one entry that is no settings path.
    ASSERT_TRUE(AddGnomeShortcut("Terminal", "gnome-terminal", "<Super>t", &why))
        << why.toStdString();
    {
        GSettings* list = g_settings_new(List);
        std::vector<std::string> paths = Paths();
        paths.push_back("not-a-path");
        std::vector<const gchar*> strv;
        for (const std::string& p : paths)
            strv.push_back(p.c_str());
        strv.push_back(nullptr);
        g_settings_set_strv(list, "custom-keybindings", strv.data());
        g_object_unref(list);
    }
    EXPECT_EQ(GnomeShortcutFor(command), QString());

    ASSERT_TRUE(AddGnomeShortcut("Quillora capture", command, "Pause", &why))
        << why.toStdString();
    std::vector<std::string> paths = Paths();
    ASSERT_EQ(paths.size(), 3u);
    const std::string base = "/org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/";
    EXPECT_EQ(paths[0], base + "custom0/");
    EXPECT_EQ(paths[2], base + "custom1/");
    EXPECT_EQ(Key(paths[2], "name"), "Quillora capture");
    EXPECT_EQ(Key(paths[2], "command"), command.toStdString());
    EXPECT_EQ(Key(paths[2], "binding"), "Pause");
    EXPECT_EQ(Key(paths[0], "command"), "gnome-terminal");
    EXPECT_EQ(GnomeShortcutFor(command), QStringLiteral("Pause"));

    // A second offer finds it and adds nothing, even when the user moved it
    // to another key.
    GSettings* ours = g_settings_new_with_path(One, paths[2].c_str());
    g_settings_set_string(ours, "binding", "<Ctrl>F9");
    g_object_unref(ours);
    EXPECT_EQ(GnomeShortcutFor(command), QStringLiteral("<Ctrl>F9"));
    ASSERT_TRUE(AddGnomeShortcut("Quillora capture", command, "Pause", &why));
    EXPECT_EQ(Paths().size(), 3u);
}
