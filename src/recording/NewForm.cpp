#include "recording/NewForm.h"

#include "recording/SpinEdit.h"

#include "platform/Platform.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSettings>

#include <algorithm>

const char* TNewForm::ManualText = "1. Press \"Pause\" on the keyboard to capture Screenshots.";
const char* TNewForm::AutoText = "1. It's automation to capture Screenshots.";

namespace {
QLabel* MakeLabel(const QString& text, QWidget* parent, int x, int y, bool bold = false)
{
    auto* label = new QLabel(text, parent);
    if (bold) {
        QFont f = label->font();
        f.setBold(true);
        label->setFont(f);
    }
    label->move(x, y);
    label->adjustSize();
    return label;
}

// Shrinks a label's font until it fits left of maxRight (the text of the
// bold mode line changes, so the font stays as chosen here).
void FitLabel(QLabel* label, int maxRight)
{
    QFont f = label->font();
    while (label->x() + QFontMetrics(f).horizontalAdvance(label->text()) > maxRight && f.pixelSize() > 8)
        f.setPixelSize(f.pixelSize() - 1);
    label->setFont(f);
    label->adjustSize();
}

QFrame* MakeBevel(QWidget* parent, int x, int y, int w, int h)
{
    auto* bevel = new QFrame(parent);
    bevel->setFrameShape(QFrame::HLine);
    bevel->setFrameShadow(QFrame::Sunken);
    bevel->setGeometry(x, y, w, h);
    return bevel;
}
} // namespace

