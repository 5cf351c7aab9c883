// What a capture costs on the document side as a recording grows: naming
// the new picture, appending it and saving the whole project atomically;
// and what opening a long project costs.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "document/XMLUnit.h"
#include "export/MovieExport.h"
#include "NullWriters.h"
#include "BenchProject.h"

using namespace quillora;

namespace {

using bench::ScratchDir;

void AppendPicture(const IXMLMovie& movie, int index)
{
    bench::AppendRecordedPicture(movie.GetObj(), index, NewObjectName(movie.GetObj(), "Pic"),
                                 bench::RecordedShot(index), 640, 480);
}

// A project of n recorded pictures, saved at path.
void MakeProject(const std::string& path, int n)
{
    TXMLDocument doc;
    IXMLMovie movie = GetMovie(doc);
    bench::WriteRecordingHeader(movie, 640, 480);
    movie.SetTotalFrames(0); // as the template has it, ahead of the items
    movie.SetLoop("False");
    for (int i = 0; i < n; ++i)
        AppendPicture(movie, i);
    doc.SaveToFile(path);
}

// One capture into a project of state.range(0) pictures: name, append, save.
void BM_CaptureAppendAndSave(benchmark::State& state)
{
    const int n = int(state.range(0));
    std::string dir = ScratchDir();
    std::string path = dir + "/Untitled.qlv";
    MakeProject(path, n);
    TXMLDocument doc(path);
    IXMLMovie movie = GetMovie(doc);
    for (auto _ : state) {
        AppendPicture(movie, n);
        doc.Save();
        state.PauseTiming();
        movie.GetObj().Delete(n);
        state.ResumeTiming();
    }
    state.counters["bytes"] = double(std::filesystem::file_size(path));
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_CaptureAppendAndSave)
    ->Arg(10)
    ->Arg(100)
    ->Arg(1000)
    ->Arg(3000)
    ->Unit(benchmark::kMillisecond);

// Naming alone: the walk restarts at every clash, so it grows with the square.
void BM_NewObjectName(benchmark::State& state)
{
    const int n = int(state.range(0));
    TXMLDocument doc;
    IXMLMovie movie = GetMovie(doc);
    for (int i = 0; i < n; ++i)
        AppendPicture(movie, i);
    for (auto _ : state)
        benchmark::DoNotOptimize(NewObjectName(movie.GetObj(), "Pic"));
}
BENCHMARK(BM_NewObjectName)->Arg(100)->Arg(1000)->Arg(3000)->Unit(benchmark::kMillisecond);

// Opening a project and reading every picture, as the export does.
void BM_OpenAndReadAll(benchmark::State& state)
{
    const int n = int(state.range(0));
    std::string dir = ScratchDir();
    std::string path = dir + "/p.qlv";
    MakeProject(path, n);
    for (auto _ : state) {
        TXMLDocument doc(path);
        IXMLMovie movie = GetMovie(doc);
        IXMLObjList list = movie.GetObj();
        int64_t sum = 0;
        for (int i = 0; i < list.Count(); ++i) {
            IXMLObj obj = list.Items(i);
            sum += obj.GetMouseX() + obj.GetStartTime() +
                   int64_t(obj.GetObjType().GetObjPic().GetContent().size());
        }
        benchmark::DoNotOptimize(sum);
    }
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_OpenAndReadAll)
    ->Arg(100)
    ->Arg(1000)
    ->Arg(3000)
    ->Arg(10000)
    ->Unit(benchmark::kMillisecond);

using bench::NullAction;
using bench::NullMovie;
using bench::NullObject;

// Opening a project and running the export over it into writers that do
// nothing, as the program's Save and the command-line exporter read it.
void BM_OpenAndExport(benchmark::State& state)
{
    const int n = int(state.range(0));
    std::string dir = ScratchDir();
    std::string path = dir + "/p.qlv";
    MakeProject(path, n);
    NullMovie m;
    NullObject media, font, text;
    NullAction action;
    for (auto _ : state) {
        TXMLDocument doc(path);
        IXMLMovie movie = GetMovie(doc);
        TExportSettings settings;
        settings.BasePath = dir + "/p";
        ExportMovie(movie, settings, dir + "/p.swf", {m, media, font, text, action});
    }
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_OpenAndExport)->Arg(1000)->Arg(3000)->Arg(10000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
