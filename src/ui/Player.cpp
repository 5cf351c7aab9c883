#include "ui/Player.h"

#include <QAccessible>
#include <QBuffer>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QSlider>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#ifdef QUILLORA_HAVE_MULTIMEDIA
#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QMediaDevices>
#endif

#include "ui/Branding.h"
#include "video/Encoder.h"
#include "video/Renderer.h"

namespace {

constexpr int kSoundRate = 48000;

QString TimeText(int frame, int rate)
{
    const int seconds = frame / std::max(rate, 1);
    return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

} // namespace

// --- view ---------------------------------------------------------------------

TPlayerView::TPlayerView(QWidget* parent) : QWidget(parent)
{
    setAccessibleName(QStringLiteral("Movie"));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void TPlayerView::SetImage(const QImage& image)
{
    Shown = image;
    update();
}

QSize TPlayerView::sizeHint() const
{
    return Shown.isNull() ? QSize(320, 240) : Shown.size();
}

QSize TPlayerView::minimumSizeHint() const
{
    // Small recordings still get a window whose controls fit.
    return QSize(320, 180);
}

void TPlayerView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), palette().color(QPalette::Window));
    if (Shown.isNull())
        return;
    // Shown at its own size when it fits, so pixels stay pixels.
    QSize size = Shown.size();
    if (size.width() > width() || size.height() > height())
        size.scale(this->size(), Qt::KeepAspectRatio);
    const QRect target(QPoint((width() - size.width()) / 2, (height() - size.height()) / 2), size);
    p.setRenderHint(QPainter::SmoothPixmapTransform, size != Shown.size());
    p.drawImage(target, Shown);
}

// --- form ---------------------------------------------------------------------

TPlayerForm::TPlayerForm(video::TTimeline timeline, QWidget* parent)
    : QDialog(parent), Timeline(std::move(timeline)),
      Renderer(std::make_unique<video::TRenderer>(Timeline)),
      Last(std::max(Timeline.FrameCount() - 1, 0))
{
    setWindowTitle(QStringLiteral("Preview - %1").arg(QString::fromLatin1(Branding::AppTitle)));
    setAccessibleName(QStringLiteral("Preview"));

    FView = new TPlayerView(this);
    FPlay = new QPushButton(QStringLiteral("&Play"), this);
    FPlay->setAccessibleName(QStringLiteral("Play"));
    FPosition = new QSlider(Qt::Horizontal, this);
    FPosition->setAccessibleName(QStringLiteral("Position"));
    FPosition->setRange(0, Last);
    FPosition->setPageStep(std::max(Timeline.rate, 1));
    FTime = new QLabel(this);
    FTime->setAccessibleName(QStringLiteral("Time"));
    FTime->setTextInteractionFlags(Qt::TextSelectableByKeyboard);

    auto* controls = new QHBoxLayout;
    controls->addWidget(FPlay);
    controls->addWidget(FPosition, 1);
    controls->addWidget(FTime);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(FView, 1);
    layout->addLayout(controls);

    Timer = new QTimer(this);
    Timer->setTimerType(Qt::PreciseTimer);
    Timer->setInterval(std::max(1, 1000 / std::max(Timeline.rate, 1)));
    connect(Timer, &QTimer::timeout, this, &TPlayerForm::Tick);
    connect(FPlay, &QPushButton::clicked, this, &TPlayerForm::TogglePlay);
    // A push button takes the arrow keys to move the focus; here they step.
    FPlay->installEventFilter(this);
    connect(FPosition, &QSlider::valueChanged, this, [this](int value) {
        if (value == Current)
            return;
        if (Playing)
            Pause();
        ShowFrame(value);
    });

    // The sounds as the video's audio track mixes them.
    const std::vector<float> mix = video::MixAudio(Timeline, kSoundRate);
    Pcm.resize(qsizetype(mix.size() * sizeof(int16_t)));
    auto* pcm = reinterpret_cast<int16_t*>(Pcm.data());
    for (size_t i = 0; i < mix.size(); ++i)
        pcm[i] = int16_t(std::lround(mix[i] * 32767.0f));

    ShowFrame(0);
    FPlay->setFocus();
}

