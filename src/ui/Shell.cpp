#include "ui/Shell.h"

#include "ui/Branding.h"
#include "ui/ExportOptions.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>

QString TQtShell::GetOpenFileName(QWidget* parent, const QString& filter)
{
    const QString path =
        QFileDialog::getOpenFileName(parent, QString(), StartFolder ? StartFolder() : QString(), filter);
    if (!path.isEmpty() && FileChosen)
        FileChosen(path);
    return path;
}

QString TQtShell::GetSaveFileName(QWidget* parent, const QString& filter)
{
    // A name typed without an extension gets the one of the chosen filter,
    // so "demo" with the MP4 filter is an MP4; Save adds ".qlv" or ".swf"
    // itself where a filter names several.
    QString selected;
    QString path = QFileDialog::getSaveFileName(parent, QString(), StartFolder ? StartFolder() : QString(),
                                                filter, &selected);
    const QRegularExpressionMatch one =
        QRegularExpression(QStringLiteral("\\(\\*(\\.\\w+)\\)$")).match(selected);
    if (!path.isEmpty() && one.hasMatch() && QFileInfo(path).suffix().isEmpty())
        path += one.captured(1);
    if (!path.isEmpty() && FileChosen)
        FileChosen(path);
    return path;
}

bool TQtShell::AskVideoOptions(QWidget* parent, quillora::TFocusChoice& choice)
{
    TExportOptionsForm form(choice, parent);
    if (form.exec() != QDialog::Accepted)
        return false;
    choice = form.Choice();
    return true;
}

bool TQtShell::ConfirmOkCancel(QWidget* parent, const QString& text)
{
    return QMessageBox::question(parent, QStringLiteral("Confirm"), text,
                                 QMessageBox::Ok | QMessageBox::Cancel,
                                 QMessageBox::Ok)
        == QMessageBox::Ok;
}

int TQtShell::Choose(QWidget* parent, const QString& text, const QStringList& buttons,
                     int escape)
{
    QMessageBox box(QMessageBox::Question, QString::fromLatin1(Branding::AppTitle), text,
                    QMessageBox::NoButton, parent);
    QList<QAbstractButton*> made;
    for (const QString& caption : buttons)
        made << box.addButton(caption, QMessageBox::ActionRole);
    if (!made.isEmpty())
        box.setDefaultButton(qobject_cast<QPushButton*>(made.first()));
    // Without an escape button Escape does nothing; the close box still
    // closes the box and counts as escape.
    box.exec();
    const int pressed = int(made.indexOf(box.clickedButton()));
    return pressed < 0 ? escape : pressed;
}

IShell::TSaveAnswer TQtShell::AskSaveChanges(QWidget* parent, const QString& text)
{
    QMessageBox box(QMessageBox::Question, QStringLiteral("Confirm"), text, QMessageBox::NoButton,
                    parent);
    QPushButton* save = box.addButton(QMessageBox::Save);
    QPushButton* dontSave = box.addButton(QStringLiteral("Do&n't Save"), QMessageBox::DestructiveRole);
    QPushButton* cancel = box.addButton(QMessageBox::Cancel);
    box.setDefaultButton(save);
    box.setEscapeButton(cancel);
    box.exec();
    // Anything but a clear choice (the box closed some other way, the
    // program ending) keeps the work and stops the action.
    if (box.clickedButton() == save)
        return TSaveAnswer::Save;
    if (box.clickedButton() == dontSave)
        return TSaveAnswer::DontSave;
    return TSaveAnswer::Cancel;
}

void TQtShell::ShowError(QWidget* parent, const QString& text)
{
    QMessageBox::critical(parent, QString::fromLatin1(Branding::AppTitle), text);
}

void TQtShell::ShowInfo(QWidget* parent, const QString& text)
{
    QMessageBox::information(parent, QString::fromLatin1(Branding::AppTitle), text);
}

void TQtShell::OpenUrl(const QUrl& url)
{
    QDesktopServices::openUrl(url);
}

bool TQtShell::HasProgramFor(const QString& mimeType)
{
    QProcess query;
    query.start(QStringLiteral("xdg-mime"), {QStringLiteral("query"), QStringLiteral("default"), mimeType});
    if (!query.waitForFinished(3000)) {
        query.kill();
        query.waitForFinished(1000);
        return false;
    }
    return query.exitStatus() == QProcess::NormalExit && query.exitCode() == 0
        && !query.readAllStandardOutput().trimmed().isEmpty();
}
