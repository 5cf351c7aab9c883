// The typed bindings: creation on read, element order, conversions and the
// failures with their exact messages.

#include "document/XMLUnit.h"
#include "TestUtil.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace quillora;
using quillora::test::MessageOf;
using ::testing::HasSubstr;

namespace {

// A document loaded from text, with its root bound.
struct Doc {
    explicit Doc(const char* xml)
    {
        doc.LoadFromXML(xml);
        movie = GetMovie(doc);
    }
    std::string Xml() const { return doc.SaveToXML(); }
    TXMLDocument doc;
    IXMLMovie movie;
};

} // namespace

TEST(XMLUnit, ReadingAMissingTextElementCreatesItEmptyAtTheEnd)
{
    Doc d("<Movie><Width>640</Width></Movie>");
    EXPECT_EQ(d.movie.GetAuthor(), "");
    EXPECT_EQ(d.Xml(), "<Movie><Width>640</Width><Author></Author></Movie>");
    // A second read finds the element made by the first.
    EXPECT_EQ(d.movie.GetAuthor(), "");
    EXPECT_EQ(d.Xml(), "<Movie><Width>640</Width><Author></Author></Movie>");
}

TEST(XMLUnit, IntegerReadOfMissingOrEmptyElementFailsAsNullAndLeavesTheElement)
{
    Doc d("<Movie><Rate></Rate></Movie>");
    const std::string null = "Could not convert variant of type (Null) into type (Integer)";
    EXPECT_EQ(MessageOf([&] { d.movie.GetRate(); }), null);
    EXPECT_EQ(MessageOf([&] { d.movie.GetTotalFrames(); }), null);
    EXPECT_EQ(d.Xml(), "<Movie><Rate></Rate><TotalFrames></TotalFrames></Movie>");

    IXMLObj obj = d.movie.GetObj().Add();
    EXPECT_EQ(MessageOf([&] { obj.GetMouseX(); }), null);
    EXPECT_EQ(obj.GetDemo(), "");
}

TEST(XMLUnit, IntegerTextIsDecimalWithOptionalBlanksAndSign)
{
    struct Case {
        const char* text;
        int32_t value;
    } good[] = {{"15", 15},
                {" 15 ", 15},
                {"\t-3\n", -3},
                {"+7", 7},
                {"007", 7},
                {"-0", 0},
                {"2147483647", 2147483647},
                {"-2147483648", INT32_MIN}};
    for (const Case& c : good)
        EXPECT_EQ(StrToInt32(c.text), c.value) << c.text;
    const std::string str = "Could not convert variant of type (String) into type (Integer)";
    for (const char* bad : {"abc", " ", "1 2", "1.5", "1e3", "0x10", "$10", "--1", "+", "-",
                            "2147483648", "-2147483649", "99999999999999999999", "١٢"}) {
        EXPECT_EQ(MessageOf([&] { StrToInt32(bad); }), str) << bad;
    }
    EXPECT_EQ(MessageOf([] { StrToInt32(""); }),
              "Could not convert variant of type (Null) into type (Integer)");
}

TEST(XMLUnit, IntegerPropertiesRoundTripAsPlainDecimal)
{
    Doc d("<Movie><Width>9</Width></Movie>");
    d.movie.SetWidth(0);
    d.movie.SetHeight(-3);
    d.movie.SetRate(INT32_MIN);
    EXPECT_EQ(d.Xml(),
              "<Movie><Width>0</Width><Height>-3</Height><Rate>-2147483648</Rate></Movie>");
    EXPECT_EQ(d.movie.GetRate(), INT32_MIN);

    d.movie.Node().child("Width").first_child().set_value(" 42 ");
    EXPECT_EQ(d.movie.GetWidth(), 42);
    d.movie.Node().child("Width").first_child().set_value("4O");
    EXPECT_EQ(MessageOf([&] { d.movie.GetWidth(); }),
              "Could not convert variant of type (String) into type (Integer)");
}

