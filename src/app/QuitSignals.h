// SIGTERM (the session ending, `kill`), SIGINT (Ctrl+C in a terminal) and
// SIGHUP (the terminal gone) end the program as File > Exit does, on the
// main thread: the handler only writes the signal's number into a pipe,
// which a socket notifier reads in the event loop.
#pragma once

#include <QObject>

class QSocketNotifier;

class TQuitSignals : public QObject {
    Q_OBJECT
  public:
    // Catches the three signals for as long as it lives; one at a time.
    explicit TQuitSignals(QObject* parent = nullptr);
    ~TQuitSignals() override;
    bool IsInstalled() const { return Notifier != nullptr; }

  signals:
    // In the event loop, once per signal received.
    void Received(int signal);

  private:
    void ReadPipe();
    QSocketNotifier* Notifier = nullptr;
};
