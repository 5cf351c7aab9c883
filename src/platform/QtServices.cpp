#include "platform/QtServices.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHash>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QtMath>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QUrl>
#include <QWidget>

#ifdef QUILLORA_HAVE_MULTIMEDIA
#include <QSoundEffect>
#endif

namespace platform {

// --- timer -------------------------------------------------------------------

TQtTimer::TQtTimer() : Timer(std::make_unique<QTimer>())
{
    Timer->setTimerType(Qt::PreciseTimer);
    QObject::connect(Timer.get(), &QTimer::timeout, [this] {
        if (Handler)
            Handler();
    });
}

TQtTimer::~TQtTimer() = default;

void TQtTimer::SetHandler(std::function<void()> onTimeout)
{
    Handler = std::move(onTimeout);
}
void TQtTimer::Start(int intervalMs)
{
    Timer->start(intervalMs);
}
void TQtTimer::Stop()
{
    Timer->stop();
}
bool TQtTimer::IsActive() const
{
    return Timer->isActive();
}

// --- the frame's label ---------------------------------------------------------

TFrameLabel::TFrameLabel()
{
    setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                   Qt::X11BypassWindowManagerHint);
    setWindowTitle(QStringLiteral("Quillora region"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFocusPolicy(Qt::StrongFocus);
    setMargin(4);
    setAutoFillBackground(true);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, QColor(255, 250, 205));
    colours.setColor(QPalette::WindowText, Qt::black);
    setPalette(colours);
    setFrameStyle(QFrame::Box | QFrame::Plain);
}

void TFrameLabel::SetText(const QString& text)
{
    setText(text);
    setAccessibleName(text);
    adjustSize();
}

QSize TFrameLabel::PhysicalSize(const QScreen* screen) const
{
    const double ratio = screen ? screen->devicePixelRatio() : 1.0;
    return QSize(qCeil(sizeHint().width() * ratio), qCeil(sizeHint().height() * ratio));
}

void TFrameLabel::ShowAt(const std::optional<QRect>& place, QScreen* screen, bool takeFocus)
{
    if (!place || !screen || text().isEmpty()) {
        hide();
        return;
    }
    // place is in screen pixels; Qt places windows in its own units from
    // the screen's origin, which it keeps in pixels.
    const double ratio = screen->devicePixelRatio();
    const QPoint origin = screen->geometry().topLeft();
    setScreen(screen);
    resize(sizeHint());
    move(origin + QPoint(qCeil((place->x() - origin.x()) / ratio),
                         qCeil((place->y() - origin.y()) / ratio)));
    show();
    raise();
    if (takeFocus)
        activateWindow();
}

void TFrameLabel::keyPressEvent(QKeyEvent* event)
{
    const int step = event->modifiers() & Qt::ShiftModifier ? 10 : 1;
    int dx = 0, dy = 0;
    switch (event->key()) {
    case Qt::Key_Left:
        dx = -step;
        break;
    case Qt::Key_Right:
        dx = step;
        break;
    case Qt::Key_Up:
        dy = -step;
        break;
    case Qt::Key_Down:
        dy = step;
        break;
    default:
        QLabel::keyPressEvent(event);
        return;
    }
    if (Nudge)
        Nudge(dx, dy);
    event->accept();
}

// --- message boxes -----------------------------------------------------------

bool TQtPrompts::AskYesNo(const QString& title, const QString& text)
{
    return QMessageBox::question(nullptr, title, text, QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::Yes) == QMessageBox::Yes;
}

void TQtPrompts::ShowError(const QString& text)
{
    QMessageBox::critical(nullptr, QGuiApplication::applicationDisplayName(), text);
}

void TQtPrompts::ShowWarning(const QString& text)
{
    QMessageBox::warning(nullptr, QGuiApplication::applicationDisplayName(), text);
}

// --- sound -------------------------------------------------------------------

struct TQtSound::TImpl {
#ifdef QUILLORA_HAVE_MULTIMEDIA
    // One effect per file, kept so a capture only restarts the decoded sound.
    QHash<QString, QSoundEffect*> Effects;
    ~TImpl()
    {
        qDeleteAll(Effects);
    }
#endif
};

TQtSound::TQtSound() : Impl(std::make_unique<TImpl>()) {}
TQtSound::~TQtSound() = default;

void TQtSound::Play(const QString& path)
{
#ifdef QUILLORA_HAVE_MULTIMEDIA
    if (!QFileInfo::exists(path))
        return;
    QSoundEffect*& effect = Impl->Effects[path];
    if (!effect) {
        effect = new QSoundEffect;
        effect->setSource(QUrl::fromLocalFile(path));
    }
    // Plays once loaded; without an audio device this fails quietly.
    effect->play();
#else
    Q_UNUSED(path);
#endif
}

// --- tray icon ---------------------------------------------------------------

namespace {

QPixmap RecordingPixmap(int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(QColor(200, 0, 0));
    painter.setPen(QPen(Qt::white, size / 16.0));
    painter.drawEllipse(QRectF(1, 1, size - 2, size - 2));
    painter.setBrush(Qt::white);
    painter.setPen(Qt::NoPen);
    const double s = size * 0.32;
    painter.drawRect(QRectF((size - s) / 2, (size - s) / 2, s, s));
    return pixmap;
}

// A button of its own, so a screen reader announces it as one and can press
// it, besides the mouse and the keyboard.
class TStandInWindow : public QAbstractButton {
  public:
    explicit TStandInWindow(std::function<void()> onClick) : OnClick(std::move(onClick))
    {
        setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                       Qt::X11BypassWindowManagerHint);
        setWindowTitle(QStringLiteral("Quillora recording"));
        setToolTip(QStringLiteral("Quillora: click to stop recording"));
        setCursor(Qt::PointingHandCursor);
        // Showing it must not take the focus from the program being recorded.
        setAttribute(Qt::WA_ShowWithoutActivating);
        setFocusPolicy(Qt::StrongFocus);
        setAccessibleName(QStringLiteral("Stop recording"));
        connect(this, &QAbstractButton::clicked, this, [this] { OnClick(); });
    }

  protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), QColor(40, 40, 40));
        painter.drawPixmap(rect(), RecordingPixmap(width()));
    }
    // Enter presses it too (where the desktop lets it take the focus).
    void keyPressEvent(QKeyEvent* event) override
    {
        if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
            click();
            return;
        }
        QAbstractButton::keyPressEvent(event);
    }

  private:
    std::function<void()> OnClick;
};

} // namespace

std::unique_ptr<QAbstractButton> MakeStandInButton(std::function<void()> onClick)
{
    return std::make_unique<TStandInWindow>(std::move(onClick));
}

TTrayMenuHolder::TTrayMenuHolder() = default;

void TTrayMenuHolder::Build()
{
    // A widget: made once there is a menu to show, in a program with widgets.
    if (MenuWidget || !qobject_cast<QApplication*>(QCoreApplication::instance()))
        return;
    MenuWidget = std::make_unique<QMenu>();
    MenuWidget->setTitle(QStringLiteral("Quillora recording"));
    MenuWidget->setAccessibleName(QStringLiteral("Quillora recording"));
    Capture = MenuWidget->addAction(QStringLiteral("&Capture Now"), [this] {
        if (Handlers.Capture)
            Handlers.Capture();
    });
    Pause = MenuWidget->addAction(QStringLiteral("&Pause"), [this] {
        if (Handlers.TogglePause)
            Handlers.TogglePause();
    });
    MenuWidget->addSeparator();
    Stop = MenuWidget->addAction(QStringLiteral("&Stop Recording"), [this] {
        if (Handlers.Stop)
            Handlers.Stop();
    });
}

TTrayMenuHolder::~TTrayMenuHolder() = default;

void TTrayMenuHolder::Set(const TTrayMenu& menu, bool paused)
{
    Handlers = menu;
    if (menu.Stop)
        Build();
    if (!MenuWidget)
        return;
    Pause->setText(paused ? QStringLiteral("&Resume") : QStringLiteral("&Pause"));
    // Paused, nothing is captured, not even on request.
    Capture->setEnabled(!paused && menu.Capture);
    Pause->setEnabled(bool(menu.TogglePause));
}

