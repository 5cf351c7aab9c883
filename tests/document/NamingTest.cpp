// Object naming: the next free number of a kind, and an end on documents
// where an object of another kind carries the candidate name.

#include <optional>
#include <random>
#include <set>

#include <gtest/gtest.h>

#include "document/XMLUnit.h"

using namespace quillora;

namespace {

struct Item {
    std::string kind, name;
};

// A movie holding the items, each with "ObjTypeName" and "ObjName".
struct Movie {
    explicit Movie(const std::vector<Item>& items)
    {
        movie = GetMovie(doc);
        for (const Item& it : items) {
            IXMLObj obj = movie.GetObj().Add();
            obj.SetObjTypeName(it.kind);
            obj.SetObjName(it.name);
        }
    }
    std::string Name(const char* kind) { return NewObjectName(movie.GetObj(), kind); }
    TXMLDocument doc;
    IXMLMovie movie;
};

// The rule as first stated, without the mending; gives up after `limit`
// restarts, which is how a walk that never ends shows here.
std::optional<std::string> PlainRule(const std::vector<Item>& items, const std::string& k,
                                     int limit)
{
    std::string candidate = k + "1";
    size_t i = 0;
    int c = 0, restarts = 0;
    while (i < items.size()) {
        if (items[i].kind == k)
            ++c;
        if (items[i].name == candidate) {
            if (++restarts > limit)
                return std::nullopt;
            candidate = k + std::to_string(c + 1);
            i = 0;
            c = 0;
        } else {
            ++i;
        }
    }
    return candidate;
}

// The mended rule walked as it reads: restart from the first item after
// every clash, moving to the next untried number where the plain rule would
// come back to a candidate it has tried.
std::string WalkedRule(const std::vector<Item>& items, const std::string& k)
{
    std::set<int> tried = {1};
    std::string candidate = k + "1";
    size_t i = 0;
    int c = 0;
    while (i < items.size()) {
        if (items[i].kind == k)
            ++c;
        if (items[i].name == candidate) {
            int number = c + 1;
            while (tried.count(number))
                ++number;
            tried.insert(number);
            candidate = k + std::to_string(number);
            i = 0;
            c = 0;
        } else {
            ++i;
        }
    }
    return candidate;
}

} // namespace

TEST(Naming, NamesFollowOnPerKind)
{
    EXPECT_EQ(Movie({}).Name("Pic"), "Pic1");
    EXPECT_EQ(Movie({{"Pic", "Pic1"}, {"Pic", "Pic2"}}).Name("Pic"), "Pic3");
    EXPECT_EQ(Movie({{"Pic", "Pic1"}, {"Pic", "Pic2"}}).Name("Text"), "Text1");
    EXPECT_EQ(Movie({{"Text", "Text1"}, {"Pic", "Pic1"}, {"Sound", "Sound1"}, {"Pic", "Pic2"}})
                  .Name("Pic"),
              "Pic3");
    // A gap is filled; comparisons are exact and case-sensitive.
    EXPECT_EQ(Movie({{"Pic", "Pic1"}, {"Pic", "Pic3"}}).Name("Pic"), "Pic2");
    EXPECT_EQ(Movie({{"Pic", "pic1"}, {"Pic", "Pic 1"}}).Name("Pic"), "Pic1");
}

TEST(Naming, EndsWhenAnotherKindCarriesTheCandidate)
{
    // The plain rule comes back to Pic1 for ever here.
    std::vector<Item> loop1 = {{"Sound", "Pic1"}};
    ASSERT_FALSE(PlainRule(loop1, "Pic", 1000));
    EXPECT_EQ(Movie(loop1).Name("Pic"), "Pic2");

    // Here it swings between Pic1 and Pic2.
    std::vector<Item> loop2 = {{"Sound", "Pic2"}, {"Pic", "Pic1"}};
    ASSERT_FALSE(PlainRule(loop2, "Pic", 1000));
    EXPECT_EQ(Movie(loop2).Name("Pic"), "Pic3");

    std::vector<Item> many;
    for (int n = 1; n <= 50; ++n)
        many.push_back({"Text", "Pic" + std::to_string(n)});
    ASSERT_FALSE(PlainRule(many, "Pic", 1000));
    EXPECT_EQ(Movie(many).Name("Pic"), "Pic51");
}

TEST(Naming, KeepsThePlainResultWhereverThePlainRuleEnds)
{
    // Small random documents over a few kinds and names: every result is
    // unused, and equals the plain rule's wherever that ends.
    std::mt19937 rng(12345);
    const char* kinds[] = {"Pic", "Text", "Sound", "Other"};
    int ended = 0, looped = 0;
    for (int round = 0; round < 400; ++round) {
        std::vector<Item> items(rng() % 7);
        for (Item& it : items) {
            it.kind = kinds[rng() % 4];
            it.name = std::string(kinds[rng() % 3]) + std::to_string(1 + rng() % 4);
        }
        for (const char* k : {"Pic", "Text", "Sound"}) {
            std::string got = Movie(items).Name(k);
            for (const Item& it : items)
                ASSERT_NE(it.name, got);
            if (auto plain = PlainRule(items, k, 200)) {
                ++ended;
                ASSERT_EQ(got, *plain);
            } else {
                ++looped;
            }
        }
    }
    // Both kinds of document were met.
    EXPECT_GT(ended, 100);
    EXPECT_GT(looped, 10);
}

TEST(Naming, ReadsCreateTheNameElementsOfItemsThatLackThem)
{
    TXMLDocument doc;
    doc.LoadFromXML("<Movie><Obj><Demo>d</Demo></Obj></Movie>");
    IXMLMovie movie = GetMovie(doc);
    EXPECT_EQ(NewObjectName(movie.GetObj(), "Pic"), "Pic1");
    EXPECT_EQ(
        doc.SaveToXML(),
        "<Movie><Obj><Demo>d</Demo><ObjTypeName></ObjTypeName><ObjName></ObjName></Obj></Movie>");
}

TEST(Naming, LookingUpClashesGivesWhatTheWalkGives)
{
    // Longer documents with repeated names, other kinds carrying names of
    // the kind asked for, and runs in sequence.
    std::mt19937 rng(777);
    const char* kinds[] = {"Pic", "Text", "Sound"};
    for (int round = 0; round < 300; ++round) {
        std::vector<Item> items(rng() % 40);
        int run = 1;
        for (Item& it : items) {
            it.kind = kinds[rng() % 3];
            if (rng() % 2)
                it.name = "Pic" + std::to_string(run++);
            else
                it.name = std::string(kinds[rng() % 3]) + std::to_string(1 + rng() % 12);
        }
        for (const char* k : kinds)
            ASSERT_EQ(Movie(items).Name(k), WalkedRule(items, k)) << "round " << round;
    }
}
