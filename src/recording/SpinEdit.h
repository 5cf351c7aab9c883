// A whole-number field with up and down buttons, with the typing, reading
// and clamping rules of the new-recording dialog:
// - typing takes digits, "+", "-", the locale's decimal separator and
//   control keys other than Enter; anything else beeps; at most MaxLength
//   characters;
// - Value() reads the text as an integer, a text that is not one reads as
//   MinValue; reading does not clamp;
// - the buttons, the Up/Down keys and each wheel notch step by 1 within the
//   bounds;
// - leaving the field puts a value outside the bounds on the nearer bound.
// The text stays what the user typed (a value outside the bounds, "+800")
// until one of these rules rewrites it, so it is kept by the line edit and
// not by a number in the spin box. Being a spin box, assistive technology
// sees one spin button with its value and bounds rather than a text field
// beside two buttons.
#pragma once

#include <QAbstractSpinBox>

class TSpinEdit : public QAbstractSpinBox {
    Q_OBJECT
    // Read by the accessibility layer for the value interface.
    Q_PROPERTY(int value READ Value WRITE SetValue NOTIFY valueChanged USER true)
    Q_PROPERTY(int minimum READ MinValue)
    Q_PROPERTY(int maximum READ MaxValue)
    Q_PROPERTY(int stepSize READ StepSize CONSTANT)
  public:
    explicit TSpinEdit(QWidget* parent = nullptr);

    void SetRange(int minValue, int maxValue);
    int MinValue() const { return FMin; }
    int MaxValue() const { return FMax; }
    int StepSize() const { return 1; }
    void SetMaxLength(int length);

    int Value() const;
    void SetValue(int value); // clamps and rewrites the text
    // Puts a value outside the bounds on the nearer bound; the text is
    // rewritten only then.
    void CheckValue();

    QString Text() const;
    void SetText(const QString& text);

    void Step(int delta);
    void stepBy(int steps) override;
    // Wide enough for the longest text the field takes.
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

  signals:
    // Whenever the text changes, typed or set; carries Value().
    void valueChanged(int value);

  protected:
    StepEnabled stepEnabled() const override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

  private:
    int Clamp(int value) const;
    void TextChanged();

    int FMin = 0;
    int FMax = 100;
};
