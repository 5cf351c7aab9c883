#include "ui/EditDialogs.h"

#include <QColorDialog>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFontComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {
QDialogButtonBox* OkCancel(QDialog* dialog)
{
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    return buttons;
}

// A field with its label, which also names it for assistive technology.
template <class W> W* Field(QFormLayout* form, const QString& label, W* widget)
{
    auto* l = new QLabel(label);
    l->setBuddy(widget);
    QString plain = label;
    widget->setAccessibleName(plain.remove(QLatin1Char('&')).remove(QLatin1Char(':')));
    form->addRow(l, widget);
    return widget;
}
} // namespace

TLengthDialog::TLengthDialog(int frames, int rate, QWidget* parent)
    : QDialog(parent), Rate(rate > 0 ? rate : 15)
{
    setWindowTitle(QStringLiteral("Set Length"));
    setObjectName(QStringLiteral("LengthDialog"));
    auto* form = new QFormLayout;
    FramesEdit = Field(form, QStringLiteral("&Frames:"), new QSpinBox);
    FramesEdit->setRange(1, quillora::kMaxPictureLength);
    FramesEdit->setValue(frames);
    SecondsEdit = Field(form, QStringLiteral("&Seconds:"), new QDoubleSpinBox);
    SecondsEdit->setDecimals(2);
    SecondsEdit->setRange(1.0 / Rate, double(quillora::kMaxPictureLength) / Rate);
    SecondsEdit->setSingleStep(0.1);
    SecondsEdit->setValue(double(frames) / Rate);
    connect(FramesEdit, &QSpinBox::valueChanged, this, [this](int f) {
        QSignalBlocker b(SecondsEdit);
        SecondsEdit->setValue(double(f) / Rate);
    });
    connect(SecondsEdit, &QDoubleSpinBox::valueChanged, this, [this](double s) {
        QSignalBlocker b(FramesEdit);
        FramesEdit->setValue(std::max(1, int(s * Rate + 0.5)));
    });
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(OkCancel(this));
    FramesEdit->selectAll();
}

int TLengthDialog::Frames() const
{
    return FramesEdit->value();
}

TCaptionDialog::TCaptionDialog(const QString& title, const quillora::TCaption& c, QWidget* parent)
    : QDialog(parent), Color(c.FontColor)
{
    setWindowTitle(title);
    setObjectName(QStringLiteral("CaptionDialog"));
    auto* form = new QFormLayout;
    TextEdit =
        Field(form, QStringLiteral("&Text:"), new QLineEdit(QString::fromStdString(c.Content)));
    TextEdit->setMinimumWidth(260);
    FontEdit = Field(form, QStringLiteral("&Font:"), new QFontComboBox);
    FontEdit->setEditable(true);
    FontEdit->setCurrentText(QString::fromStdString(c.FontName));
    SizeEdit = Field(form, QStringLiteral("&Size:"), new QSpinBox);
    SizeEdit->setRange(1, 1000);
    SizeEdit->setValue(c.FontSize);
    ColorButton = Field(form, QStringLiteral("&Colour:"), new QPushButton);
    connect(ColorButton, &QPushButton::clicked, this, [this] {
        const QColor now(Color & 0xFF, (Color >> 8) & 0xFF, (Color >> 16) & 0xFF);
        const QColor chosen = QColorDialog::getColor(now, this, QStringLiteral("Caption Colour"));
        if (chosen.isValid()) {
            Color = chosen.red() | chosen.green() << 8 | chosen.blue() << 16;
            ShowColor();
        }
    });
    XEdit = Field(form, QStringLiteral("&X:"), new QSpinBox);
    XEdit->setRange(-10000, 10000);
    XEdit->setValue(c.PositionX);
    YEdit = Field(form, QStringLiteral("&Y:"), new QSpinBox);
    YEdit->setRange(-10000, 10000);
    YEdit->setValue(c.PositionY);
    auto* buttons = OkCancel(this);
    QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
    ok->setEnabled(!TextEdit->text().isEmpty());
    connect(TextEdit, &QLineEdit::textChanged, ok,
            [ok](const QString& t) { ok->setEnabled(!t.isEmpty()); });
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
    ShowColor();
    // Return confirms once there is text, typing starts in the text.
    ok->setDefault(true);
    TextEdit->setFocus();
}

void TCaptionDialog::ShowColor()
{
    const QColor c(Color & 0xFF, (Color >> 8) & 0xFF, (Color >> 16) & 0xFF);
    ColorButton->setText(c.name(QColor::HexRgb).toUpper());
    ColorButton->setStyleSheet(QStringLiteral("color: %1").arg(c.name()));
    ColorButton->setAccessibleDescription(c.name());
}

quillora::TCaption TCaptionDialog::Caption() const
{
    quillora::TCaption c;
    c.Content = TextEdit->text().toStdString();
    c.FontName = FontEdit->currentText().toStdString();
    c.FontSize = SizeEdit->value();
    c.FontColor = Color;
    c.PositionX = XEdit->value();
    c.PositionY = YEdit->value();
    return c;
}
