#include "ui/Thumbnails.h"

#include <QCoreApplication>
#include <QFile>
#include <QMetaObject>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <jpeglib.h>

namespace {

struct JpegError {
    jpeg_error_mgr mgr;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void ExitWithMessage(j_common_ptr info)
{
    auto* err = reinterpret_cast<JpegError*>(info->err);
    (*info->err->format_message)(info, err->message);
    std::longjmp(err->jump, 1);
}

void IgnoreMessage(j_common_ptr) {}

// Everything libjpeg touches lives here, so a longjmp skips no destructor.
bool Decode(std::FILE* file, QSize bound, QImage* out, char* why)
{
    jpeg_decompress_struct info;
    JpegError err;
    info.err = jpeg_std_error(&err.mgr);
    err.mgr.error_exit = ExitWithMessage;
    err.mgr.output_message = IgnoreMessage;
    if (setjmp(err.jump)) {
        std::strncpy(why, err.message, JMSG_LENGTH_MAX);
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_stdio_src(&info, file);
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_RGB;
    unsigned denom = 1;
    while (denom < 8 && info.image_width / (denom * 2) >= unsigned(bound.width()) &&
           info.image_height / (denom * 2) >= unsigned(bound.height()))
        denom *= 2;
    info.scale_num = 1;
    info.scale_denom = denom;
    jpeg_start_decompress(&info);
    *out = QImage(int(info.output_width), int(info.output_height), QImage::Format_RGB888);
    if (out->isNull()) {
        std::strncpy(why, "out of memory", JMSG_LENGTH_MAX);
        jpeg_destroy_decompress(&info);
        return false;
    }
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = out->scanLine(int(info.output_scanline));
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return true;
}

QString Key(const QString& path, QSize bound)
{
    return QString::number(bound.width()) + QLatin1Char('x') + QString::number(bound.height()) +
           QLatin1Char(' ') + path;
}

} // namespace

QImage DecodeJpegScaled(const QString& path, QSize bound, QString* why)
{
    std::FILE* file = std::fopen(QFile::encodeName(path).constData(), "rb");
    if (!file) {
        if (why)
            *why = QString::fromLocal8Bit(std::strerror(errno));
        return {};
    }
    QImage image;
    char message[JMSG_LENGTH_MAX] = {};
    const bool ok = Decode(file, bound, &image, message);
    std::fclose(file);
    if (!ok) {
        if (why)
            *why = QString::fromLocal8Bit(message);
        return {};
    }
    if (image.width() > bound.width() || image.height() > bound.height())
        image = image.scaled(bound, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return image;
}

TThumbnailCache::TThumbnailCache(QObject* parent) : QObject(parent)
{
    // Two workers: the interface keeps a core of its own.
    Pool.setMaxThreadCount(2);
    Done.setMaxCost(256 * 1024 * 1024);
}

TThumbnailCache::~TThumbnailCache()
{
    Pool.clear();
    Pool.waitForDone();
}

TThumbnailCache::Result TThumbnailCache::Request(const QString& path, QSize bound)
{
    const QString key = Key(path, bound);
    if (const Result* r = Done.object(key))
        return *r;
    if (!Pending.contains(key)) {
        Pending.insert(key);
        Pool.start([this, key, path, bound] {
            QString why;
            QImage image = DecodeJpegScaled(path, bound, &why);
            // The pool is waited for before the cache goes, so this is alive.
            QMetaObject::invokeMethod(
                this, [this, key, path, image, why] { Finished(key, path, image, why); },
                Qt::QueuedConnection);
        });
    }
    return {};
}

void TThumbnailCache::Finished(const QString& key, const QString& path, const QImage& image,
                               const QString& error)
{
    if (!Pending.remove(key))
        return; // cleared meanwhile
    auto* r = new Result{image, error, true};
    Done.insert(key, r, std::max<qsizetype>(1, image.sizeInBytes()));
    emit Ready(path);
}

void TThumbnailCache::Clear()
{
    Done.clear();
    Pending.clear();
}

void TThumbnailCache::WaitForDone()
{
    Pool.waitForDone();
    QCoreApplication::sendPostedEvents(this);
}
