// After each edit the main window asks whether the project is back where it
// was saved (the title's mark): a hash of the working project's content,
// read from its file. Projects of 100, 1000 and 3000 pictures.

#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include <QFileInfo>
#include <QString>

#include "app/ProjectState.h"
#include "document/XMLUnit.h"
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
        TXMLDocument doc;
        IXMLMovie movie = GetMovie(doc);
        bench::WriteRecordingHeader(movie, 1280, 720);
        movie.SetLoop("False");
        for (int i = 0; i < n; ++i)
            bench::AppendRecordedPicture(movie.GetObj(), i, "Pic" + std::to_string(i + 1),
                                         Dir + "/" + std::to_string(i) + ".jpg", 1280, 720);
        doc.SaveToFile(Path);
    }
    ~Recording() { std::filesystem::remove_all(Dir); }
};

void BM_ProjectContentHash(benchmark::State& state)
{
    Recording rec(int(state.range(0)));
    const QString path = QString::fromStdString(rec.Path);
    for (auto _ : state)
        benchmark::DoNotOptimize(ProjectContentHash(path));
    state.counters["pictures"] = double(state.range(0));
    state.counters["file_KB"] = double(QFileInfo(path).size()) / 1024;
}
BENCHMARK(BM_ProjectContentHash)->Arg(100)->Arg(1000)->Arg(3000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