TEST(XMLUnit, ValueElementMustHoldNothingButText)
{
    Doc d("<Movie><Author><b>x</b></Author><MovieName>a<!--c-->b</MovieName>"
          "<Width><![CDATA[12]]></Width><BgPic><![CDATA[a]]>b</BgPic></Movie>");
    const std::string msg = "Element does not contain a single text node";
    const std::string before = d.Xml();
    EXPECT_EQ(MessageOf([&] { d.movie.GetAuthor(); }), msg);
    EXPECT_EQ(MessageOf([&] { d.movie.SetAuthor("y"); }), msg);
    EXPECT_EQ(MessageOf([&] { d.movie.GetMovieName(); }), msg);
    EXPECT_EQ(MessageOf([&] { d.movie.GetBgPic(); }), msg);
    EXPECT_EQ(d.Xml(), before) << "a refused access must not change the element";
    // A single CDATA node is text like any other.
    EXPECT_EQ(d.movie.GetWidth(), 12);
    d.movie.SetWidth(13);
    EXPECT_EQ(d.movie.GetWidth(), 13);
}

TEST(XMLUnit, LookupMatchesTheFirstElementOfThatExactName)
{
    Doc d("<Movie><?Width 1?><width>1</width><Width>2</Width><Width>3</Width></Movie>");
    EXPECT_EQ(d.movie.GetWidth(), 2);
    d.movie.SetWidth(5);
    EXPECT_EQ(d.Xml(),
              "<Movie><?Width 1?><width>1</width><Width>5</Width><Width>3</Width></Movie>");
}

TEST(XMLUnit, ElementsFollowTheOrderOfFirstAccessAndAreNeverMoved)
{
    Doc d("<Movie><Rate>15</Rate></Movie>");
    d.movie.SetLoop("False");
    d.movie.SetBgColor("16777215");
    IXMLObj obj = d.movie.GetObj().Add();
    obj.SetObjName("Pic1");
    d.movie.SetRate(12); // existing: stays first
    // A setting first touched after the items is appended after them.
    d.movie.SetAuthor("me");
    EXPECT_EQ(d.Xml(), "<Movie><Rate>12</Rate><Loop>False</Loop><BgColor>16777215</BgColor>"
                       "<Obj><ObjName>Pic1</ObjName></Obj><Author>me</Author></Movie>");
}

TEST(XMLUnit, EmptyTextRoundTripsAsEmpty)
{
    Doc d("<Movie><Author>x</Author></Movie>");
    d.movie.SetAuthor("");
    EXPECT_EQ(d.movie.GetAuthor(), "");
    TXMLDocument again;
    again.LoadFromXML(d.Xml());
    EXPECT_EQ(GetMovie(again).GetAuthor(), "");
}

TEST(XMLUnit, TextIsStoredUnchangedIncludingMarkupAndNonAscii)
{
    Doc d("<Movie/>");
    const std::string texts[] = {"Grüße – 日本語 😀",         "<b>&amp;\"'</b>", "]]> in text",
                                 "  leading and trailing  ", "line1\nline2",    ""};
    for (const std::string& t : texts) {
        d.movie.SetMovieName(t);
        TXMLDocument again;
        again.LoadFromXML(d.Xml());
        EXPECT_EQ(GetMovie(again).GetMovieName(), t);
    }
}

TEST(XMLUnit, ChildBindingsCreateTheirElementOnRequest)
{
    Doc d("<Movie/>");
    IXMLObj obj = d.movie.GetObj().Add();
    obj.SetObjTypeName("Pic");
    IXMLObjPic pic = obj.GetObjType().GetObjPic();
    pic.SetContent("/tmp/1.jpg");
    pic.SetWidth(640);
    // Asking for another kind adds an empty element of it.
    EXPECT_EQ(obj.GetObjType().GetObjSound().GetContent(), "");
    EXPECT_EQ(d.Xml(),
              "<Movie><Obj><ObjTypeName>Pic</ObjTypeName><ObjType><ObjPic><Content>/tmp/1.jpg"
              "</Content><Width>640</Width></ObjPic><ObjSound><Content></Content></ObjSound>"
              "</ObjType></Obj></Movie>");
    EXPECT_EQ(obj.GetObjType().GetObjPic(), pic);
}

