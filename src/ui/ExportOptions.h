// What File > Export asks when a video format is chosen: whether the video
// zooms toward the pointer, how far, and whether it shows the clicks.
#pragma once

#include <QDialog>

#include "project/FocusSettings.h"

class QCheckBox;
class QDoubleSpinBox;

class TExportOptionsForm : public QDialog {
    Q_OBJECT
  public:
    TExportOptionsForm(const quillora::TFocusChoice& choice, QWidget* parent = nullptr);
    quillora::TFocusChoice Choice() const;

    QCheckBox* ZoomBox;
    QDoubleSpinBox* LevelEdit;
    QCheckBox* ClicksBox;
};
