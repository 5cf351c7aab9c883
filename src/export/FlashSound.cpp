#include "export/FlashSound.h"

namespace quillora {

void TFlashSound::LoadObject(int32_t index)
{
    TFlashObj::LoadObject(index);
    KindName = "Sound";
    IXMLObjSound sound = Item(index).GetObjType().GetObjSound();
    Content = sound.ResolvePath(sound.GetContent());
}

void TFlashSound::AppendToDocument()
{
    IXMLObj obj = AppendCommon(true);
    obj.GetObjType().GetObjSound().SetContent(Content);
    SaveAppended(obj);
}

void TFlashSound::AddToMovie(int32_t index, const TExportTarget& target)
{
    LoadObject(index);
    if (Content.empty())
        return;
    auto& movie = target.Writers.SwfMovie;
    auto& media = target.Writers.SwfMedia;
    try {
        movie.GotoFrame(StartTime);
        media.MakeSound(Content);
        movie.AddObject(media);
    } catch (const Error&) {
        throw; // the document's own failures end the export
    } catch (const std::exception& e) {
        Report(target, kSoundErrorMessage, ObjName + ": " + Content + ": " + e.what());
    }
}

} // namespace quillora
