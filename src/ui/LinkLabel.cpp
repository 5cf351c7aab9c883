#include "ui/LinkLabel.h"

#include <QAccessibleWidget>
#include <QKeyEvent>
#include <QMouseEvent>

namespace {
// A label reports itself as static text; this one is a link that can be
// pressed, named by its text.
class TLinkLabelAccessible : public QAccessibleWidget {
  public:
    explicit TLinkLabelAccessible(TLinkLabel* label) : QAccessibleWidget(label, QAccessible::Link)
    {
    }

    QString text(QAccessible::Text t) const override
    {
        QString text = QAccessibleWidget::text(t);
        if (t == QAccessible::Name && text.isEmpty())
            text = static_cast<TLinkLabel*>(widget())->text();
        return text;
    }

    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.linked = true;
        return s;
    }

    QStringList actionNames() const override
    {
        return QStringList{pressAction()} + QAccessibleWidget::actionNames();
    }

    void doAction(const QString& name) override
    {
        if (name == pressAction() && widget()->isEnabled())
            emit static_cast<TLinkLabel*>(widget())->clicked();
        else
            QAccessibleWidget::doAction(name);
    }
};

QAccessibleInterface* LinkLabelFactory(const QString& className, QObject* object)
{
    if (className == QLatin1String("TLinkLabel") && object && object->isWidgetType())
        return new TLinkLabelAccessible(static_cast<TLinkLabel*>(object));
    return nullptr;
}
} // namespace

TLinkLabel::TLinkLabel(const QString& text, QWidget* parent)
    : QLabel(text, parent)
{
    static const bool installed = [] {
        QAccessible::installFactory(LinkLabelFactory);
        return true;
    }();
    (void)installed;
    QPalette pal = palette();
    pal.setColor(QPalette::WindowText, Qt::blue);
    setPalette(pal);
    setCursor(Qt::PointingHandCursor);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
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
    Hovered = true;
    SetUnderline(true);
    QLabel::mouseMoveEvent(event);
}

void TLinkLabel::enterEvent(QEnterEvent* event)
{
    Hovered = true;
    SetUnderline(true);
    QLabel::enterEvent(event);
}

void TLinkLabel::leaveEvent(QEvent* event)
{
    Hovered = false;
    SetUnderline(hasFocus());
    QLabel::leaveEvent(event);
}

void TLinkLabel::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
    QLabel::mouseReleaseEvent(event);
}

void TLinkLabel::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
        if (!(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
            event->accept();
            emit clicked();
            return;
        }
        break;
    default:
        break;
    }
    QLabel::keyPressEvent(event);
}

void TLinkLabel::focusInEvent(QFocusEvent* event)
{
    SetUnderline(true);
    QLabel::focusInEvent(event);
}

void TLinkLabel::focusOutEvent(QFocusEvent* event)
{
    SetUnderline(Hovered);
    QLabel::focusOutEvent(event);
}