TNewForm::TNewForm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowStaysOnTopHint
                          | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
{
    setWindowTitle(QStringLiteral("Quillora"));
    setFixedSize(403, 302 + PresetRow);
    QFont base = font();
    base.setPixelSize(11);
    setFont(base);

    Panel1 = new QWidget(this);
    Panel1->setGeometry(0, 0, 403, 56);
    Panel1->setAutoFillBackground(true);
    QPalette white = Panel1->palette();
    white.setColor(QPalette::Window, Qt::white);
    Panel1->setPalette(white);
    Label1 = MakeLabel(QStringLiteral("Start to Record Demo"), Panel1, 11, 9, true);
    Label2 = MakeLabel(QStringLiteral("Please choose the Size for your Demo project."), Panel1, 11, 30);
    Image1 = new QLabel(Panel1);
    Image1->setGeometry(355, 14, 32, 32);
    Image1->setPixmap(QApplication::windowIcon().pixmap(32, 32));
    MakeBevel(this, 0, 56, 403, 2);

    GroupBox1 = new QGroupBox(QStringLiteral("Defined Demo Size:"), this);
    GroupBox1->setGeometry(25, 74, 161, 90);
    QFont boldFont = base;
    boldFont.setBold(true);
    GroupBox1->setFont(boldFont);
    // Panel2 fills the group box below its caption.
    auto* panel2 = new QWidget(GroupBox1);
    panel2->setGeometry(GroupBox1->contentsRect());
    panel2->setFont(base);
    Label3 = MakeLabel(QStringLiteral("Width:"), panel2, 30, 16);
    EditWidth = new TSpinEdit(panel2);
    EditWidth->setGeometry(74, 11, 50, 22);
    Label4 = MakeLabel(QStringLiteral("Height:"), panel2, 30, 43);
    EditHeight = new TSpinEdit(panel2);
    EditHeight->setGeometry(74, 39, 50, 22);
    for (TSpinEdit* edit : {EditWidth, EditHeight}) {
        edit->SetMaxLength(4);
        edit->SetRange(MinSize, MaxSize);
    }
    // The labels name the fields for assistive technology.
    Label3->setBuddy(EditWidth);
    Label4->setBuddy(EditHeight);
    EditWidth->setAccessibleName(QStringLiteral("Width"));
    EditHeight->setAccessibleName(QStringLiteral("Height"));
    EditWidth->SetValue(640);
    EditHeight->SetValue(480);
    // Four digits must show whole, in faces wider than the classic one too.
    for (TSpinEdit* edit : {EditWidth, EditHeight})
        edit->resize(std::max(edit->width(), edit->sizeHint().width()), edit->height());

    Label9 = MakeLabel(QStringLiteral("Record Options"), this, 221, 84);
    RBtnAuto = new QRadioButton(QStringLiteral("Auto Capture"), this);
    RBtnAuto->setGeometry(220, 111, 113, 17);
    RBtnManu = new QRadioButton(QStringLiteral("Manu Capture"), this);
    RBtnManu->setGeometry(220, 135, 113, 17);
    RBtnManu->setChecked(true);

    // Only auto mode captures without being asked: the count down gives the
    // hand time to leave the dialog or the tray.
    CheckCountdown = new QCheckBox(QStringLiteral("Count &down 3 s"), this);
    CheckCountdown->setGeometry(236, 155, 160, 20);
    CheckCountdown->setAccessibleName(
        QStringLiteral("Count down 3 seconds before the first auto capture"));
    CheckCountdown->setChecked(true);

    Label6 = MakeLabel(QString::fromLatin1(ManualText), this, 13, 179, true);
    Label5 = MakeLabel(
        QStringLiteral("    Your actions will be recorded as you use the mouse and keyboard."), this, 13, 196);
    Label7 = MakeLabel(
        QStringLiteral("2. Click on the Quillora Icon in the System Tray (located near the clock) "), this, 13, 214);
    Label8 = MakeLabel(QStringLiteral("    if you wish to end your Screenshot Session."), this, 13, 232);
    LabelPreset = MakeLabel(QStringLiteral("&Preset:"), this, 13, 261);
    ComboPreset = new QComboBox(this);
    ComboPreset->setGeometry(70, 256, 220, 24);
    ComboPreset->setAccessibleName(QStringLiteral("Preset size"));
    LabelPreset->setBuddy(ComboPreset);
    // Beside the sizes it replaces: the picked window's frame wins over them.
    CheckFitWindow = new QCheckBox(QStringLiteral("Fit a &window"), this);
    CheckFitWindow->setGeometry(298, 258, 100, 20);
    CheckFitWindow->setAccessibleName(QStringLiteral("Fit a window"));
    CheckFitWindow->setAccessibleDescription(
        QStringLiteral("After Start, click the window to record: the region fits its frame. "
                       "Escape keeps the region as it is."));
    CheckFitWindow->resize(std::max(CheckFitWindow->width(), CheckFitWindow->sizeHint().width()),
                           CheckFitWindow->height());
    Bevel2 = MakeBevel(this, 10, 257 + PresetRow, 355, 2);
    LabelPlatform = new QLabel(this);
    LabelPlatform->setWordWrap(true);
    LabelPlatform->setGeometry(13, 257 + PresetRow, 377, 0);
    LabelPlatform->hide();
    // Faces wider than the classic dialog font would run off the edge.
    // The three lines of instructions keep one size.
    FitLabel(Label1, width() - 4);
    FitLabel(Label2, width() - 4);
    FitLabel(Label6, width() - 4);
    int instructions = base.pixelSize();
    for (QLabel* label : {Label5, Label7, Label8}) {
        FitLabel(label, width() - 4);
        instructions = std::min(instructions, label->font().pixelSize());
    }
    for (QLabel* label : {Label5, Label7, Label8}) {
        QFont f = label->font();
        f.setPixelSize(instructions);
        label->setFont(f);
        label->adjustSize();
    }

    Button1 = new QPushButton(QStringLiteral("&Start"), this);
    Button1->setGeometry(191, 269 + PresetRow, 75, 25);
    Button2 = new QPushButton(QStringLiteral("&Cancel"), this);
    Button2->setGeometry(280, 269 + PresetRow, 75, 25);
    // Neither is a default button: Enter does not close the dialog.
    for (QPushButton* b : {Button1, Button2}) {
        b->setAutoDefault(false);
        b->setDefault(false);
    }

    setTabOrder(Button1, Button2);
    setTabOrder(Button2, EditWidth);
    setTabOrder(EditWidth, EditHeight);
    setTabOrder(EditHeight, RBtnAuto);
    setTabOrder(RBtnAuto, RBtnManu);
    setTabOrder(RBtnManu, CheckCountdown);
    setTabOrder(CheckCountdown, ComboPreset);
    setTabOrder(ComboPreset, CheckFitWindow);

    // The choices of the last recording, in this run or an earlier one.
    const QSettings settings;
    LastSize = QSize(settings.value(QStringLiteral("NewRecording/Width"), 640).toInt(),
                     settings.value(QStringLiteral("NewRecording/Height"), 480).toInt());
    EditWidth->SetValue(LastSize.width());
    EditHeight->SetValue(LastSize.height());
    if (settings.value(QStringLiteral("NewRecording/Auto"), false).toBool()) {
        RBtnAuto->setChecked(true);
        RBtnAutoClick();
    }
    CheckCountdown->setChecked(settings.value(QStringLiteral("NewRecording/Countdown"), true).toBool());
    CheckFitWindow->setChecked(settings.value(QStringLiteral("NewRecording/FitWindow"), false).toBool());
    UpdatePresets();
    connect(ComboPreset, &QComboBox::activated, this, &TNewForm::ComboPresetSelect);

    Refuse = [this](const QString& text) {
        QMessageBox::warning(this, QStringLiteral("Quillora"), text);
    };
    connect(Button1, &QPushButton::clicked, this, &TNewForm::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &QDialog::reject);
    // Toggled rather than clicked, so the arrow keys change the text too.
    connect(RBtnAuto, &QRadioButton::toggled, this, [this](bool on) { if (on) RBtnAutoClick(); });
    connect(RBtnManu, &QRadioButton::toggled, this, [this](bool on) { if (on) RBtnManuClick(); });
}

