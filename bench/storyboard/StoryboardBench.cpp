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
#include "project/ProjectEditor.h"
#include "ui/Storyboard.h"

using namespace quillora;

namespace {

struct Recording {
    std::string Dir;
    std::string Path;
    explicit Recording(int n)
    {
        std::string tmpl =
            (std::filesystem::temp_directory_path() / "quillora-bench-XXXXXX").string();
        if (!mkdtemp(tmpl.data()))
            std::abort();
        Dir = tmpl;
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
        movie.SetBgColor("16777215");
        movie.SetWidth(1280);
        movie.SetHeight(720);
        movie.SetRate(15);
        movie.SetLoop("False");
        for (int i = 0; i < n; ++i) {
            const std::string jpg = Dir + "/" + std::to_string(i) + ".jpg";
            if (i > 0)
                std::filesystem::copy_file(first, jpg);
            IXMLObj obj = movie.GetObj().Add();
            obj.SetDemo("");
            obj.SetMouseX(100 + i % 300);
            obj.SetMouseY(80 + i % 200);
            obj.SetObjName("Pic" + std::to_string(i + 1));
            obj.SetStartTime(24 * i);
            obj.SetEndTime(24 * i + 24);
            obj.SetLayer(2);
            obj.SetObjTypeName("Pic");
            IXMLObjPic pic = obj.GetObjType().GetObjPic();
            pic.SetContent(jpg);
            pic.SetPositionX(0);
            pic.SetPositionY(0);
            pic.SetWidth(1280);
            pic.SetHeight(720);
            pic.SetEffectName("None");
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
