// The export's calls on the movie writer, compared call for call with a
// recorder: the header, each object kind, the arrow and its motion, the
// stop action and the file.
#include <algorithm>
#include <cmath>

#include "ExportTestUtil.h"
#include "SwfRecorder.h"

namespace quillora::test {
namespace {

using Calls = std::vector<std::string>;

Calls Header(int w = 640, int h = 480, int rate = 15, const std::string& bg = "255,255,255")
{
    return {"Movie.SetSize(" + std::to_string(w * 20) + "," + std::to_string(h * 20) + ")",
            "Movie.SetFrameRate(" + std::to_string(rate) + ")", "Movie.GotoFrame(0)",
            "Movie.SetFrameBkColor(" + bg + ")"};
}

Calls Arrow()
{
    Calls c{"Media.MakePolygon(0,0)"};
    const int steps[][2] = {{220, 220}, {-80, 0},   {0, 40},  {20, 20},   {0, 20},  {20, 20},
                            {0, 20},    {20, 20},   {0, 20},  {-20, 20},  {-20, 0}, {-20, -20},
                            {0, -20},   {-20, -20}, {0, -20}, {-20, -20}, {0, -20}, {-20, -20},
                            {0, -20},   {-80, 80},  {0, -320}};
    for (auto& s : steps)
        c.push_back("Media.AddStraightLine(" + std::to_string(s[0]) + "," + std::to_string(s[1]) +
                    ")");
    return c;
}

Calls Stop(int frame, const std::string& path)
{
    return {"Movie.GotoFrame(" + std::to_string(frame) + ")", "Action.MakeActionStop()",
            "Movie.AddAction(Action)", "Movie.WriteMovie(" + path + ")"};
}

Calls Cat(std::initializer_list<Calls> parts)
{
    Calls all;
    for (auto& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

// The calls from the first one equal to `from` up to, not including, the
// first later one equal to `to`.
Calls Slice(const Calls& log, const std::string& from, const std::string& to)
{
    auto a = std::find(log.begin(), log.end(), from);
    auto b = std::find(a, log.end(), to);
    return Calls(a, b);
}

TEST(ExportCalls, EmptyDocumentIsHeaderArrowStopAndFile)
{
    Project p(MovieXml(""));
    rec::Writers w;
    p.card.Modified = true;
    p.card.ExportSwf("All", "", w.Refs());
    EXPECT_EQ(w.Calls, Cat({Header(), Arrow(), Stop(0, p.card.MoviePath)}));
    EXPECT_FALSE(p.card.Modified);
}

TEST(ExportCalls, RecordedPictureWithClickAndRestingArrow)
{
    Pic pic{.start = 48, .end = 72, .mx = 30, .my = 40, .content = "/shots/77.jpg"};
    Calls picture = {"Movie.GotoFrame(48)",
                     "Media.MakePicture(0,0,12800,9600,640,480,/shots/77.jpg)",
                     "Movie.AddObject(Media)",
                     "Movie.GotoFrame(72)",
                     "Movie.RemoveObject(Media)",
                     "Movie.GotoFrame(49)",
                     "Media.MakeSound(/data/click.wav)",
                     "Movie.AddObject(Media)"};
    Calls arrowAt = {"Movie.GotoFrame(48)", "Media.Translate(600,800)", "Movie.AddObject(Media)"};
    {
        // TotalFrames above EndTime: removed once more at EndTime; the stop
        // action goes to TotalFrames.
        Project p(MovieXml(pic.Xml(), 100));
        rec::Writers w;
        p.card.ExportSwf("All", "/out/a.swf", w.Refs());
        EXPECT_EQ(w.Calls, Cat({Header(),
                                picture,
                                {"Movie.GotoFrame(72)", "Movie.RemoveObject(Media)"},
                                Arrow(),
                                arrowAt,
                                Stop(100, "/out/a.swf")}));
    }
    {
        // TotalFrames at or before EndTime: only PlaceStill's removal, and the
        // stop action lands where the movie ends, not at frame 0.
        Project p(MovieXml(pic.Xml(), 72));
        rec::Writers w;
        p.card.ExportSwf("All", "/out/a.swf", w.Refs());
        EXPECT_EQ(w.Calls, Cat({Header(), picture, Arrow(), arrowAt, Stop(72, "/out/a.swf")}));
    }
}

TEST(ExportCalls, ArrowGlidesBetweenTwoPicturesRoundingHalvesToEven)
{
    Pic a{.name = "Pic1", .start = 0, .end = 24, .mx = 100, .my = 50};
    Pic b{.name = "Pic2", .start = 24, .end = 48, .mx = 200, .my = 150, .content = "/shots/2.jpg"};
    Project p(MovieXml(a.Xml() + b.Xml()));
    rec::Writers w;
    p.card.ExportSwf("All", "", w.Refs());

    Calls motion = Slice(w.Calls, "Media.AddStraightLine(0,-320)", "Action.MakeActionStop()");
    ASSERT_FALSE(motion.empty());
    motion.erase(motion.begin());
    motion.pop_back(); // GotoFrame of the stop action
    Calls expected;
    for (int f = 0; f <= 24; ++f) {
        expected.push_back("Movie.GotoFrame(" + std::to_string(f) + ")");
        if (f > 0)
            expected.push_back("Movie.RemoveObject(Media)");
        int x = 100 + int(std::nearbyint(f * 100.0 / 24)),
            y = 50 + int(std::nearbyint(f * 100.0 / 24));
        expected.push_back("Media.Translate(" + std::to_string(x * 20) + "," +
                           std::to_string(y * 20) + ")");
        expected.push_back("Movie.AddObject(Media)");
    }
    expected.push_back("Movie.RemoveObject(Media)");
    for (int f = 24; f <= 48; ++f) {
        expected.push_back("Movie.GotoFrame(" + std::to_string(f) + ")");
        if (f > 24)
            expected.push_back("Movie.RemoveObject(Media)");
        expected.push_back("Media.Translate(4000,3000)");
        expected.push_back("Movie.AddObject(Media)");
    }
    expected.push_back("Movie.RemoveObject(Media)");
    EXPECT_EQ(motion, expected);
    // Frame 3: 12.5 goes to 12; frame 9: 37.5 goes to 38.
    EXPECT_EQ(
        Slice(motion, "Movie.GotoFrame(3)", "Movie.AddObject(Media)"),
        (Calls{"Movie.GotoFrame(3)", "Movie.RemoveObject(Media)", "Media.Translate(2240,1240)"}));
    EXPECT_EQ(
        Slice(motion, "Movie.GotoFrame(9)", "Movie.AddObject(Media)"),
        (Calls{"Movie.GotoFrame(9)", "Movie.RemoveObject(Media)", "Media.Translate(2760,1760)"}));
    // The last removal lands at 48: the stop action goes there, not to the
    // template's TotalFrames of 0.
    EXPECT_EQ(Calls(w.Calls.end() - 4, w.Calls.end()), Stop(48, p.card.MoviePath));
}

TEST(ExportCalls, TextHiMakesGlyphsTextAndItsFrames)
{
    Text t{.start = 0, .end = 24, .content = "Hi", .size = 12, .color = "255", .px = 10, .py = 20};
    Project p(MovieXml(t.Xml()));
    rec::Writers w;
    p.card.ExportSwf("All", "", w.Refs());
    Calls expected = {"Font.MakeFont(Microsoft Sans Serif)",
                      "Font.AddGlyph(Microsoft Sans Serif,H,72)",
                      "Font.AddGlyph(Microsoft Sans Serif,i,105)",
                      "Text.MakeTextEx(Hi,Font,200,500,336)", "Text.SetSolidFill(255,0,0,255)"};
    for (int f = 0; f <= 24; ++f) {
        expected.push_back("Movie.GotoFrame(" + std::to_string(f) + ")");
        expected.push_back("Movie.RemoveObject(Text)");
        expected.push_back("Movie.AddObject(Text)");
    }
    // Taken away in the frame after its end, where the movie stops.
    expected.push_back("Movie.GotoFrame(25)");
    expected.push_back("Movie.RemoveObject(Text)");
    // A single object that is not a picture places no arrow.
    EXPECT_EQ(w.Calls, Cat({Header(), expected, Arrow(), Stop(25, p.card.MoviePath)}));
}

TEST(ExportCalls, CaptionsEndInTheFrameAfterTheirEndTime)
{
    // One caption over each of two pictures, as the storyboard writes them
    // (the picture's frames, its end less one), and one that ends before it
    // starts, which shows nowhere and needs no removal.
    Pic a{.name = "Pic1", .start = 0, .end = 24};
    Pic b{.name = "Pic2", .start = 24, .end = 48};
    Text first{.name = "Text1", .start = 0, .end = 23, .content = "A"};
    Text second{.name = "Text2", .start = 24, .end = 47, .content = "B"};
    Text none{.name = "Text3", .start = 30, .end = 29, .content = "C"};
    Project p(MovieXml(a.Xml() + first.Xml() + b.Xml() + second.Xml() + none.Xml()));
    rec::Writers w;
    p.card.ExportSwf("All", "", w.Refs());
    // The text calls, frame by frame: the last frame of each caption places
    // it, the next one only takes it away.
    std::vector<std::pair<int, std::string>> text;
    int frame = 0;
    for (const std::string& c : w.Calls) {
        if (c.rfind("Movie.GotoFrame(", 0) == 0)
            frame = std::stoi(c.substr(16));
        else if (c == "Movie.AddObject(Text)" || c == "Movie.RemoveObject(Text)")
            text.emplace_back(frame, c);
    }
    auto count = [&](int f, const std::string& call) {
        return std::count(text.begin(), text.end(), std::make_pair(f, call));
    };
    EXPECT_EQ(count(23, "Movie.AddObject(Text)"), 1);
    EXPECT_EQ(count(24, "Movie.RemoveObject(Text)"), 2); // first's end, second's own start
    EXPECT_EQ(count(47, "Movie.AddObject(Text)"), 1);
    EXPECT_EQ(count(48, "Movie.RemoveObject(Text)"), 1);
    EXPECT_EQ(count(48, "Movie.AddObject(Text)"), 0);
    EXPECT_EQ(text.back(), std::make_pair(48, std::string("Movie.RemoveObject(Text)")));
    EXPECT_EQ(std::count_if(text.begin(), text.end(),
                            [](auto& t) {
                                return t.first >= 29 && t.first <= 31 &&
                                       t.second == "Movie.AddObject(Text)";
                            }),
              3)
        << "only the second caption shows in frames 29 to 31";
    // The stop stays where the last picture's arrow is.
    EXPECT_EQ(Calls(w.Calls.end() - 4, w.Calls.end()), Stop(48, p.card.MoviePath));
}

TEST(ExportCalls, ColoursAreRedInTheLowestByte)
{
    Text t{.color = "$FF0000"};
    Project p(MovieXml(t.Xml(), 0, "$FF0000"));
    rec::Writers w;
    p.card.ExportSwf("All", "", w.Refs());
    EXPECT_EQ(w.Calls[3], "Movie.SetFrameBkColor(0,0,255)");
    EXPECT_NE(std::find(w.Calls.begin(), w.Calls.end(), "Text.SetSolidFill(0,0,255,255)"),
              w.Calls.end());
}

TEST(ExportCalls, TextWithoutContentOrEffectNone)
{
    Text empty{.name = "Text1", .content = ""};
    Text moving{.name = "Text2", .content = "ab", .effect = "Move"};
    Project p(MovieXml(empty.Xml() + moving.Xml()));
    rec::Writers w;
    p.card.ExportSwf("All", "", w.Refs());
    Calls objects = Slice(w.Calls, "Movie.SetFrameBkColor(255,255,255)", "Media.MakePolygon(0,0)");
    EXPECT_EQ(objects,
              (Calls{"Movie.SetFrameBkColor(255,255,255)", "Font.MakeFont(Microsoft Sans Serif)",
                     "Font.AddGlyph(Microsoft Sans Serif,a,97)",
                     "Font.AddGlyph(Microsoft Sans Serif,b,98)"}));
}

TEST(ExportCalls, TextUnitCutsPiecesAndNeverHangs)
{
    auto glyphs = [](int unit, const std::string& content) {
        Text t{.content = content, .unit = unit};
        Project p(MovieXml(t.Xml()));
        rec::Writers w;
        p.card.ExportSwf("All", "", w.Refs());
        Calls g;
        for (auto& c : w.Calls)
            if (c.rfind("Font.AddGlyph", 0) == 0)
                g.push_back(c.substr(c.rfind(',') + 1));
        return g;
    };
    EXPECT_EQ(glyphs(1, "Hello"), (Calls{"72)", "101)", "108)", "108)", "111)"}));
    EXPECT_EQ(glyphs(2, "Hello"), (Calls{"72)", "108)", "111)"})); // He, ll, o
    EXPECT_EQ(glyphs(9, "Hello"), (Calls{"72)"}));
    EXPECT_EQ(glyphs(0, "Hey"), (Calls{"72)", "101)", "121)"}));
    EXPECT_EQ(glyphs(-4, "Hey"), (Calls{"72)", "101)", "121)"}));
    // A character beyond ASCII is one glyph with its own code.
    EXPECT_EQ(glyphs(1, "\xC3\xA9\xE2\x82\xAC"), (Calls{"233)", "8364)"}));
}

TEST(ExportCalls, SoundStartsInItsFrameAndIsNeverEnded)
{
    Sound s{.start = 30, .end = 1, .content = "/sounds/x.wav"};
    Sound silent{.name = "Sound2", .content = ""};
    Project p(MovieXml(s.Xml() + silent.Xml()));
    rec::Writers w;
    p.card.ExportSwf("All", "", w.Refs());
    Calls objects = Slice(w.Calls, "Movie.GotoFrame(30)", "Media.MakePolygon(0,0)");
    EXPECT_EQ(objects, (Calls{"Movie.GotoFrame(30)", "Media.MakeSound(/sounds/x.wav)",
                              "Movie.AddObject(Media)"}));
}

TEST(ExportCalls, MovePictureSlidesFromItsProjectFolder)
{
    Pic pic{.name = "Pic7", .start = 48, .end = 72, .effect = "Move", .w = 320, .h = 200};
    Project p(MovieXml(pic.Xml(), 10));
    p.card.BasePath = "/home/me/demo/clip";
    rec::Writers w;
    p.card.ExportSwf("All", "", w.Refs());
    Calls pictures;
    for (auto& c : w.Calls)
        if (c.rfind("Media.MakePicture", 0) == 0)
            pictures.push_back(c);
    ASSERT_EQ(pictures.size(), 25u);
    EXPECT_EQ(pictures.front(),
              "Media.MakePicture(-1920,0,4480,4000,320,200,/home/me/demo/Pic7.jpg)");
    EXPECT_EQ(pictures.back(),
              "Media.MakePicture(-2880,0,3520,4000,320,200,/home/me/demo/Pic7.jpg)");
    // Every frame removes before it places, and no click comes with it.
    Calls first = Slice(w.Calls, "Movie.GotoFrame(48)", "Movie.GotoFrame(49)");
    EXPECT_EQ(first, (Calls{"Movie.GotoFrame(48)", "Movie.RemoveObject(Media)", pictures.front(),
                            "Movie.AddObject(Media)"}));
    EXPECT_EQ(std::count_if(w.Calls.begin(), w.Calls.end(),
                            [](auto& c) { return c.rfind("Media.MakeSound", 0) == 0; }),
              0);
}

TEST(ExportCalls, PictureWithoutContentAddsNothing)
{
    Pic empty{.content = ""};
    Pic other{.name = "Pic2", .start = 0, .end = 24, .effect = "Fade"};
    Project p(MovieXml(empty.Xml() + other.Xml(), 50));
    rec::Writers w;
    p.card.ExportSwf("All", "", w.Refs());
    // The unknown effect places nothing but still gets the end removal.
    Calls objects = Slice(w.Calls, "Movie.SetFrameBkColor(255,255,255)", "Media.MakePolygon(0,0)");
    EXPECT_EQ(objects, (Calls{"Movie.SetFrameBkColor(255,255,255)", "Movie.GotoFrame(24)",
                              "Movie.RemoveObject(Media)"}));
}

TEST(ExportCalls, ArrowAfterPictureUsesOnlyTheMousePositionOfATextOrSound)
{
    Pic a{.start = 0, .end = 4, .mx = 0, .my = 0};
    Text t{.start = 4, .end = 8, .mx = 40, .my = 80};
    Sound s{.start = 8, .mx = 0, .my = 0};
    Project p(MovieXml(a.Xml() + t.Xml() + s.Xml()));
    const int before = int(p.doc.DOM().document_element().select_nodes("//*").size());
    rec::Writers w;
    p.card.ExportSwf("All", "", w.Refs());
    Calls moves;
    for (auto& c : w.Calls)
        if (c.rfind("Media.Translate", 0) == 0)
            moves.push_back(c);
    EXPECT_EQ(moves,
              (Calls{"Media.Translate(0,0)", "Media.Translate(200,400)", "Media.Translate(400,800)",
                     "Media.Translate(600,1200)", "Media.Translate(800,1600)"}));
    // The text and sound were not read as pictures: no element was added.
    EXPECT_EQ(int(p.doc.DOM().document_element().select_nodes("//*").size()), before);
}

TEST(ExportCalls, LastPictureRestsAtItsOwnPosition)
{
    Text t{.start = 0, .end = 2, .mx = 500, .my = 500};
    Pic a{.start = 2, .end = 4, .mx = 10, .my = 20};
    Project p(MovieXml(t.Xml() + a.Xml()));
    rec::Writers w;
    p.card.ExportSwf("All", "", w.Refs());
    Calls moves;
    for (auto& c : w.Calls)
        if (c.rfind("Media.Translate", 0) == 0)
            moves.push_back(c);
    EXPECT_EQ(moves, Calls(3, "Media.Translate(200,400)"));
}

TEST(ExportCalls, PictureOfNoLengthPlacesTheArrowAtItsOwnPosition)
{
    Pic a{.start = 5, .end = 5, .mx = 7, .my = 9};
    Pic b{.name = "Pic2", .start = 5, .end = 29, .mx = 100, .my = 100};
    Project p(MovieXml(a.Xml() + b.Xml()));
    rec::Writers w;
    p.card.ExportSwf("All", "", w.Refs());
    Calls motion = Slice(w.Calls, "Media.AddStraightLine(0,-320)", "Movie.GotoFrame(6)");
    EXPECT_EQ(motion, (Calls{"Media.AddStraightLine(0,-320)", "Movie.GotoFrame(5)",
                             "Media.Translate(140,180)", "Movie.AddObject(Media)",
                             "Movie.RemoveObject(Media)", "Movie.GotoFrame(5)",
                             "Media.Translate(2000,2000)", "Movie.AddObject(Media)"}));
}

TEST(ExportCalls, LoopingMovieOrOtherScopeHasNoStopAction)
{
    Project p(MovieXml(Pic{}.Xml() + Pic{.name = "Pic2", .start = 24, .end = 48}.Xml()));
    rec::Writers w;
    p.card.Looping = true;
    p.card.ExportSwf("All", "", w.Refs());
    EXPECT_EQ(std::count(w.Calls.begin(), w.Calls.end(), "Action.MakeActionStop()"), 0);
    EXPECT_EQ(w.Calls.back(), "Movie.WriteMovie(" + p.card.MoviePath + ")");
    rec::Writers w2;
    p.card.Looping = false;
    p.card.ExportSwf("Selection", "", w2.Refs());
    EXPECT_EQ(std::count(w2.Calls.begin(), w2.Calls.end(), "Action.MakeActionStop()"), 0);
}

TEST(ExportCalls, CountIsReadAnewForEveryObject)
{
    // Progress reports the objects done of the objects there are.
    Project p(MovieXml(Pic{}.Xml() + Sound{}.Xml() + Text{}.Xml()));
    rec::Writers w;
    Reporter r;
    p.card.ExportSwf("All", "", w.Refs(), &r);
    EXPECT_EQ(r.Progress, (std::vector<std::pair<int, int>>{{0, 3}, {1, 3}, {2, 3}, {3, 3}}));
    EXPECT_TRUE(r.Errors.empty());
}

TEST(ExportCalls, RefusedPictureAndSoundAreReportedAndTheExportGoesOn)
{
    Pic bad{.name = "Pic1", .content = "/shots/bad.jpg"};
    Pic good{.name = "Pic2", .start = 24, .end = 48, .content = "/shots/good.jpg"};
    Sound s{.start = 3, .content = "/sounds/stereo.wav"};
    Project p(MovieXml(bad.Xml() + s.Xml() + good.Xml(), 100));
    rec::Writers w;
    w.SwfMedia.BadPictures = {"/shots/bad.jpg"};
    w.SwfMedia.BadSounds = {"/sounds/stereo.wav"};
    Reporter r;
    p.card.ExportSwf("All", "", w.Refs(), &r);
    EXPECT_EQ(r.Errors, (std::vector<std::string>{kPictureErrorMessage, kSoundErrorMessage}));
    EXPECT_NE(r.Details[0].find("/shots/bad.jpg"), std::string::npos);
    // The refused picture's remaining calls are skipped; the next one is whole.
    Calls first = Slice(w.Calls, "Movie.GotoFrame(0)", "Movie.GotoFrame(3)");
    EXPECT_EQ(first, (Calls{"Movie.GotoFrame(0)", "Movie.SetFrameBkColor(255,255,255)",
                            "Movie.GotoFrame(0)",
                            "Media.MakePicture(0,0,12800,9600,640,480,/shots/bad.jpg)"}));
    EXPECT_NE(std::find(w.Calls.begin(), w.Calls.end(),
                        "Media.MakePicture(0,0,12800,9600,640,480,/shots/good.jpg)"),
              w.Calls.end());
    EXPECT_EQ(w.Calls.back(), "Movie.WriteMovie(" + p.card.MoviePath + ")");
}

TEST(ExportCalls, RefusedClickKeepsThePictureAndIsReportedForEachStill)
{
    Project p(MovieXml(Pic{}.Xml() + Pic{.name = "Pic2", .start = 24, .end = 48}.Xml()));
    rec::Writers w;
    w.SwfMedia.BadSounds = {"/data/click.wav"};
    Reporter r;
    p.card.ExportSwf("All", "", w.Refs(), &r);
    EXPECT_EQ(r.Errors, (std::vector<std::string>(2, kSoundErrorMessage)));
    EXPECT_EQ(std::count(w.Calls.begin(), w.Calls.end(),
                         "Media.MakePicture(0,0,12800,9600,640,480,/shots/1.jpg)"),
              2);
}

TEST(ExportCalls, OtherFailuresEndTheExportWithoutWriting)
{
    struct Case {
        std::string xml, message;
    };
    Pic noStart;
    std::string brokenPic = noStart.Xml();
    brokenPic.replace(brokenPic.find("<StartTime>0</StartTime>"), 24, "<StartTime>x1</StartTime>");
    std::string missingLayer = Pic{}.Xml();
    missingLayer.erase(missingLayer.find("<Layer>2</Layer>"), 16);
    // Read inside the picture's protected block, but a bad value of the
    // document is no unusable picture: it ends the export.
    std::string badTotal = MovieXml(Pic{}.Xml());
    badTotal.replace(badTotal.find("<TotalFrames>0</TotalFrames>"), 28,
                     "<TotalFrames>all</TotalFrames>");
    const Case cases[] = {
        {badTotal, "Could not convert variant of type (String) into type (Integer)"},
        {MovieXml("", 0, "-1"), "Range check error"},
        {MovieXml("", 0, "white"), "'white' is not a valid colour value"},
        {MovieXml(Text{.color = "-255"}.Xml()), "Range check error"},
        {MovieXml(brokenPic), "Could not convert variant of type (String) into type (Integer)"},
        {MovieXml(missingLayer), "Could not convert variant of type (Null) into type (Integer)"},
        {MovieXml("", 0, "16777215", 200000000), "Integer overflow"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.xml);
        Project p(c.xml);
        rec::Writers w;
        Reporter r;
        p.card.Modified = true;
        try {
            p.card.ExportSwf("All", "", w.Refs(), &r);
            ADD_FAILURE() << "no failure";
        } catch (const std::exception& e) {
            EXPECT_EQ(std::string(e.what()), c.message);
        }
        EXPECT_EQ(std::count_if(w.Calls.begin(), w.Calls.end(),
                                [](auto& s) { return s.rfind("Movie.WriteMovie", 0) == 0; }),
                  0);
        EXPECT_TRUE(p.card.Modified);
        EXPECT_TRUE(r.Errors.empty());
    }
}

TEST(ExportCalls, PicturesAreAnnouncedAheadWithoutTouchingTheDocument)
{
    Pic still{.name = "Pic1", .content = "/shots/1.jpg"};
    Pic empty{.name = "Pic2", .content = ""};
    Pic moving{.name = "Pic7", .effect = "Move"};
    Pic fading{.name = "Pic8", .content = "/shots/8.jpg", .effect = "Fade"};
    // Pic9 has no Width: reading it ends the export. Pic10, after it, has no
    // Layer, and must still have none afterwards.
    std::string noWidth = Pic{.name = "Pic9", .content = "/shots/9.jpg"}.Xml();
    noWidth.erase(noWidth.find("<Width>640</Width>"), 18);
    std::string noLayer = Pic{.name = "Pic10", .content = "/shots/10.jpg"}.Xml();
    noLayer.erase(noLayer.find("<Layer>2</Layer>"), 16);
    Project p(MovieXml(still.Xml() + Text{}.Xml() + empty.Xml() + moving.Xml() + Sound{}.Xml() +
                       fading.Xml() + noWidth + noLayer));
    p.card.BasePath = "/home/me/demo/clip";
    rec::Writers w;
    EXPECT_THROW(p.card.ExportSwf("All", "", w.Refs()), std::exception);
    ASSERT_EQ(w.SwfMedia.Hints.size(), 1u);
    EXPECT_EQ(w.SwfMedia.Hints[0],
              (std::vector<std::string>{"/shots/1.jpg", "/home/me/demo/Pic7.jpg", "/shots/9.jpg",
                                        "/shots/10.jpg"}));
    bool found = false;
    for (pugi::xml_node obj : p.doc.DocumentElement().children("Obj"))
        if (std::string(obj.child("ObjName").text().get()) == "Pic10") {
            found = true;
            EXPECT_FALSE(obj.child("Layer"));
        }
    EXPECT_TRUE(found);
    EXPECT_TRUE(w.SwfText.Hints.empty());
}

TEST(ExportCalls, FailedWriteLeavesModified)
{
    Project p(MovieXml(""));
    rec::Writers w;
    w.SwfMovie.FailWrite = true;
    p.card.Modified = true;
    EXPECT_THROW(p.card.ExportSwf("All", "/nowhere/x.swf", w.Refs()), std::runtime_error);
    EXPECT_TRUE(p.card.Modified);
}

} // namespace
} // namespace quillora::test
