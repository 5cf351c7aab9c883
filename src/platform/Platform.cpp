#include "platform/Platform.h"

#include "platform/FakePlatform.h"
#include "platform/WaylandPlatform.h"
#include "platform/X11Platform.h"

#include <QCoreApplication>
#include <QGuiApplication>

#include <cstdio>

namespace platform {

TBackendChoice ChooseBackend(const QByteArray& forced, const QByteArray& sessionType,
                             const QByteArray& waylandDisplay, const QString& qtPlatform)
{
    if (forced == "fake")
        return {TBackend::Fake,
                QStringLiteral("QUILLORA_PLATFORM asks for the in-memory desktop.")};
    if (forced == "x11")
        return {TBackend::X11, QStringLiteral("QUILLORA_PLATFORM asks for X11.")};
    if (forced == "wayland")
        return {TBackend::Wayland, QStringLiteral("QUILLORA_PLATFORM asks for Wayland.")};
    if (qtPlatform == QLatin1String("offscreen") || qtPlatform == QLatin1String("minimal"))
        return {TBackend::Fake,
                QStringLiteral("The display (%1) is not a screen: recording cannot reach one.")
                    .arg(qtPlatform)};
    // Under XWayland the X11 backend would see only X11 windows and no input
    // from the others, so a Wayland session always gets the Wayland backend.
    if (sessionType.toLower() == "wayland" || !waylandDisplay.isEmpty())
        return {TBackend::Wayland, QStringLiteral("The session is Wayland.")};
    return {TBackend::X11, QStringLiteral("The display is X11.")};
}

QByteArray QtPlatformFor(TBackend backend)
{
    switch (backend) {
    case TBackend::X11:
        return "xcb";
    case TBackend::Wayland:
        return "wayland";
    case TBackend::Fake:
        break;
    }
    return {};
}

TBackendChoice ChooseBackendFromEnvironment()
{
    return ChooseBackend(qgetenv("QUILLORA_PLATFORM"), qgetenv("XDG_SESSION_TYPE"),
                         qgetenv("WAYLAND_DISPLAY"),
                         QString::fromLocal8Bit(qgetenv("QT_QPA_PLATFORM")));
}

std::unique_ptr<IPlatform> CreatePlatform(QString* why)
{
    TBackendChoice choice = ChooseBackend(
        qgetenv("QUILLORA_PLATFORM"), qgetenv("XDG_SESSION_TYPE"), qgetenv("WAYLAND_DISPLAY"),
        qApp ? QGuiApplication::platformName()
             : QString::fromLocal8Bit(qgetenv("QT_QPA_PLATFORM")));
    std::unique_ptr<IPlatform> platform;
    switch (choice.Backend) {
    case TBackend::X11:
        platform = CreateX11Platform(&choice.Why);
        break;
    case TBackend::Wayland:
        platform = CreateWaylandPlatform(&choice.Why);
        break;
    case TBackend::Fake:
        break;
    }
    if (!platform)
        platform = std::make_unique<TFakePlatform>();
    if (why)
        *why = choice.Why;
    return platform;
}

namespace {
// The backend holds a session-bus name, windows and sounds, all of which
// need the application and its connections: the program ends it with
// ShutdownPlatform while they are there. One still here when the process
// exits, after the application is gone, is left to the exit, as tearing it
// down then would talk to a bus connection that no longer exists.
struct TOwned {
    IPlatform* Platform = nullptr;
    ~TOwned()
    {
        if (QCoreApplication::instance())
            delete Platform;
    }
    void Reset()
    {
        delete Platform;
        Platform = nullptr;
    }
} Owned;
IPlatform* Current = nullptr;
} // namespace

IPlatform& CurrentPlatform()
{
    if (!Current) {
        QString why;
        Owned.Platform = CreatePlatform(&why).release();
        Current = Owned.Platform;
        if (Current->Name() == QLatin1String("fake"))
            std::fprintf(stderr, "quillora: desktop services: %s %s\n", qPrintable(Current->Name()),
                         qPrintable(why));
    }
    return *Current;
}

void SetCurrentPlatform(IPlatform* platform)
{
    Current = platform;
    if (!platform)
        Owned.Reset();
}

void ShutdownPlatform()
{
    if (Current == Owned.Platform)
        Current = nullptr;
    Owned.Reset();
}

} // namespace platform
