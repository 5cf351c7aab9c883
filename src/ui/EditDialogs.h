// The small dialogs of the Edit menu: a picture's length, a caption.
#pragma once

#include "project/ProjectEditor.h"

#include <QDialog>

class QDoubleSpinBox;
class QFontComboBox;
class QLineEdit;
class QPushButton;
class QSpinBox;

// A length in frames, shown in seconds beside it; either can be typed.
class TLengthDialog : public QDialog {
    Q_OBJECT
  public:
    TLengthDialog(int frames, int rate, QWidget* parent = nullptr);
    int Frames() const;

    QSpinBox* FramesEdit;
    QDoubleSpinBox* SecondsEdit;

  private:
    int Rate;
};

class TCaptionDialog : public QDialog {
    Q_OBJECT
  public:
    // title: "Add Caption" or "Edit Caption".
    TCaptionDialog(const QString& title, const quillora::TCaption& caption,
                   QWidget* parent = nullptr);
    quillora::TCaption Caption() const;

    QLineEdit* TextEdit;
    QFontComboBox* FontEdit;
    QSpinBox* SizeEdit;
    QPushButton* ColorButton;
    QSpinBox* XEdit;
    QSpinBox* YEdit;

  private:
    void ShowColor();
    int32_t Color; // red in the lowest byte
};
