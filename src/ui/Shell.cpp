#include "ui/Shell.h"

#include "ui/Branding.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>

QString TQtShell::GetOpenFileName(QWidget* parent, const QString& filter)
{
    return QFileDialog::getOpenFileName(parent, QString(), QString(), filter);
}

QString TQtShell::GetSaveFileName(QWidget* parent, const QString& filter)
{
    // No default suffix: a name typed without an extension comes back
    // without one, and Save adds ".qlv" or ".swf" itself.
    return QFileDialog::getSaveFileName(parent, QString(), QString(), filter);
}

bool TQtShell::ConfirmOkCancel(QWidget* parent, const QString& text)
{
    return QMessageBox::question(parent, QStringLiteral("Confirm"), text,
                                 QMessageBox::Ok | QMessageBox::Cancel,
                                 QMessageBox::Ok)
        == QMessageBox::Ok;
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
