// Program entry: the application object, the folders, the single-copy
// lock (a second start hands its file to the first), the main window and
// the command line.
#include "app/ErrorHandler.h"
#include "base/GlobalVars.h"
#include "app/MainForm.h"
#include "app/QuitSignals.h"
#include "ui/Branding.h"
#include "ui/Resources.h"
#include "ui/Shell.h"
#include "platform/CaptureService.h"
#include "platform/Platform.h"

#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QLockFile>
#include <cstdio>
#include <cstring>
#include <memory>
#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

namespace {

// `quillora --capture`: one capture by the running program, which may be
// bound to a key in the desktop's settings; `quillora --pause` pauses or
// resumes its recording.
int RequestCapture(int argc, char** argv, bool pause)
{
    QCoreApplication app(argc, argv);
    const QString error = pause ? platform::RequestPause() : platform::RequestCapture();
    if (error.isEmpty())
        return 0;
    std::fprintf(stderr, "quillora: %s\n", qPrintable(error));
    return 1;
}

// A second start: its file, or the request to come to the front, goes to
// the copy that runs already, which opens it as File > Open does.
int HandOver(IShell& shell)
{
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    const QString path = arguments.isEmpty() ? QString() : QFileInfo(arguments.first()).absoluteFilePath();
    const platform::TOpenReply reply = platform::RequestOpen(path);
    if (reply.Delivered)
        return 0;
    if (!reply.Message.isEmpty())
        std::fprintf(stderr, "quillora: %s\n", qPrintable(reply.Message));
    // Without a bus nothing can be handed over: as before, the user is told.
    shell.ShowInfo(nullptr, reply.Unreachable ? QStringLiteral("Quillora is already running.")
                                              : reply.Message);
    return 1;
}

// The main window's life, from the command line to the end of the event
// loop; the window is gone when this returns.
int RunMainWindow(TApplication& app, IShell& shell)
{
    std::unique_ptr<TMainForm> form;
    if (!RunGuarded(shell, nullptr, [&] { form = std::make_unique<TMainForm>(shell, quillora::GlobalVars); }))
        return 1;
    QObject::connect(form.get(), &TMainForm::Closed, &app, &QCoreApplication::quit, Qt::QueuedConnection);
    // A second start reaches this window over the bus; it goes before the
    // window does.
    platform::TWindowService windowService;
    windowService.OnOpen = [&form](const QString& path) { return form->RequestOpen(path); };
    windowService.OnRaise = [&form] { return form->RequestRaise(); };
    // A signal ends the program as Exit does, without questions: a session
    // that ends cannot answer them, and the working project keeps the work.
    TQuitSignals quitSignals;
    QObject::connect(&quitSignals, &TQuitSignals::Received, form.get(), [&form](int) {
        form->EndSession();
        QCoreApplication::exit(0);
    });
    form->show();

    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    RunGuarded(shell, form.get(), [&] { form->OfferRecovery(); });
    RunGuarded(shell, form.get(), [&] { form->HandleCommandLine(arguments); });
    const int status = app.exec();
    windowService.OnOpen = nullptr;
    windowService.OnRaise = nullptr;
    // A recording still running stops here: its captures on their way to the
    // disk are written and joined to the working project first.
    form.reset();
    return status;
}

} // namespace

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--capture") == 0 || std::strcmp(argv[i], "--pause") == 0)
            return RequestCapture(argc, argv, std::strcmp(argv[i], "--pause") == 0);
    // Qt on the desktop's own display protocol: on a Wayland session its
    // native Wayland platform (XWayland as the fallback), unless told.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        const platform::TBackend backend = platform::ChooseBackendFromEnvironment().Backend;
        if (backend == platform::TBackend::Wayland)
            qputenv("QT_QPA_PLATFORM", "wayland;xcb");
        else if (backend == platform::TBackend::X11)
            qputenv("QT_QPA_PLATFORM", "xcb");
    }
    TApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Brindlecove"));
    QCoreApplication::setApplicationName(QStringLiteral("Quillora"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUILLORA_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral("quillora"));
    // The main window hides during a recording; the program ends when it
    // closes, not when no window is visible.
    app.setQuitOnLastWindowClosed(false);

    InitQuilloraResources();
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128})
        icon.addFile(QStringLiteral(":/icons/quillora-%1.png").arg(size), QSize(size, size));
    QApplication::setWindowIcon(icon);

    TQtShell shell;
    app.SetShell(&shell);

    // Every run works in the same working files, so a second copy would
    // spoil the first one's project: only one runs at a time. The lock sits
    // in the screenshots folder, which the folders' set-up makes first.
    try {
        quillora::InitFolders(quillora::GlobalVars);
    } catch (...) {
        shell.ShowError(nullptr, ErrorMessage(std::current_exception()));
        return 1;
    }
    QLockFile lock(QDir(QString::fromStdString(quillora::GlobalVars.ScreenshotsDir))
                       .filePath(QStringLiteral(".quillora.lock")));
    // A lock left by a run that crashed is taken over (its process is gone).
    lock.setStaleLockTime(0);
    if (!lock.tryLock(0))
        return HandOver(shell);

    const int status = RunMainWindow(app, shell);
    // The desktop services hold a session-bus name, windows and sounds: they
    // end while the application and its connections are still there.
    platform::ShutdownPlatform();
#if defined(__SANITIZE_ADDRESS__)
    // A sanitizer build looks for leaks now, with the libraries the
    // desktop loaded still in place: Mesa's driver, unloaded at exit,
    // leaves what it keeps unreachable in a module no suppression can name.
    __lsan_do_leak_check();
#endif
    return status;
}
