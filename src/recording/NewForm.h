// The new-recording dialog: the size of the capture region and the capture
// mode. Created once and kept, so it shows the last choices again.
#pragma once

#include <QDialog>

#include <functional>

class QLabel;
class QPushButton;
class QRadioButton;
class QGroupBox;
class TSpinEdit;
class QFrame;
class QCheckBox;
class QComboBox;
namespace platform {
struct TCapabilities;
}

class TNewForm : public QDialog {
    Q_OBJECT
public:
    explicit TNewForm(QWidget* parent = nullptr);

    static constexpr int MinSize = 100;
    static constexpr int MaxSize = 2000;

    // Handed on by "&Start".
    int CaptureWidth = 640;
    int CaptureHeight = 480;
    bool AutoMode() const;
    // Auto mode counts down 3 seconds before its first capture.
    bool Countdown() const;
    // After Start the next click on a window fits the region to it (only
    // where the desktop can tell windows apart).
    bool FitWindow() const;
    // The preset sizes: the last size used, 640 x 480, 1280 x 720,
    // 1920 x 1080 and the whole screen.
    QSize PresetSize(int index) const;
    // The row of the presets below the instructions.
    static constexpr int PresetRow = 30;
    // What the desktop allows: Auto Capture greyed out where the pointer
    // cannot be followed, and a note on the desktop's limits. Showing the
    // dialog asks the current platform.
    void ApplyCapabilities(const platform::TCapabilities& caps);

    QWidget* Panel1;
    QLabel* Label1;
    QLabel* Label2;
    QLabel* Image1;
    QGroupBox* GroupBox1;
    QLabel* Label3;
    TSpinEdit* EditWidth;
    QLabel* Label4;
    TSpinEdit* EditHeight;
    QLabel* Label9;
    QRadioButton* RBtnAuto;
    QRadioButton* RBtnManu;
    QLabel* Label6;
    QLabel* Label5;
    QLabel* Label7;
    QLabel* Label8;
    QPushButton* Button1;
    QPushButton* Button2;
    QFrame* Bevel2;
    QLabel* LabelPlatform;
    QCheckBox* CheckCountdown;
    QLabel* LabelPreset;
    QComboBox* ComboPreset;
    QCheckBox* CheckFitWindow;
    // The desktop's own ways to capture and to stop, when they differ.
    QString ManualHint;
    QString DefaultStopText;

    // The screen the region will be drawn on, in its physical pixels
    // (showing the dialog asks the current platform); a larger size is
    // refused.
    QSize ScreenSize;
    // Tells why "&Start" was refused (a message box unless replaced).
    std::function<void(const QString&)> Refuse;
    // Why the size does not fit on ScreenSize; empty when it does.
    static QString SizeProblem(int width, int height, QSize screen);

    static const char* ManualText;
    static const char* AutoText;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void Button1Click();
    void RBtnAutoClick();
    void RBtnManuClick();
    void ComboPresetSelect(int index);
    void UpdatePresets();
    QSize LastSize{640, 480};
    bool FitOffered = true;
};
