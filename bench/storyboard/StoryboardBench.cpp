// Opening a long recording and showing it as a storyboard: the document read,
// the tiles listed and the window painted once (thumbnails still decoding),
// then the time until the visible thumbnails are in.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include <QApplication>
#include <QImage>
#include <QListView>

#include "document/XMLUnit.h"
#include "project/MovieFormats.h"
#include "project/ProjectEditor.h"
#include "ui/Storyboard.h"
#include "BenchProject.h"

using namespace quillora;

namespace {

struct Recording {
    std::string Dir;
    std::string Path;
    explicit Recording(int n)
    {
        Dir = bench::ScratchDir();
        Path = Dir + "/p.qlv";
        // One screen-sized capture, copied: every tile has a file of its own.
        QImage shot(1280, 720, QImage::Format_RGB32);
        for (int y = 0; y < shot.height(); ++y)
            for (int x = 0; x < shot.width(); ++x)
                shot.setPixel(x, y, qRgb(x % 256, y % 256, (x ^ y) % 256));
        const std::string first = Dir + "/0.jpg";
        if (!shot.save(QString::fromStdString(first), "JPG", 85))
            std::abort();
        TXMLDocument doc;
        IXMLMovie movie = GetMovie(doc);
        bench::WriteRecordingHeader(movie, 1280, 720);
        movie.SetLoop("False");
        for (int i = 0; i < n; ++i) {
            const std::string jpg = Dir + "/" + std::to_string(i) + ".jpg";
            if (i > 0)
                std::filesystem::copy_file(first, jpg);
            bench::AppendRecordedPicture(movie.GetObj(), i, "Pic" + std::to_string(i + 1), jpg, 1280,
                                         720);
        }
        doc.SaveToFile(Path);
    }
    ~Recording() { std::filesystem::remove_all(Dir); }
};

struct Shown {
    TXMLDocument Doc;
    IXMLMovie Movie;
    TProjectEditor Editor;
    TStoryboard Board;
    explicit Shown(const std::string& path) : Doc(path), Movie(GetMovie(Doc))
    {
        Editor.MovieRef = &Movie;
        Board.resize(1024, 700);
        Board.SetEditor(&Editor);
        Board.show();
        Board.repaint();
        Board.Strip()->viewport()->repaint();
        QApplication::processEvents();
    }
};

// Until the window shows every tile's place and the first picture large.
void BM_OpenAndShow(benchmark::State& state)
{
    Recording rec(int(state.range(0)));
    for (auto _ : state) {
        Shown s(rec.Path);
        benchmark::DoNotOptimize(s.Board.Model()->rowCount());
        state.PauseTiming();
        s.Board.Thumbnails()->WaitForDone();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_OpenAndShow)->Arg(100)->Arg(1000)->Arg(3000)->Unit(benchmark::kMillisecond);

// Until the thumbnails of the tiles in view (and the large picture) are in.
void BM_OpenShowAndDecodeVisible(benchmark::State& state)
{
    Recording rec(int(state.range(0)));
    for (auto _ : state) {
        Shown s(rec.Path);
        s.Board.Thumbnails()->WaitForDone();
        QApplication::processEvents();
        s.Board.repaint();
    }
}
BENCHMARK(BM_OpenShowAndDecodeVisible)->Arg(1000)->Unit(benchmark::kMillisecond);

// What the storyboard asks after every edit of a project whose videos zoom:
// the camera over the whole movie, made by the same export as the video.
void BM_ZoomViews(benchmark::State& state)
{
    Recording rec(int(state.range(0)));
    TXMLDocument doc(rec.Path);
    IXMLMovie movie = GetMovie(doc);
    movie.Node().append_child("Zoom").append_child(pugi::node_pcdata).set_value("True");
    const std::string base = std::filesystem::path(rec.Path).replace_extension().string();
    for (auto _ : state)
        benchmark::DoNotOptimize(PictureZoomViews(movie, base).size());
}
BENCHMARK(BM_ZoomViews)->Arg(100)->Arg(1000)->Arg(3000)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    // The offscreen platform warns about size hints at every show.
    static QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType type, const QMessageLogContext& context, const QString& message) {
            if (!message.contains(QLatin1String("propagateSizeHints")))
                previous(type, context, message);
        });
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
