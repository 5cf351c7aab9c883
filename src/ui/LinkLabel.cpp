#include "ui/LinkLabel.h"

#include <QMouseEvent>

TLinkLabel::TLinkLabel(const QString& text, QWidget* parent)
    : QLabel(text, parent)
{
    QPalette pal = palette();
    pal.setColor(QPalette::WindowText, Qt::blue);
    setPalette(pal);
    setCursor(Qt::PointingHandCursor);
    setMouseTracking(true);
}

void TLinkLabel::SetUnderline(bool on)
{
    QFont f = font();
    if (f.underline() == on)
        return;
    f.setUnderline(on);
    setFont(f);
}

void TLinkLabel::mouseMoveEvent(QMouseEvent* event)
{
    SetUnderline(true);
    QLabel::mouseMoveEvent(event);
}

void TLinkLabel::enterEvent(QEnterEvent* event)
{
    SetUnderline(true);
    QLabel::enterEvent(event);
}

void TLinkLabel::leaveEvent(QEvent* event)
{
    SetUnderline(false);
    QLabel::leaveEvent(event);
}

void TLinkLabel::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
    QLabel::mouseReleaseEvent(event);
}
