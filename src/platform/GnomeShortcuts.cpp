// GIO first: Qt's signals keyword would break its headers.
#include <gio/gio.h>

#include "platform/GnomeShortcuts.h"

#include <QStringList>

#include <memory>
#include <vector>

namespace platform {

namespace {

const char* const ListSchema = "org.gnome.settings-daemon.plugins.media-keys";
const char* const OneSchema = "org.gnome.settings-daemon.plugins.media-keys.custom-keybinding";
const char* const ListKey = "custom-keybindings";
const QString PathPrefix =
    QStringLiteral("/org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/custom");

struct TUnref {
    void operator()(gpointer p) const { g_object_unref(p); }
};
using TSettings = std::unique_ptr<GSettings, TUnref>;

// g_settings_new aborts the process on a schema that is not installed.
bool HasSchema(const char* id)
{
    GSettingsSchemaSource* source = g_settings_schema_source_get_default();
    if (!source)
        return false;
    GSettingsSchema* schema = g_settings_schema_source_lookup(source, id, TRUE);
    if (!schema)
        return false;
    g_settings_schema_unref(schema);
    return true;
}

QString String(GSettings* settings, const char* key)
{
    gchar* value = g_settings_get_string(settings, key);
    const QString out = QString::fromUtf8(value);
    g_free(value);
    return out;
}

QStringList Paths(GSettings* list)
{
    QStringList out;
    gchar** paths = g_settings_get_strv(list, ListKey);
    for (gchar** p = paths; p && *p; ++p)
        out << QString::fromUtf8(*p);
    g_strfreev(paths);
    return out;
}

TSettings Shortcut(const QString& path)
{
    return TSettings(g_settings_new_with_path(OneSchema, path.toUtf8().constData()));
}

} // namespace

bool HasGnomeCustomShortcuts()
{
    return HasSchema(ListSchema) && HasSchema(OneSchema);
}

QString GnomeShortcutFor(const QString& command)
{
    if (!HasGnomeCustomShortcuts())
        return {};
    const TSettings list(g_settings_new(ListSchema));
    for (const QString& path : Paths(list.get())) {
        // A path that is not a settings path would abort the process.
        if (!path.startsWith(QLatin1Char('/')) || !path.endsWith(QLatin1Char('/')))
            continue;
        const TSettings one = Shortcut(path);
        if (String(one.get(), "command").trimmed() == command.trimmed())
            return String(one.get(), "binding");
    }
    return {};
}

bool AddGnomeShortcut(const QString& name, const QString& command, const QString& binding,
                      QString* why)
{
    if (!HasGnomeCustomShortcuts()) {
        *why = QStringLiteral("This desktop has no GNOME keyboard settings.");
        return false;
    }
    if (!GnomeShortcutFor(command).isEmpty())
        return true;
    const TSettings list(g_settings_new(ListSchema));
    QStringList paths = Paths(list.get());
    // The first free customN, as GNOME's Settings picks them.
    int n = 0;
    while (paths.contains(PathPrefix + QString::number(n) + QLatin1Char('/')))
        ++n;
    const QString path = PathPrefix + QString::number(n) + QLatin1Char('/');
    const TSettings one = Shortcut(path);
    const bool written =
        g_settings_set_string(one.get(), "name", name.toUtf8().constData()) &&
        g_settings_set_string(one.get(), "command", command.toUtf8().constData()) &&
        g_settings_set_string(one.get(), "binding", binding.toUtf8().constData());
    paths << path;
    std::vector<QByteArray> bytes;
    std::vector<const gchar*> strv;
    for (const QString& p : paths)
        bytes.push_back(p.toUtf8());
    for (const QByteArray& b : bytes)
        strv.push_back(b.constData());
    strv.push_back(nullptr);
    const bool listed = written && g_settings_set_strv(list.get(), ListKey, strv.data());
    // Written before the program goes on (or ends).
    g_settings_sync();
    if (!listed) {
        *why = QStringLiteral("GNOME's keyboard settings cannot be changed.");
        return false;
    }
    return true;
}

} // namespace platform
