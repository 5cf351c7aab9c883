#include "ui/AboutForm.h"

#include "ui/Branding.h"
#include "ui/LinkLabel.h"
#include "ui/MemoryStatus.h"
#include "ui/Shell.h"

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStringList>
#include <QStyle>

#include <algorithm>

#ifndef QUILLORA_VERSION
#define QUILLORA_VERSION "1.0.0.100"
#endif

bool ReadFileVersion(const QString& versionText, int& major, int& minor, int& release, int& build)
{
    const QStringList parts = versionText.split(QLatin1Char('.'));
    if (parts.size() != 4)
        return false;
    int values[4];
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        values[i] = parts[i].toInt(&ok);
        if (!ok || values[i] < 0 || values[i] > 0xFFFF)
            return false;
    }
    major = values[0];
    minor = values[1];
    release = values[2];
    build = values[3];
    return true;
}

TAboutForm::TAboutForm(IShell& shell, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowStaysOnTopHint
                          | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
    , VersionText(QStringLiteral(QUILLORA_VERSION))
    , Shell(shell)
{
    setWindowTitle(QStringLiteral("About Quillora"));
    setFixedSize(298, 186);
    QFont base = font();
    base.setPixelSize(11);
    setFont(base);

    ProductName = new QLabel(QString::fromLatin1(Branding::ProductName), this);
    QFont big = base;
    big.setBold(true);
    big.setPixelSize(19);
    ProductName->setFont(big);
    ProductName->move(61, 9);

    LabelVersion = new QLabel(QStringLiteral("Version 1.0"), this);
    LabelVersion->move(61, 33);

    Notice = new QLabel(QString::fromLatin1(Branding::Notice), this);
    Notice->move(19, 51);

    MailTo = new TLinkLabel(QString::fromLatin1(Branding::MailAddress), this);
    MailTo->move(19, 117);

    auto* bevel1 = new QFrame(this);
    bevel1->setFrameShape(QFrame::HLine);
    bevel1->setFrameShadow(QFrame::Sunken);
    bevel1->setGeometry(17, 136, 264, 2);

    Label3 = new QLabel(QStringLiteral("Physical Memory:"), this);
    Label3->move(19, 147);
    PhysMem = new QLabel(QStringLiteral("0"), this);
    PhysMem->move(214, 147);
    Label4 = new QLabel(QStringLiteral("Memory in Use:"), this);
    Label4->move(19, 163);
    FreeRes = new QLabel(QStringLiteral("0"), this);
    FreeRes->move(215, 163);

    HttpTo = new TLinkLabel(QString::fromLatin1(Branding::HomePageShown), this);
    HttpTo->move(19, 102);

    Image1 = new QLabel(this);
    Image1->setGeometry(19, 12, 32, 32);
    Image1->setPixmap(QApplication::windowIcon().pixmap(32, 32));

    Button1 = new QPushButton(QStringLiteral("&OK"), this);
    Button1->setGeometry(202, 103, 75, 25);
    Button1->setDefault(true);
    Button1->setFocus();

    for (QLabel* label : {ProductName, LabelVersion, Notice, static_cast<QLabel*>(MailTo), Label3,
                          PhysMem, Label4, FreeRes, static_cast<QLabel*>(HttpTo)})
        label->adjustSize();

    connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
    connect(MailTo, &TLinkLabel::clicked, this, &TAboutForm::MailToClick);
    connect(HttpTo, &TLinkLabel::clicked, this, &TAboutForm::HttpToClick);

    FormCreate();
}

void TAboutForm::FormCreate()
{
    // Filled once: later openings show the figures of the first.
    const TMemoryStatus status = ReadMemoryStatus();
    PhysMem->setText(FormatPhysMem(status.TotalPhys));
    FreeRes->setText(FormatMemoryLoad(status.MemoryLoad));
    ArrangeMemoryRows();
}

void TAboutForm::ArrangeMemoryRows()
{
    // The figures end at the right edge of the line above them; with wide
    // faces or large figures the rows get a smaller font rather than
    // running into each other.
    const int right = 281;
    QFont f = font();
    for (;;) {
        for (QLabel* label : {Label3, PhysMem, Label4, FreeRes}) {
            label->setFont(f);
            label->adjustSize();
        }
        PhysMem->move(std::max(214, right - PhysMem->width()), 147);
        FreeRes->move(std::max(215, right - FreeRes->width()), 163);
        const bool fits = Label3->x() + Label3->width() + 4 <= PhysMem->x() && PhysMem->x() + PhysMem->width() <= right + 12;
        if (fits || f.pixelSize() <= 8)
            break;
        f.setPixelSize(f.pixelSize() - 1);
    }
}

void TAboutForm::FormShow()
{
    int major = 0, minor = 0, release = 0, build = 0;
    if (ReadFileVersion(VersionText, major, minor, release, build)) {
        LabelVersion->setText(QStringLiteral("Version %1.%2 (Build %3)").arg(major).arg(minor).arg(build));
        LabelVersion->adjustSize();
    }
}

void TAboutForm::showEvent(QShowEvent* event)
{
    FormShow();
    if (const QScreen* screen = this->screen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - QPoint(frameGeometry().width() / 2, frameGeometry().height() / 2));
    }
    QDialog::showEvent(event);
}

void TAboutForm::MailToClick()
{
    Shell.OpenUrl(QUrl(QStringLiteral("mailto:") + QString::fromLatin1(Branding::MailAddress)));
}

void TAboutForm::HttpToClick()
{
    Shell.OpenUrl(QUrl(QString::fromLatin1(Branding::HomePage)));
}
