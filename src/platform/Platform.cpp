#include "platform/Platform.h"

#include "platform/FakePlatform.h"
#include "platform/X11Platform.h"

#include <QGuiApplication>

#include <cstdio>

namespace platform {

std::unique_ptr<IPlatform> CreatePlatform(QString* why)
{
    const QByteArray forced = qgetenv("QUILLORA_PLATFORM");
    QString reason;
    std::unique_ptr<IPlatform> platform;
    if (forced == "fake") {
        reason = QStringLiteral("QUILLORA_PLATFORM asks for the in-memory desktop.");
        platform = std::make_unique<TFakePlatform>();
    } else if (forced == "x11" || QGuiApplication::platformName() == QLatin1String("xcb")) {
        platform = CreateX11Platform(&reason);
        if (platform)
            reason = QStringLiteral("The display is X11.");
    } else {
        reason = QStringLiteral("The display (%1) is not X11: recording cannot reach the screen.")
                     .arg(QGuiApplication::platformName());
    }
    if (!platform)
        platform = std::make_unique<TFakePlatform>();
    if (why)
        *why = reason;
    return platform;
}

namespace {
std::unique_ptr<IPlatform> Owned;
IPlatform* Current = nullptr;
} // namespace

IPlatform& CurrentPlatform()
{
    if (!Current) {
        QString why;
        Owned = CreatePlatform(&why);
        Current = Owned.get();
        if (Current->Name() != QLatin1String("x11"))
            std::fprintf(stderr, "quillora: desktop services: %s %s\n", qPrintable(Current->Name()),
                         qPrintable(why));
    }
    return *Current;
}

void SetCurrentPlatform(IPlatform* platform)
{
    Current = platform;
    if (!platform)
        Owned.reset();
}

} // namespace platform
