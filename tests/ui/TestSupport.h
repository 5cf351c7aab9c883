// What the widget tests share: one QApplication on the offscreen platform,
// and a shell whose dialogs the test answers and which records what the
// program asked of the desktop.
#pragma once

#include "ui/Resources.h"
#include "ui/Shell.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QStringList>
#include <QUrl>
#include <deque>
#include <optional>
#include <vector>
#include <functional>
#include <ostream>

// Failures show the text, not its bytes.
inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

inline QApplication& TestApp()
{
    static int argc = 1;
    static char name[] = "quillora-test";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        auto* a = new QApplication(argc, argv);
        InitQuilloraResources();
        return a;
    }();
    return *app;
}

// The settings' folder is read once per process: one temporary folder for
// all the tests of a program.
inline void UseTemporaryConfig()
{
    static QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
}

// home becomes the user's home, with its "Documents" folder and a "work"
// folder for the test's own files.
inline void UseHome(const QString& home)
{
    qputenv("HOME", home.toLocal8Bit());
    qputenv("XDG_DOCUMENTS_DIR", (home + "/Documents").toLocal8Bit());
    QDir(home).mkpath("Documents");
    QDir(home).mkpath("work");
}

class TFakeShell : public IShell {
public:
    // Answers for the next dialogs, in order; an empty string cancels.
    std::deque<QString> OpenAnswers;
    std::deque<QString> SaveAnswers;
    std::deque<bool> ConfirmAnswers;

    QStringList OpenFilters, SaveFilters, Confirms, Errors, Infos;
    QList<QUrl> Opened;
    // Called while a confirmation is open, for tests that look around then.
    std::function<void()> OnConfirm;

    // The folder each file dialog started in.
    QStringList StartFolders;
    QString GetOpenFileName(QWidget*, const QString& filter) override
    {
        OpenFilters << filter;
        return Chosen(Next(OpenAnswers));
    }
    QString GetSaveFileName(QWidget*, const QString& filter) override
    {
        SaveFilters << filter;
        return Chosen(Next(SaveAnswers));
    }
    bool ConfirmOkCancel(QWidget*, const QString& text) override
    {
        Confirms << text;
        if (OnConfirm)
            OnConfirm();
        if (ConfirmAnswers.empty())
            return false;
        const bool answer = ConfirmAnswers.front();
        ConfirmAnswers.pop_front();
        return answer;
    }
    // Answers to "Save changes?", in order; Cancel when none is left.
    std::deque<TSaveAnswer> SaveChangesAnswers;
    TSaveAnswer AskSaveChanges(QWidget*, const QString& text) override
    {
        Confirms << text;
        if (OnConfirm)
            OnConfirm();
        if (SaveChangesAnswers.empty())
            return TSaveAnswer::Cancel;
        const TSaveAnswer answer = SaveChangesAnswers.front();
        SaveChangesAnswers.pop_front();
        return answer;
    }
    // Answers to a video's zoom and clicks, in order (nullopt cancels); the
    // choice shown is kept when none is left. Shown: what each one started from.
    std::deque<std::optional<quillora::TFocusChoice>> VideoOptionsAnswers;
    std::vector<quillora::TFocusChoice> VideoOptionsShown;
    bool AskVideoOptions(QWidget*, quillora::TFocusChoice& choice) override
    {
        VideoOptionsShown.push_back(choice);
        if (VideoOptionsAnswers.empty())
            return true;
        const auto answer = VideoOptionsAnswers.front();
        VideoOptionsAnswers.pop_front();
        if (answer)
            choice = *answer;
        return answer.has_value();
    }
    void ShowError(QWidget*, const QString& text) override { Errors << text; }
    void ShowInfo(QWidget*, const QString& text) override { Infos << text; }
    void OpenUrl(const QUrl& url) override { Opened << url; }
    // Whether the desktop has a program for a movie.
    bool HasProgram = true;
    bool HasProgramFor(const QString&) override { return HasProgram; }

private:
    QString Chosen(const QString& path)
    {
        StartFolders << (StartFolder ? StartFolder() : QString());
        if (!path.isEmpty() && FileChosen)
            FileChosen(path);
        return path;
    }
    static QString Next(std::deque<QString>& answers)
    {
        if (answers.empty())
            return QString();
        QString answer = answers.front();
        answers.pop_front();
        return answer;
    }
};