void TTrayMenuHolder::AttachTo(QWidget* button)
{
    button->setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(button, &QWidget::customContextMenuRequested, button,
                     [this, button](const QPoint& at) {
                         if (QMenu* menu = Menu())
                             menu->popup(button->mapToGlobal(at));
                     });
}

TQtTrayIcon::TQtTrayIcon() = default;
TQtTrayIcon::~TQtTrayIcon() = default;

void TQtTrayIcon::SetMenu(const TTrayMenu& menu, bool paused)
{
    MenuHolder.Set(menu, paused);
    if (Icon)
        Icon->setContextMenu(MenuHolder.Menu());
}

void TQtTrayIcon::SetStatus(const QString& text)
{
    Status = text;
    if (Icon)
        Icon->setToolTip(text.isEmpty() ? QStringLiteral("Quillora") : text);
    if (StandIn)
        StandIn->setToolTip(text.isEmpty() ? QStringLiteral("Quillora: click to stop recording")
                                           : text + QStringLiteral(". Click to stop recording."));
}

QRect TQtTrayIcon::StandInPlace(const QRect& screen, const QRect& avoid, int size)
{
    const QRect corners[] = {
        QRect(screen.right() - size + 1, screen.top(), size, size),
        QRect(screen.left(), screen.top(), size, size),
        QRect(screen.right() - size + 1, screen.bottom() - size + 1, size, size),
        QRect(screen.left(), screen.bottom() - size + 1, size, size),
    };
    for (const QRect& corner : corners)
        if (!corner.intersects(avoid))
            return corner;
    return corners[0];
}

void TQtTrayIcon::Show(std::function<void()> onClick, const QRect& avoid)
{
    OnClick = std::move(onClick);
    Shown = true;
    UsingStandIn = !QSystemTrayIcon::isSystemTrayAvailable();
    if (!UsingStandIn) {
        if (!Icon) {
            Icon = std::make_unique<QSystemTrayIcon>(QIcon(RecordingPixmap(64)));
            Icon->setToolTip(QStringLiteral("Quillora"));
            connect(Icon.get(), &QSystemTrayIcon::activated, this,
                    [this](QSystemTrayIcon::ActivationReason reason) {
                        // A double click does nothing of its own.
                        if (reason == QSystemTrayIcon::Trigger)
                            Clicked();
                    });
        }
        Icon->setContextMenu(MenuHolder.Menu());
        SetStatus(Status);
        Icon->show();
        return;
    }
    if (!StandIn) {
        StandIn = MakeStandInButton([this] { Clicked(); });
        MenuHolder.AttachTo(StandIn.get());
        SetStatus(Status);
    }
    // avoid is in physical pixels; Qt places windows in its own units.
    QScreen* screen = QGuiApplication::primaryScreen();
    const double ratio = screen ? screen->devicePixelRatio() : 1.0;
    const QRect logical = screen ? screen->geometry() : QRect(0, 0, 640, 480);
    const QRect physical(logical.topLeft(), logical.size() * ratio);
    const int size = qRound(StandInSize * ratio);
    const QRect place = StandInPlace(physical, avoid, size);
    Place = place;
    StandIn->setGeometry(QRect(logical.topLeft() + (place.topLeft() - physical.topLeft()) / ratio,
                               QSize(StandInSize, StandInSize)));
    // Tiling Wayland desktops float a window of fixed size instead of
    // giving it a tile.
    StandIn->setFixedSize(StandInSize, StandInSize);
    StandIn->show();
    StandIn->raise();
}

void TQtTrayIcon::Hide()
{
    Shown = false;
    if (Icon)
        Icon->hide();
    if (StandIn)
        StandIn->hide();
}

bool TQtTrayIcon::IsShown() const
{
    return Shown;
}
bool TQtTrayIcon::IsStandIn() const
{
    return Shown && UsingStandIn;
}

QRect TQtTrayIcon::StandInRect() const
{
    return IsStandIn() ? Place : QRect();
}

void TQtTrayIcon::ClearForCapture(bool clear)
{
    if (!IsStandIn() || !StandIn)
        return;
    if (clear) {
        StandIn->hide();
        return;
    }
    StandIn->show();
    StandIn->raise();
}

void TQtTrayIcon::Clicked()
{
    if (Shown && OnClick)
        OnClick();
}

} // namespace platform
