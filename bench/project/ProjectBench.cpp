// Editing a long recording: opening it and listing its storyboard, and each
// kind of edit with its undo (every one saves the whole project).

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "document/XMLUnit.h"
#include "project/ProjectEditor.h"
#include "BenchProject.h"

using namespace quillora;

namespace {

using bench::ScratchDir;

// A recording of n pictures of 24 frames, every tenth with a caption.
void MakeProject(const std::string& path, int n)
{
    TXMLDocument doc;
    IXMLMovie movie = GetMovie(doc);
    bench::WriteRecordingHeader(movie, 1280, 720);
    movie.SetLoop("False");
    IXMLObjList list = movie.GetObj();
    for (int i = 0; i < n; ++i)
        bench::AppendRecordedPicture(list, i, "Pic" + std::to_string(i + 1), bench::RecordedShot(i),
                                     1280, 720);
    for (int i = 0; i < n; i += 10) {
        IXMLObj obj = list.Add();
        bench::SetRecordedFields(obj, "Text", i, "Text" + std::to_string(i + 1), 24 * i, 24 * i + 23);
        IXMLObjText t = obj.GetObjType().GetObjText();
        t.SetContent("Step " + std::to_string(i));
        t.SetTextUnit(1);
        t.SetFontName("Sans");
        t.SetFontSize(18);
        t.SetFontColor("$FF0000");
        t.SetPositionX(50);
        t.SetPositionY(50);
        t.SetEffectName("None");
        t.SetEffectValue("");
    }
    doc.SaveToFile(path);
}

struct Opened {
    TXMLDocument Doc;
    IXMLMovie Movie;
    TProjectEditor Editor;
    explicit Opened(const std::string& path) : Doc(path), Movie(GetMovie(Doc))
    {
        Editor.MovieRef = &Movie;
    }
};

// Load the file and list every object as the storyboard shows it.
void BM_OpenAndList(benchmark::State& state)
{
    const int n = int(state.range(0));
    std::string dir = ScratchDir();
    MakeProject(dir + "/p.qlv", n);
    for (auto _ : state) {
        Opened p(dir + "/p.qlv");
        benchmark::DoNotOptimize(p.Editor.Items().size());
    }
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_OpenAndList)->Arg(100)->Arg(1000)->Arg(3000)->Unit(benchmark::kMillisecond);

// One edit in the middle of the recording and its undo: two layouts, two
// snapshots each way and two saves.
template <class Edit> void EditAndUndo(benchmark::State& state, Edit edit)
{
    const int n = int(state.range(0));
    std::string dir = ScratchDir();
    MakeProject(dir + "/p.qlv", n);
    Opened p(dir + "/p.qlv");
    for (auto _ : state) {
        edit(p.Editor, n);
        p.Editor.Undo();
    }
    std::filesystem::remove_all(dir);
}

void BM_DeleteAndUndo(benchmark::State& state)
{
    EditAndUndo(state, [](TProjectEditor& e, int n) { e.DeleteObjects({n / 2}); });
}
BENCHMARK(BM_DeleteAndUndo)->Arg(100)->Arg(1000)->Arg(3000)->Unit(benchmark::kMillisecond);

void BM_MoveAndUndo(benchmark::State& state)
{
    EditAndUndo(state, [](TProjectEditor& e, int n) { e.MovePicture(n / 2, 0); });
}
BENCHMARK(BM_MoveAndUndo)->Arg(1000)->Unit(benchmark::kMillisecond);

void BM_AddCaptionAndUndo(benchmark::State& state)
{
    EditAndUndo(state, [](TProjectEditor& e, int n) { e.AddCaption(n / 2, TCaption{"Hi"}); });
}
BENCHMARK(BM_AddCaptionAndUndo)->Arg(1000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