TEST(XMLUnit, EveryTextAndSoundPropertyReachesItsElement)
{
    Doc d("<Movie/>");
    IXMLObjText t = d.movie.GetObj().Add().GetObjType().GetObjText();
    t.SetContent("Hi");
    t.SetTextUnit(1);
    t.SetFontName("Sans");
    t.SetFontSize(18);
    t.SetFontColor("$FF0000");
    t.SetPositionX(50);
    t.SetPositionY(-50);
    t.SetEffectName("None");
    t.SetEffectValue("");
    EXPECT_EQ(t.GetContent(), "Hi");
    EXPECT_EQ(t.GetTextUnit(), 1);
    EXPECT_EQ(t.GetFontName(), "Sans");
    EXPECT_EQ(t.GetFontSize(), 18);
    EXPECT_EQ(t.GetFontColor(), "$FF0000");
    EXPECT_EQ(t.GetPositionX(), 50);
    EXPECT_EQ(t.GetPositionY(), -50);
    EXPECT_EQ(t.GetEffectName(), "None");
    EXPECT_EQ(t.GetEffectValue(), "");
    EXPECT_THAT(d.Xml(), HasSubstr("<ObjText><Content>Hi</Content><TextUnit>1</TextUnit>"
                                   "<FontName>Sans</FontName><FontSize>18</FontSize>"
                                   "<FontColor>$FF0000</FontColor><PositionX>50</PositionX>"
                                   "<PositionY>-50</PositionY><EffectName>None</EffectName>"
                                   "<EffectValue></EffectValue></ObjText>"));
}

TEST(XMLUnit, ListCountsOnlyObjChildren)
{
    Doc d("<Movie><Width>1</Width><Obj/><obj/><Other/><Obj/><!--Obj--></Movie>");
    IXMLObjList list = d.movie.GetObj();
    EXPECT_EQ(list.Count(), 2);
    Doc empty("<Movie><BgColor>1</BgColor><Width>1</Width></Movie>");
    EXPECT_EQ(empty.movie.GetObj().Count(), 0);
}

TEST(XMLUnit, AddAppendsAfterEveryChildAndIsTheLastItem)
{
    Doc d("<Movie><Obj><ObjName>a</ObjName></Obj><Width>1</Width></Movie>");
    IXMLObjList list = d.movie.GetObj();
    IXMLObj added = list.Add();
    added.SetObjName("b");
    EXPECT_EQ(list.Count(), 2);
    EXPECT_EQ(list.Items(1), added);
    EXPECT_EQ(d.Xml(), "<Movie><Obj><ObjName>a</ObjName></Obj><Width>1</Width>"
                       "<Obj><ObjName>b</ObjName></Obj></Movie>");
}

TEST(XMLUnit, InsertDeleteRemoveClear)
{
    Doc d("<Movie><Obj><ObjName>a</ObjName></Obj><Width>1</Width><Obj><ObjName>c</ObjName></Obj></"
          "Movie>");
    IXMLObjList list = d.movie.GetObj();
    list.Insert(1).SetObjName("b");
    list.Insert(0).SetObjName("first");
    list.Insert(list.Count()).SetObjName("last");
    auto names = [&] {
        std::string s;
        for (int i = 0; i < list.Count(); ++i)
            s += list.Items(i).GetObjName() + ",";
        return s;
    };
    EXPECT_EQ(names(), "first,a,b,c,last,");

    list.Delete(1);
    EXPECT_EQ(names(), "first,b,c,last,");
    EXPECT_EQ(list.Remove(list.Items(2)), 2);
    EXPECT_EQ(names(), "first,b,last,");

    Doc other("<Movie><Obj/></Movie>");
    EXPECT_EQ(list.Remove(other.movie.GetObj().Items(0)), -1);
    EXPECT_EQ(list.Count(), 3);

    list.Clear();
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(d.Xml(), "<Movie><Width>1</Width></Movie>");
}

