#include "app/ErrorHandler.h"

#include "ui/Shell.h"

#include <QMessageBox>
#include <new>

QString ErrorMessage(std::exception_ptr error)
{
    try {
        std::rethrow_exception(error);
    } catch (const std::bad_alloc&) {
        return QStringLiteral("Out of memory");
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return QStringLiteral("Unknown error");
    }
}

bool RunGuarded(IShell& shell, QWidget* parent, const std::function<void()>& fn)
{
    try {
        fn();
        return true;
    } catch (...) {
        shell.ShowError(parent, ErrorMessage(std::current_exception()));
        return false;
    }
}

TApplication::TApplication(int& argc, char** argv)
    : QApplication(argc, argv)
{
}

bool TApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        const QString message = ErrorMessage(std::current_exception());
        if (FShell)
            FShell->ShowError(activeWindow(), message);
        else
            QMessageBox::critical(activeWindow(), QStringLiteral("Quillora 1.0"), message);
        return false;
    }
}