bool TNewForm::AutoMode() const
{
    return RBtnAuto->isChecked();
}

void TNewForm::Button1Click()
{
    // Alt+S leaves the focus in a field, so clamp here too: the recording
    // needs a size within the bounds.
    EditWidth->CheckValue();
    EditHeight->CheckValue();
    // A frame larger than the screen would run off it, and its pictures
    // would be black there.
    const QString problem = SizeProblem(EditWidth->Value(), EditHeight->Value(), ScreenSize);
    if (!problem.isEmpty()) {
        Refuse(problem);
        return;
    }
    CaptureWidth = EditWidth->Value();
    CaptureHeight = EditHeight->Value();
    QSettings settings;
    settings.setValue(QStringLiteral("NewRecording/Width"), CaptureWidth);
    settings.setValue(QStringLiteral("NewRecording/Height"), CaptureHeight);
    settings.setValue(QStringLiteral("NewRecording/Auto"), AutoMode());
    settings.setValue(QStringLiteral("NewRecording/Countdown"), Countdown());
    // Only where it was offered: a run on Wayland keeps the X11 choice.
    if (FitOffered)
        settings.setValue(QStringLiteral("NewRecording/FitWindow"), CheckFitWindow->isChecked());
    LastSize = QSize(CaptureWidth, CaptureHeight);
    UpdatePresets();
    accept();
}

bool TNewForm::Countdown() const
{
    return CheckCountdown->isChecked();
}

bool TNewForm::FitWindow() const
{
    return FitOffered && CheckFitWindow->isChecked();
}

QSize TNewForm::PresetSize(int index) const
{
    switch (index) {
    case 0:
        return LastSize;
    case 1:
        return {640, 480};
    case 2:
        return {1280, 720};
    case 3:
        return {1920, 1080};
    default:
        return ScreenSize.isEmpty() ? QSize(MaxSize, MaxSize) : ScreenSize;
    }
}

