#include "platform/CaptureService.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QFileInfo>
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

} // namespace

const char* const TCaptureService::ServiceName = "org.brindlecove.Quillora";
const char* const TCaptureService::ObjectPath = "/Capture";

TCaptureService::TCaptureService()
{
    if (!HaveSessionBus())
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    Registered = bus.registerObject(QString::fromLatin1(ObjectPath), this,
                                    QDBusConnection::ExportAllSlots) &&
                 bus.registerService(QString::fromLatin1(ServiceName));
    if (!Registered)
        bus.unregisterObject(QString::fromLatin1(ObjectPath));
}

TCaptureService::~TCaptureService()
{
    if (!Registered)
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.unregisterObject(QString::fromLatin1(ObjectPath));
    bus.unregisterService(QString::fromLatin1(ServiceName));
}

void TCaptureService::SetHandler(std::function<void()> onCapture)
{
    Handler = std::move(onCapture);
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

QString RequestCapture()
{
    if (!HaveSessionBus())
        return QStringLiteral("There is no session bus to reach Quillora over.");
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return QStringLiteral("There is no session bus to reach Quillora over.");
    const QString service = QString::fromLatin1(TCaptureService::ServiceName);
    if (!bus.interface()->isServiceRegistered(service).value())
        return QStringLiteral("Quillora is not running.");
    QDBusMessage call = QDBusMessage::createMethodCall(
        service, QString::fromLatin1(TCaptureService::ObjectPath),
        QStringLiteral("org.brindlecove.Quillora.Capture"), QStringLiteral("Capture"));
    const QDBusReply<QString> reply = bus.call(call, QDBus::Block, 10000);
    if (!reply.isValid())
        return QStringLiteral("Quillora did not answer: %1").arg(reply.error().message());
    return reply.value();
}

QString CaptureCommand()
{
    return QCoreApplication::applicationFilePath() + QStringLiteral(" --capture");
}

} // namespace platform
