#include "ui/ExportOptions.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

TExportOptionsForm::TExportOptionsForm(const quillora::TFocusChoice& c, QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Export Video"));
    setObjectName(QStringLiteral("ExportOptionsForm"));
    ZoomBox = new QCheckBox(QStringLiteral("&Zoom toward the pointer"));
    ZoomBox->setAccessibleName(QStringLiteral("Zoom toward the pointer"));
    ZoomBox->setChecked(c.Zoom);
    LevelEdit = new QDoubleSpinBox;
    LevelEdit->setAccessibleName(QStringLiteral("Zoom level"));
    LevelEdit->setDecimals(2);
    LevelEdit->setRange(video::kMinZoomLevel, video::kMaxZoomLevel);
    LevelEdit->setSingleStep(0.25);
    LevelEdit->setSuffix(QStringLiteral(" x"));
    LevelEdit->setValue(c.Level);
    LevelEdit->setEnabled(c.Zoom);
    auto* levelLabel = new QLabel(QStringLiteral("Zoom &level:"));
    levelLabel->setBuddy(LevelEdit);
    ClicksBox = new QCheckBox(QStringLiteral("Show &clicks"));
    ClicksBox->setAccessibleName(QStringLiteral("Show clicks"));
    ClicksBox->setAccessibleDescription(QStringLiteral("A ring grows from the pointer at each click"));
    ClicksBox->setChecked(c.ClickRings);
    connect(ZoomBox, &QCheckBox::toggled, LevelEdit, &QWidget::setEnabled);

    auto* form = new QFormLayout;
    form->addRow(ZoomBox);
    form->addRow(levelLabel, LevelEdit);
    form->addRow(ClicksBox);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("&Export"));
    buttons->button(QDialogButtonBox::Ok)->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
    ZoomBox->setFocus();
}

quillora::TFocusChoice TExportOptionsForm::Choice() const
{
    return {ZoomBox->isChecked(), LevelEdit->value(), ClicksBox->isChecked()};
}
