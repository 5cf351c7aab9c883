// A whole-number field with up and down buttons, with the typing, reading
// and clamping rules of the new-recording dialog:
// - typing takes digits, "+", "-", the locale's decimal separator and
//   control keys other than Enter; anything else beeps; at most MaxLength
//   characters;
// - Value() reads the text as an integer, a text that is not one reads as
//   MinValue; reading does not clamp;
// - the buttons and the Up/Down keys step by 1 within the bounds;
// - leaving the field puts a value outside the bounds on the nearer bound.
#pragma once

#include <QLineEdit>
#include <QWidget>

class QToolButton;

class TSpinLineEdit : public QLineEdit {
    Q_OBJECT
public:
    using QLineEdit::QLineEdit;

signals:
    void stepRequested(int delta);
    void focusLeft();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
};

class TSpinEdit : public QWidget {
    Q_OBJECT
public:
    explicit TSpinEdit(QWidget* parent = nullptr);
    ~TSpinEdit() override;

    void SetRange(int minValue, int maxValue);
    int MinValue() const { return FMin; }
    int MaxValue() const { return FMax; }
    void SetMaxLength(int length);

    int Value() const;
    void SetValue(int value); // clamps and rewrites the text
    // Puts a value outside the bounds on the nearer bound; the text is
    // rewritten only then.
    void CheckValue();

    QString Text() const;
    void SetText(const QString& text);
    TSpinLineEdit* Edit() const { return FEdit; }
    QToolButton* UpButton() const { return FUp; }
    QToolButton* DownButton() const { return FDown; }

    void Step(int delta);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    int Clamp(int value) const;

    TSpinLineEdit* FEdit;
    QToolButton* FUp;
    QToolButton* FDown;
    int FMin = 0;
    int FMax = 100;
};
