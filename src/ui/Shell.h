// The desktop services the windows ask for: file dialogs, message boxes and
// "open with the associated program". The program uses TQtShell; tests put
// in their own so they can answer the dialogs and see what was opened.
#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>
#include <functional>

#include "project/FocusSettings.h"

class QWidget;

class IShell {
public:
    virtual ~IShell() = default;
    // Where the file dialogs start, and what each one chose (a file, never
    // a cancel): the main window keeps the last folder used.
    std::function<QString()> StartFolder;
    std::function<void(const QString& chosenFile)> FileChosen;
    // Each returns the chosen path, or an empty string when cancelled.
    virtual QString GetOpenFileName(QWidget* parent, const QString& filter) = 0;
    virtual QString GetSaveFileName(QWidget* parent, const QString& filter) = 0;
    // A confirmation with OK and Cancel; true for OK.
    virtual bool ConfirmOkCancel(QWidget* parent, const QString& text) = 0;
    // "Save changes?": Save, Don't Save, or Cancel (also Escape and the
    // close box), which stops whatever asked.
    enum class TSaveAnswer { Save, DontSave, Cancel };
    virtual TSaveAnswer AskSaveChanges(QWidget* parent, const QString& text) = 0;
    // How a video about to be exported shows the action, starting from
    // choice; false when cancelled. Shells that ask nobody keep the choice.
    virtual bool AskVideoOptions(QWidget* parent, quillora::TFocusChoice& choice)
    {
        (void)parent;
        (void)choice;
        return true;
    }
    virtual void ShowError(QWidget* parent, const QString& text) = 0;
    virtual void ShowInfo(QWidget* parent, const QString& text) = 0;
    // The user's associated program for a file, mail address or web page.
    // Its result is not looked at: the desktop reports its own failures.
    virtual void OpenUrl(const QUrl& url) = 0;
    // Whether the desktop names a program for files of mimeType. Yes unless
    // a shell knows better, so OpenUrl is tried.
    virtual bool HasProgramFor(const QString& mimeType)
    {
        (void)mimeType;
        return true;
    }
    // A question with buttons of its own, the first the default; returns
    // the index of the button pressed, or escape when the box was closed
    // (Escape, the close box). A shell that cannot ask returns escape.
    virtual int Choose(QWidget* parent, const QString& text, const QStringList& buttons,
                       int escape)
    {
        (void)parent;
        (void)text;
        (void)buttons;
        return escape;
    }
};

class TQtShell : public IShell {
public:
    QString GetOpenFileName(QWidget* parent, const QString& filter) override;
    QString GetSaveFileName(QWidget* parent, const QString& filter) override;
    bool ConfirmOkCancel(QWidget* parent, const QString& text) override;
    TSaveAnswer AskSaveChanges(QWidget* parent, const QString& text) override;
    bool AskVideoOptions(QWidget* parent, quillora::TFocusChoice& choice) override;
    void ShowError(QWidget* parent, const QString& text) override;
    void ShowInfo(QWidget* parent, const QString& text) override;
    void OpenUrl(const QUrl& url) override;
    // Asks xdg-mime; without it no program is known.
    bool HasProgramFor(const QString& mimeType) override;
    int Choose(QWidget* parent, const QString& text, const QStringList& buttons,
               int escape) override;
};
