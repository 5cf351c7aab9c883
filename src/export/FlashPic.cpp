#include "export/FlashPic.h"

namespace quillora {

std::string FolderWithSeparator(const std::string& path)
{
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string MovePathOf(const std::string& basePath, const std::string& objName)
{
    return FolderWithSeparator(basePath) + objName + ".jpg";
}

void TFlashPic::LoadObject(int32_t index)
{
    TFlashObj::LoadObject(index);
    KindName = "Pic";
    IXMLObjPic p = Item(index).GetObjType().GetObjPic();
    Content = p.ResolvePath(p.GetContent());
    PositionX = p.GetPositionX();
    PositionY = p.GetPositionY();
    EffectName = p.GetEffectName();
    Width = p.GetWidth();
    Height = p.GetHeight();
    MovePath = MovePathOf(BasePathRef ? *BasePathRef : std::string(), ObjName);
}

void TFlashPic::AppendToDocument()
{
    IXMLObj obj = AppendCommon(false);
    IXMLObjPic p = obj.GetObjType().GetObjPic();
    p.SetContent(Content);
    p.SetPositionX(0);
    p.SetPositionY(0);
    p.SetWidth(Width);
    p.SetHeight(Height);
    p.SetEffectName("None");
    SaveAppended(obj);
}

void TFlashPic::AddToMovie(int32_t index, const TExportTarget& target)
{
    LoadObject(index);
    if (Content.empty())
        return;
    auto& movie = target.Writers.SwfMovie;
    try {
        if (EffectName == "None")
            PlaceStill(target);
        if (EffectName == "Move")
            PlaceMoving(target);
        if (Movie().GetTotalFrames() > EndTime) {
            movie.GotoFrame(EndTime);
            movie.RemoveObject(target.Writers.SwfMedia);
        }
    } catch (const Error&) {
        // A value of the document that does not parse is not a picture the
        // writer refused: it ends the export with its own message.
        throw;
    } catch (const std::exception& e) {
        Report(target, kPictureErrorMessage,
               ObjName + ": " + (EffectName == "Move" ? MovePath : Content) + ": " + e.what());
    }
}

void TFlashPic::PlaceStill(const TExportTarget& target)
{
    auto& movie = target.Writers.SwfMovie;
    auto& media = target.Writers.SwfMedia;
    movie.GotoFrame(StartTime);
    media.MakePicture(Twips(PositionX), Twips(PositionY), Twips(int64_t(PositionX) + Width),
                      Twips(int64_t(PositionY) + Height), Width, Height, Content);
    movie.AddObject(media);
    movie.GotoFrame(EndTime);
    movie.RemoveObject(media);
    try {
        if (StartTime == INT32_MAX)
            throw Error("Integer overflow");
        movie.GotoFrame(StartTime + 1);
        media.MakeSound(target.ClickPath);
        movie.AddObject(media);
    } catch (const Error&) {
        throw;
    } catch (const std::exception& e) {
        // The picture stays in the movie without its click.
        Report(target, kSoundErrorMessage, ObjName + ": " + target.ClickPath + ": " + e.what());
    }
}

void TFlashPic::PlaceMoving(const TExportTarget& target)
{
    auto& movie = target.Writers.SwfMovie;
    auto& media = target.Writers.SwfMedia;
    for (int64_t f = StartTime; f <= EndTime; ++f) {
        movie.GotoFrame(static_cast<int32_t>(f));
        movie.RemoveObject(media);
        // Counted from the start of the movie, so the slide continues across
        // pictures rather than restarting with each.
        int64_t x = int64_t(PositionX) - 2 * f;
        media.MakePicture(Twips(x), Twips(PositionY), Twips(x + Width),
                          Twips(int64_t(PositionY) + Height), Width, Height, MovePath);
        movie.AddObject(media);
    }
}

} // namespace quillora
