// The built-in player: the movie's timeline drawn by the video renderer, at
// the movie's rate, with its sounds, for desktops that have no program for
// the SWF file.
#pragma once

#include <QDialog>
#include <QElapsedTimer>
#include <QImage>
#include <memory>
#include <string>

#include "video/Timeline.h"

class QAudioSink;
class QBuffer;
class QLabel;
class QPushButton;
class QSlider;
class QTimer;

namespace video {
class TRenderer;
}

// The stage: the renderer's picture, scaled down when the window is smaller.
class TPlayerView : public QWidget {
    Q_OBJECT
  public:
    explicit TPlayerView(QWidget* parent = nullptr);
    void SetImage(const QImage& image);
    const QImage& Image() const { return Shown; }
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QImage Shown;
};

class TPlayerForm : public QDialog {
    Q_OBJECT
  public:
    TPlayerForm(video::TTimeline timeline, QWidget* parent = nullptr);
    ~TPlayerForm() override;

    int Frame() const { return Current; }
    int LastFrame() const { return Last; }
    bool IsPlaying() const { return Playing; }
    TPlayerView* View() const { return FView; }

    void Play();
    void Pause();
    void TogglePlay();
    void ShowFrame(int frame);
    void Step(int frames);

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void Tick();
    void UpdateControls();
    void StartSound();
    void StopSound();

    video::TTimeline Timeline;
    std::unique_ptr<video::TRenderer> Renderer;
    int Current = -1;
    int Last = 0;
    bool Playing = false;
    int PlayStart = 0;
    QElapsedTimer Clock;
    TPlayerView* FView;
    QPushButton* FPlay;
    QSlider* FPosition;
    QLabel* FTime;
    QTimer* Timer;
    QByteArray Pcm; // the mixed sounds, 16-bit mono
    QBuffer* SoundBuffer = nullptr;
    QAudioSink* Sink = nullptr;
};