TEST(XMLUnit, IndexOutOfRangeFailsWithTheIndex)
{
    Doc d("<Movie><Obj/><Obj/></Movie>");
    IXMLObjList list = d.movie.GetObj();
    const std::string before = d.Xml();
    EXPECT_EQ(MessageOf([&] { list.Items(2); }), "List index out of bounds (2)");
    EXPECT_EQ(MessageOf([&] { list.Items(-1); }), "List index out of bounds (-1)");
    EXPECT_EQ(MessageOf([&] { list.Delete(5); }), "List index out of bounds (5)");
    EXPECT_EQ(MessageOf([&] { list.Insert(3); }), "List index out of bounds (3)");
    EXPECT_EQ(d.Xml(), before);
}

TEST(XMLUnit, GetMovieCreatesTheRootOfAnEmptyDocumentAndRefusesAnotherRoot)
{
    TXMLDocument empty;
    IXMLMovie m = GetMovie(empty);
    m.SetRate(15);
    EXPECT_EQ(empty.SaveToXML(), "<Movie><Rate>15</Rate></Movie>");

    TXMLDocument other;
    other.LoadFromXML("<?xml version=\"1.0\"?><Film><Rate>15</Rate></Film>");
    EXPECT_EQ(MessageOf([&] { GetMovie(other); }), "Interface not supported");
    EXPECT_EQ(other.SaveToXML(), "<?xml version=\"1.0\"?><Film><Rate>15</Rate></Film>");
}

TEST(XMLUnit, ColourTextIsDecimalOrDollarHex)
{
    EXPECT_EQ(ParseColor("16777215"), 16777215);
    EXPECT_EQ(ParseColor("$FF0000"), 0xFF0000);
    EXPECT_EQ(ParseColor("$ff"), 255);
    EXPECT_EQ(ParseColor(" $10 "), 16);
    EXPECT_EQ(ParseColor("-1"), -1);
    EXPECT_EQ(ParseColor("$FFFFFFFF"), -1);
    for (const char* bad : {"", "$", "$G1", "#FF0000", "0xFF", "red", "$123456789", "$-1"}) {
        EXPECT_EQ(MessageOf([&] { ParseColor(bad); }),
                  "'" + std::string(bad) + "' is not a valid colour value");
    }

    ColorRGB blue = SplitColor(ParseColor("$FF0000"));
    EXPECT_EQ(blue.r, 0);
    EXPECT_EQ(blue.g, 0);
    EXPECT_EQ(blue.b, 255);
    ColorRGB c = SplitColor(0x123456);
    EXPECT_EQ(c.r, 0x56);
    EXPECT_EQ(c.g, 0x34);
    EXPECT_EQ(c.b, 0x12);
    EXPECT_EQ(MessageOf([] { SplitColor(-1); }), "Range check error");
}

TEST(XMLUnit, ArrangeReordersItemsInTheirSlotsOrChangesNothing)
{
    Doc d(
        "<Movie><Obj><N>a</N></Obj><Rate>15</Rate><Obj><N>b</N></Obj><Obj><N>c</N></Obj></Movie>");
    IXMLObjList list = d.movie.GetObj();
    std::vector<IXMLObj> items = list.AllItems();
    list.Arrange({items[2], items[0], items[1]});
    EXPECT_EQ(
        d.Xml(),
        "<Movie><Obj><N>c</N></Obj><Rate>15</Rate><Obj><N>a</N></Obj><Obj><N>b</N></Obj></Movie>");
    const std::string now = d.Xml();
    EXPECT_THAT(MessageOf([&] {
                    list.Arrange({items[0], items[0], items[1]});
                }),
                HasSubstr("does not hold each object once"));
    EXPECT_THROW(list.Arrange({items[0], items[1]}), Error);
    EXPECT_EQ(d.Xml(), now);
}

