// Pictures of the storyboard, decoded on worker threads and kept: a request
// answers at once with what is there (or nothing yet) and the decode, scaled
// down inside libjpeg, runs on the cache's own pool. Ready tells when it is in.
#pragma once

#include <QCache>
#include <QHash>
#include <QImage>
#include <QObject>
#include <QSet>
#include <QSize>
#include <QString>
#include <QThreadPool>

// Decodes the JPEG at path to at least bound's size where the picture is that
// big (libjpeg's 1/2, 1/4, 1/8 scaling), then scales it to fit bound. On
// failure gives a null image and the reason in why.
QImage DecodeJpegScaled(const QString& path, QSize bound, QString* why);

class TThumbnailCache : public QObject {
    Q_OBJECT
  public:
    explicit TThumbnailCache(QObject* parent = nullptr);
    // Waits for decodes under way; none reports after this.
    ~TThumbnailCache() override;

    struct Result {
        QImage Image;  // null while decoding, or when it failed
        QString Error; // why it failed; empty otherwise
        bool Done = false;
    };
    // What is known of path at this size; starts a decode when nothing is.
    Result Request(const QString& path, QSize bound);
    // Forget everything (the files may have changed).
    void Clear();
    // Blocks until every decode asked for so far is in (tests, benchmarks).
    void WaitForDone();

  signals:
    void Ready(const QString& path);

  private:
    void Finished(const QString& key, const QString& path, const QImage& image,
                  const QString& error);

    QThreadPool Pool;
    QCache<QString, Result> Done; // cost: bytes of the image
    QSet<QString> Pending;
};