TPlayerForm::~TPlayerForm()
{
    StopSound();
}

void TPlayerForm::ShowFrame(int frame)
{
    frame = std::clamp(frame, 0, Last);
    const bool first = Current < 0;
    const video::TRect changed = Renderer->Render(frame);
    Current = frame;
    if (first || !changed.Empty()) {
        // A copy: the renderer draws the next frame into its own pixels.
        const QImage canvas(Renderer->Pixels(), Renderer->Width(), Renderer->Height(),
                            Renderer->Stride(), QImage::Format_RGB32);
        FView->SetImage(canvas.copy());
    }
    UpdateControls();
}

void TPlayerForm::Step(int frames)
{
    if (Playing)
        Pause();
    ShowFrame(Current + frames);
}

void TPlayerForm::Play()
{
    if (Playing)
        return;
    if (Current >= Last)
        ShowFrame(0); // from the start again
    Playing = true;
    PlayStart = Current;
    Clock.start();
    Timer->start();
    StartSound();
    UpdateControls();
}

void TPlayerForm::Pause()
{
    if (!Playing)
        return;
    Playing = false;
    Timer->stop();
    StopSound();
    UpdateControls();
}

void TPlayerForm::TogglePlay()
{
    Playing ? Pause() : Play();
}

void TPlayerForm::Tick()
{
    // From the clock, not the timer count: a late timer skips frames
    // instead of letting the picture fall behind the sound.
    const int frame = PlayStart + int(Clock.elapsed() * Timeline.rate / 1000);
    ShowFrame(std::min(frame, Last));
    if (frame >= Last)
        Pause(); // the stop frame stays
}

void TPlayerForm::UpdateControls()
{
    FPlay->setText(Playing ? QStringLiteral("&Pause") : QStringLiteral("&Play"));
    FPlay->setAccessibleName(Playing ? QStringLiteral("Pause") : QStringLiteral("Play"));
    if (FPosition->value() != Current) {
        const QSignalBlocker block(FPosition);
        FPosition->setValue(Current);
    }
    FTime->setText(TimeText(Current, Timeline.rate) + QStringLiteral(" / ") +
                   TimeText(Last, Timeline.rate));
}

void TPlayerForm::StartSound()
{
#ifdef QUILLORA_HAVE_MULTIMEDIA
    StopSound();
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (device.isNull() || Pcm.isEmpty())
        return;
    QAudioFormat format;
    format.setSampleRate(kSoundRate);
    format.setChannelCount(1);
    format.setSampleFormat(QAudioFormat::Int16);
    if (!device.isFormatSupported(format))
        return;
    const qint64 at = qint64(Current) * kSoundRate / std::max(Timeline.rate, 1) * 2;
    if (at >= Pcm.size())
        return;
    SoundBuffer = new QBuffer(&Pcm, this);
    SoundBuffer->open(QIODevice::ReadOnly);
    SoundBuffer->seek(at);
    Sink = new QAudioSink(device, format, this);
    Sink->start(SoundBuffer);
#endif
}

void TPlayerForm::StopSound()
{
#ifdef QUILLORA_HAVE_MULTIMEDIA
    if (Sink) {
        Sink->stop();
        delete Sink;
        Sink = nullptr;
    }
#endif
    delete SoundBuffer;
    SoundBuffer = nullptr;
}

bool TPlayerForm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == FPlay && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Left || key == Qt::Key_Right) {
            Step(key == Qt::Key_Right ? 1 : -1);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TPlayerForm::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Right:
        Step(1);
        break;
    case Qt::Key_Left:
        Step(-1);
        break;
    case Qt::Key_Home:
        Step(-Current);
        break;
    case Qt::Key_End:
        Step(Last - Current);
        break;
    case Qt::Key_Space:
        TogglePlay();
        break;
    default:
        QDialog::keyPressEvent(event);
        return;
    }
    event->accept();
}
