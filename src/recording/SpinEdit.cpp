#include "recording/SpinEdit.h"

#include <QAccessible>
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>
#include <QStyle>
#include <QStyleOptionSpinBox>

#include <algorithm>

TSpinEdit::TSpinEdit(QWidget* parent) : QAbstractSpinBox(parent)
{
    connect(lineEdit(), &QLineEdit::textChanged, this, &TSpinEdit::TextChanged);
}

void TSpinEdit::SetRange(int minValue, int maxValue)
{
    FMin = minValue;
    FMax = maxValue;
}

void TSpinEdit::SetMaxLength(int length)
{
    lineEdit()->setMaxLength(length);
}

int TSpinEdit::Clamp(int value) const
{
    return value < FMin ? FMin : (value > FMax ? FMax : value);
}

int TSpinEdit::Value() const
{
    bool ok = false;
    const int value = lineEdit()->text().trimmed().toInt(&ok, 10);
    return ok ? value : FMin;
}

void TSpinEdit::SetValue(int value)
{
    lineEdit()->setText(QString::number(Clamp(value)));
}

void TSpinEdit::CheckValue()
{
    const int value = Value();
    if (Clamp(value) != value)
        SetValue(value);
}

QString TSpinEdit::Text() const
{
    return lineEdit()->text();
}

void TSpinEdit::SetText(const QString& text)
{
    lineEdit()->setText(text);
}

void TSpinEdit::Step(int delta)
{
    SetValue(Value() + delta);
    selectAll();
}

void TSpinEdit::stepBy(int steps)
{
    // The field steps by 1 only: Ctrl with the wheel asks for ten.
    Step(steps > 0 ? 1 : (steps < 0 ? -1 : 0));
}

QSize TSpinEdit::sizeHint() const
{
    ensurePolished();
    const QLineEdit* edit = lineEdit();
    const int length = std::min(edit->maxLength(), 10);
    const QMargins margins = edit->textMargins();
    // The line edit keeps a few pixels on each side besides its text margins.
    const int textWidth = fontMetrics().horizontalAdvance(QString(length, QLatin1Char('0'))) +
                          margins.left() + margins.right() + 2 * 2 + 2;
    QStyleOptionSpinBox option;
    initStyleOption(&option);
    return style()->sizeFromContents(QStyle::CT_SpinBox, &option,
                                     QSize(textWidth, edit->sizeHint().height()), this);
}

QAbstractSpinBox::StepEnabled TSpinEdit::stepEnabled() const
{
    // Both ways always: a step also brings a value typed outside the
    // bounds back onto the nearer one.
    return StepUpEnabled | StepDownEnabled;
}

void TSpinEdit::TextChanged()
{
    const int value = Value();
    emit valueChanged(value);
    QAccessibleValueChangeEvent event(this, value);
    QAccessible::updateAccessibility(&event);
}

void TSpinEdit::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Up:
        Step(1);
        event->accept();
        return;
    case Qt::Key_Down:
        Step(-1);
        event->accept();
        return;
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
        // Only single steps; the page keys go to the dialog.
        event->ignore();
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        QApplication::beep();
        event->accept();
        return;
    default:
        break;
    }
    const QString text = event->text();
    // Keys without text (arrows, Home, Delete) and control characters
    // (Backspace) edit as usual; shortcuts with Ctrl or Alt go their way.
    if (!text.isEmpty() && !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
        const QChar c = text.at(0);
        const bool control = c.unicode() < 0x20 || c.unicode() == 0x7F;
        const bool allowed =
            control || (text.size() == 1 && ((c >= QLatin1Char('0') && c <= QLatin1Char('9')) ||
                                             c == QLatin1Char('+') || c == QLatin1Char('-') ||
                                             text == QLocale().decimalPoint()));
        if (!allowed) {
            QApplication::beep();
            event->accept();
            return;
        }
    }
    QAbstractSpinBox::keyPressEvent(event);
}

void TSpinEdit::focusOutEvent(QFocusEvent* event)
{
    QAbstractSpinBox::focusOutEvent(event);
    CheckValue();
}
