#include "recording/SpinEdit.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLocale>
#include <QToolButton>

void TSpinLineEdit::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Up:
        emit stepRequested(1);
        return;
    case Qt::Key_Down:
        emit stepRequested(-1);
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
        const bool allowed = control
            || (text.size() == 1
                && ((c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('+')
                    || c == QLatin1Char('-') || text == QLocale().decimalPoint()));
        if (!allowed) {
            QApplication::beep();
            event->accept();
            return;
        }
    }
    QLineEdit::keyPressEvent(event);
}

void TSpinLineEdit::focusOutEvent(QFocusEvent* event)
{
    QLineEdit::focusOutEvent(event);
    emit focusLeft();
}

TSpinEdit::TSpinEdit(QWidget* parent)
    : QWidget(parent)
    , FEdit(new TSpinLineEdit(this))
    , FUp(new QToolButton(this))
    , FDown(new QToolButton(this))
{
    FUp->setArrowType(Qt::UpArrow);
    FDown->setArrowType(Qt::DownArrow);
    for (QToolButton* b : {FUp, FDown}) {
        b->setFocusPolicy(Qt::NoFocus);
        b->setAutoRepeat(true);
        b->setIconSize(QSize(7, 5));
    }
    setFocusProxy(FEdit);
    setFocusPolicy(Qt::StrongFocus);
    connect(FUp, &QToolButton::clicked, this, [this] { Step(1); });
    connect(FDown, &QToolButton::clicked, this, [this] { Step(-1); });
    connect(FEdit, &TSpinLineEdit::stepRequested, this, &TSpinEdit::Step);
    connect(FEdit, &TSpinLineEdit::focusLeft, this, &TSpinEdit::CheckValue);
}

TSpinEdit::~TSpinEdit()
{
    // The field loses the focus while the window goes away; by then this
    // object is only half there to hear it.
    FEdit->disconnect(this);
}

void TSpinEdit::SetRange(int minValue, int maxValue)
{
    FMin = minValue;
    FMax = maxValue;
}

void TSpinEdit::SetMaxLength(int length)
{
    FEdit->setMaxLength(length);
}

int TSpinEdit::Clamp(int value) const
{
    return value < FMin ? FMin : (value > FMax ? FMax : value);
}

int TSpinEdit::Value() const
{
    bool ok = false;
    const int value = FEdit->text().trimmed().toInt(&ok, 10);
    return ok ? value : FMin;
}

void TSpinEdit::SetValue(int value)
{
    FEdit->setText(QString::number(Clamp(value)));
}

void TSpinEdit::CheckValue()
{
    const int value = Value();
    if (Clamp(value) != value)
        SetValue(value);
}

QString TSpinEdit::Text() const
{
    return FEdit->text();
}

void TSpinEdit::SetText(const QString& text)
{
    FEdit->setText(text);
}

void TSpinEdit::Step(int delta)
{
    SetValue(Value() + delta);
    FEdit->selectAll();
}

void TSpinEdit::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    const int buttonWidth = 16;
    const int h = height();
    FEdit->setGeometry(0, 0, width() - buttonWidth, h);
    FUp->setGeometry(width() - buttonWidth, 0, buttonWidth, h / 2);
    FDown->setGeometry(width() - buttonWidth, h / 2, buttonWidth, h - h / 2);
}