void TNewForm::UpdatePresets()
{
    const auto text = [](const QString& name, QSize size) {
        return QStringLiteral("%1%2 x %3").arg(name).arg(size.width()).arg(size.height());
    };
    const QStringList items{text(QStringLiteral("Last size: "), PresetSize(0)),
                            text({}, PresetSize(1)), text({}, PresetSize(2)),
                            text({}, PresetSize(3)),
                            ScreenSize.isEmpty() ? QStringLiteral("Whole screen")
                                                 : text(QStringLiteral("Whole screen: "),
                                                        PresetSize(4))};
    const int current = std::max(0, ComboPreset->currentIndex());
    ComboPreset->clear();
    ComboPreset->addItems(items);
    ComboPreset->setCurrentIndex(current);
}

void TNewForm::ComboPresetSelect(int index)
{
    // Through the fields, which keep their limits.
    const QSize size = PresetSize(index);
    EditWidth->SetValue(size.width());
    EditHeight->SetValue(size.height());
}

QString TNewForm::SizeProblem(int width, int height, QSize screen)
{
    if (screen.isEmpty() || (width <= screen.width() && height <= screen.height()))
        return {};
    return QStringLiteral("The size %1 x %2 does not fit on the screen, which is %3 x %4 "
                          "pixels. Choose a size of at most %3 x %4.")
        .arg(width)
        .arg(height)
        .arg(screen.width())
        .arg(screen.height());
}

void TNewForm::RBtnAutoClick()
{
    Label6->setText(QString::fromLatin1(AutoText));
    Label6->adjustSize();
}

void TNewForm::RBtnManuClick()
{
    Label6->setText(ManualHint.isEmpty() ? QString::fromLatin1(ManualText) : ManualHint);
    Label6->adjustSize();
}

void TNewForm::keyPressEvent(QKeyEvent* event)
{
    // Escape is bound to no button; Enter to none either.
    if (event->key() == Qt::Key_Escape || event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TNewForm::ApplyCapabilities(const platform::TCapabilities& caps)
{
    RBtnAuto->setEnabled(caps.AutoMode);
    // Hidden, not greyed: there is nothing the user could do to get it.
    FitOffered = caps.FitWindow;
    CheckFitWindow->setVisible(caps.FitWindow);
    if (!caps.AutoMode)
        RBtnManu->setChecked(true);
    ManualHint = caps.ManualText;
    if (RBtnManu->isChecked())
        RBtnManuClick();
    if (DefaultStopText.isEmpty())
        DefaultStopText = Label7->text();
    Label7->setText(caps.StopText.isEmpty() ? DefaultStopText : caps.StopText);
    Label7->adjustSize();
    FitLabel(Label6, width() - 4);
    FitLabel(Label7, width() - 4);
    // The desktop's limits go below the instructions; the dialog grows by
    // as much as the note needs.
    int extra = 0;
    LabelPlatform->setText(caps.Note);
    LabelPlatform->setAccessibleName(caps.Note);
    LabelPlatform->setVisible(!caps.Note.isEmpty());
    if (!caps.Note.isEmpty()) {
        const int height = LabelPlatform->heightForWidth(377);
        LabelPlatform->setGeometry(13, 257 + PresetRow, 377, height);
        extra = height + 6;
    }
    Bevel2->move(10, 257 + PresetRow + extra);
    Button1->move(191, 269 + PresetRow + extra);
    Button2->move(280, 269 + PresetRow + extra);
    setFixedSize(403, 302 + PresetRow + extra);
}

void TNewForm::showEvent(QShowEvent* event)
{
    ApplyCapabilities(platform::CurrentPlatform().Capabilities());
    ScreenSize = platform::CurrentPlatform().Screen().PrimaryScreen().size();
    UpdatePresets();
    if (const QScreen* screen = this->screen()) {
        const QRect area = screen->geometry();
        move(area.center() - QPoint(frameGeometry().width() / 2, frameGeometry().height() / 2));
    }
    QDialog::showEvent(event);
}
