// The about box: product name, version, the maker's notice and links, and
// the machine's memory figures as they were when the box was first opened.
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;
class TLinkLabel;
class IShell;

// Splits a version text "major.minor.release.build"; false when it is not
// four numbers.
bool ReadFileVersion(const QString& versionText, int& major, int& minor, int& release, int& build);

class TAboutForm : public QDialog {
    Q_OBJECT
public:
    TAboutForm(IShell& shell, QWidget* parent = nullptr);

    QLabel* ProductName;
    QLabel* LabelVersion;
    QLabel* Notice;
    TLinkLabel* MailTo;
    QLabel* Label3;
    QLabel* PhysMem;
    QLabel* Label4;
    QLabel* FreeRes;
    TLinkLabel* HttpTo;
    QLabel* Image1;
    QPushButton* Button1;

    // The version text FormShow reads; the build's own by default.
    QString VersionText;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FormCreate();
    void FormShow();
    void ArrangeMemoryRows();
    void MailToClick();
    void HttpToClick();

    IShell& Shell;
};