TEST(XMLUnit, RestoreMakesTheItemsTheseElementsAndRefusesOtherText)
{
    Doc d("<Movie><Obj><N>a</N><E/></Obj><Rate>15</Rate><Obj><N>b</N></Obj></Movie>");
    IXMLObjList list = d.movie.GetObj();
    const std::string a = list.Items(0).SaveToXML();
    EXPECT_EQ(a, "<Obj><N>a</N><E></E></Obj>");
    // Fewer, more and changed items; new ones follow the last item.
    list.Restore({"<Obj><N>b2</N></Obj>"});
    EXPECT_EQ(d.Xml(), "<Movie><Obj><N>b2</N></Obj><Rate>15</Rate></Movie>");
    list.Restore({a, "<Obj><N>x</N></Obj>", "<Obj><N>y</N></Obj>"});
    // New items go where Add puts them; an empty value may lose its text node.
    EXPECT_EQ(d.Xml(), "<Movie><Obj><N>a</N><E/></Obj><Rate>15</Rate><Obj><N>x</N></Obj>"
                       "<Obj><N>y</N></Obj></Movie>");
    EXPECT_EQ(list.Items(0).SaveToXML(), a);
    const std::string now = d.Xml();
    for (const char* bad : {"<Obj>", "<Other/>", "<Obj/><Obj/>", "text"})
        EXPECT_THROW(list.Restore({"<Obj><N>z</N></Obj>", bad}), Error) << bad;
    EXPECT_EQ(d.Xml(), now);
}

TEST(XMLUnit, AValueThatDoesNotReadSaysWhereItIs)
{
    Doc d("<Movie><Rate>15 fps</Rate><Obj><ObjName>Pic1</ObjName></Obj>"
          "<Obj><ObjName>Pic2</ObjName><StartTime>1O</StartTime><ObjType><ObjPic>"
          "<PositionX></PositionX><Width><b/></Width></ObjPic></ObjType></Obj>"
          "<Obj><ObjName>Pic3</ObjName></Obj></Movie>");
    IXMLObj second = d.movie.GetObj().Items(1);
    auto placeOf = [](auto&& read) {
        try {
            read();
        } catch (const Error& e) {
            return std::string(e.what()) + " | " + DescribePlace(e.Place());
        }
        return std::string("<no error>");
    };
    // The message is the program's own; the place comes beside it.
    EXPECT_EQ(placeOf([&] { second.GetStartTime(); }),
              "Could not convert variant of type (String) into type (Integer) | "
              "object 2 of 3 (\"Pic2\"), element \"StartTime\" holding \"1O\"");
    IXMLObjPic pic = second.GetObjType().GetObjPic();
    EXPECT_EQ(placeOf([&] { pic.GetPositionX(); }),
              "Could not convert variant of type (Null) into type (Integer) | "
              "object 2 of 3 (\"Pic2\"), element \"ObjType/ObjPic/PositionX\"");
    EXPECT_EQ(placeOf([&] { pic.GetWidth(); }),
              "Element does not contain a single text node | "
              "object 2 of 3 (\"Pic2\"), element \"ObjType/ObjPic/Width\"");
    // A missing element is created by the read and named all the same.
    EXPECT_EQ(placeOf([&] { d.movie.GetObj().Items(2).GetMouseY(); }),
              "Could not convert variant of type (Null) into type (Integer) | "
              "object 3 of 3 (\"Pic3\"), element \"MouseY\"");
    EXPECT_EQ(placeOf([&] { d.movie.GetRate(); }),
              "Could not convert variant of type (String) into type (Integer) | "
              "element \"Rate\" of the movie holding \"15 fps\"");
}

TEST(XMLUnit, APlaceInWordsCannotRewriteTheTerminalLine)
{
    ErrorPlace place;
    place.ObjectIndex = 0;
    place.ObjectCount = 1;
    place.ObjectName = "a\rb\x1b[2J";
    place.Element = "StartTime";
    place.Value = std::string(70, '7') + "\xC3\xA9";
    EXPECT_EQ(DescribePlace(place), "object 1 of 1 (\"a\\x0Db\\x1B[2J\"), element \"StartTime\" "
                                    "holding \"" +
                                        std::string(60, '7') + "...\"");
    place.Value = std::string(59, '7') + "\xC3\xA9" + "xyz";
    EXPECT_EQ(DescribePlace(place).substr(DescribePlace(place).find("holding")),
              "holding \"" + std::string(59, '7') + "\xC3\xA9...\"");
    EXPECT_EQ(DescribePlace(ErrorPlace{}), "");
}
