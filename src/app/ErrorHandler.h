// The application's default error handler: an error that stops an action
// shows its message in a message box, and the program goes on.
#pragma once

#include <QApplication>
#include <exception>
#include <functional>

class IShell;
class QWidget;

// The message of an exception, as the user sees it.
QString ErrorMessage(std::exception_ptr error);

// Runs fn; an exception from it is shown through the shell. False when fn
// ended with an exception.
bool RunGuarded(IShell& shell, QWidget* parent, const std::function<void()>& fn);

// Catches what escapes an event handler outside RunGuarded too.
class TApplication : public QApplication {
public:
    TApplication(int& argc, char** argv);
    void SetShell(IShell* shell) { FShell = shell; }
    bool notify(QObject* receiver, QEvent* event) override;

private:
    IShell* FShell = nullptr;
};
