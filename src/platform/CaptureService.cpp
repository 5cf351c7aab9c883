#include "platform/CaptureService.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QThread>
#include <QTimer>

namespace platform {

namespace {

// Only a bus the session announces: without one, libdbus would try to
// start a bus of its own, which outlives us.
bool HaveSessionBus()
{
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return true;
    const QString runtime = QString::fromLocal8Bit(qgetenv("XDG_RUNTIME_DIR"));
    return !runtime.isEmpty() && QFileInfo::exists(runtime + QStringLiteral("/bus"));
}

// The capture and the window services share the bus name: it is held
// while either is there, and given back when the last one goes.
int NameUsers = 0;

// Exports object at path and takes the name; false, with nothing left
// behind, without a bus or when another process holds the name.
bool RegisterOnBus(QObject* object, const char* path)
{
    if (!HaveSessionBus())
        return false;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    if (!bus.registerObject(QString::fromLatin1(path), object, QDBusConnection::ExportAllSlots))
        return false;
    if (NameUsers == 0 && !bus.registerService(QString::fromLatin1(TCaptureService::ServiceName))) {
        bus.unregisterObject(QString::fromLatin1(path));
        return false;
    }
    ++NameUsers;
    return true;
}

void UnregisterFromBus(const char* path)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.unregisterObject(QString::fromLatin1(path));
    if (--NameUsers == 0)
        bus.unregisterService(QString::fromLatin1(TCaptureService::ServiceName));
}

const QString NoBus = QStringLiteral("There is no session bus to reach Quillora over.");

} // namespace

const char* const TCaptureService::ServiceName = "org.brindlecove.Quillora";
const char* const TCaptureService::ObjectPath = "/Capture";
const char* const TWindowService::ObjectPath = "/Window";

TCaptureService::TCaptureService()
{
    Registered = RegisterOnBus(this, ObjectPath);
}

TCaptureService::~TCaptureService()
{
    if (Registered)
        UnregisterFromBus(ObjectPath);
}

void TCaptureService::SetHandler(std::function<void()> onCapture)
{
    Handler = std::move(onCapture);
}

void TCaptureService::SetPauseHandler(std::function<void()> onPause)
{
    PauseHandler = std::move(onPause);
}

QString TCaptureService::Pause()
{
    if (!PauseHandler)
        return QStringLiteral("Quillora is not recording.");
    QTimer::singleShot(0, this, [this] {
        if (PauseHandler)
            PauseHandler();
    });
    return {};
}

QString TCaptureService::Capture()
{
    if (!Handler)
        return QStringLiteral("Quillora is not recording.");
    // Answered at once: the capture may open a message box, and the caller
    // must not wait for the user.
    QTimer::singleShot(0, this, [this] {
        if (Handler)
            Handler();
    });
    return {};
}

TWindowService::TWindowService()
{
    Registered = RegisterOnBus(this, ObjectPath);
}

TWindowService::~TWindowService()
{
    if (Registered)
        UnregisterFromBus(ObjectPath);
}

QString TWindowService::Open(const QString& path)
{
    // A relative path would be read against our folder, not the caller's.
    if (path.isEmpty() || QFileInfo(path).isRelative())
        return QStringLiteral("Quillora needs the whole path of the file to open, not \"%1\".")
            .arg(path);
    return OnOpen ? OnOpen(path) : QStringLiteral("Quillora cannot open files yet.");
}

QString TWindowService::Raise()
{
    return OnRaise ? OnRaise() : QString();
}

TOpenReply RequestOpen(const QString& path, int waitMs)
{
    TOpenReply result;
    result.Unreachable = true;
    if (!HaveSessionBus()) {
        result.Message = NoBus;
        return result;
    }
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        result.Message = NoBus;
        return result;
    }
    const QString service = QString::fromLatin1(TCaptureService::ServiceName);
    // The running copy may be starting still: it holds the lock before it
    // takes its name.
    QElapsedTimer waited;
    waited.start();
    while (!bus.interface()->isServiceRegistered(service).value()) {
        if (waited.elapsed() >= waitMs) {
            result.Message = QStringLiteral("Quillora is already running, but does not answer "
                                            "on the session bus.");
            return result;
        }
        QThread::msleep(100);
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        service, QString::fromLatin1(TWindowService::ObjectPath),
        QStringLiteral("org.brindlecove.Quillora.Window"),
        path.isEmpty() ? QStringLiteral("Raise") : QStringLiteral("Open"));
    if (!path.isEmpty())
        call << path;
    const QDBusReply<QString> reply = bus.call(call, QDBus::Block, 10000);
    if (!reply.isValid()) {
        result.Message = QStringLiteral("Quillora did not answer: %1").arg(reply.error().message());
        return result;
    }
    result.Unreachable = false;
    result.Message = reply.value();
    result.Delivered = result.Message.isEmpty();
    return result;
}

namespace {

QString CallCaptureService(const QString& method)
{
    if (!HaveSessionBus())
        return NoBus;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return NoBus;
    const QString service = QString::fromLatin1(TCaptureService::ServiceName);
    if (!bus.interface()->isServiceRegistered(service).value())
        return QStringLiteral("Quillora is not running.");
    QDBusMessage call = QDBusMessage::createMethodCall(
        service, QString::fromLatin1(TCaptureService::ObjectPath),
        QStringLiteral("org.brindlecove.Quillora.Capture"), method);
    const QDBusReply<QString> reply = bus.call(call, QDBus::Block, 10000);
    if (!reply.isValid())
        return QStringLiteral("Quillora did not answer: %1").arg(reply.error().message());
    return reply.value();
}

} // namespace

QString RequestCapture()
{
    return CallCaptureService(QStringLiteral("Capture"));
}

QString RequestPause()
{
    return CallCaptureService(QStringLiteral("Pause"));
}

QString CaptureCommand()
{
    return QCoreApplication::applicationFilePath() + QStringLiteral(" --capture");
}

} // namespace platform
