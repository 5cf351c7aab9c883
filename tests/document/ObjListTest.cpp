// The "Obj" list read by index after every kind of change: the list keeps
// its items in an array per document, which must never fall out of step
// with the DOM, whichever binding made the change.

#include <random>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "TestUtil.h"
#include "document/XMLUnit.h"

using namespace quillora;

namespace {

// The items as the DOM holds them, found without the list.
std::vector<pugi::xml_node> Walk(const IXMLMovie& movie)
{
    std::vector<pugi::xml_node> items;
    for (pugi::xml_node n : movie.Node().children("Obj"))
        items.push_back(n);
    return items;
}

std::string Names(const IXMLObjList& list)
{
    std::string s;
    for (int32_t i = 0; i < list.Count(); ++i)
        s += list.Items(i).PeekText({"ObjName"}) + ",";
    return s;
}

// Every index reaches the element the DOM has in that place.
void ExpectInStep(const IXMLMovie& movie, const IXMLObjList& list, const std::string& after)
{
    std::vector<pugi::xml_node> items = Walk(movie);
    ASSERT_EQ(list.Count(), int32_t(items.size())) << "after " << after;
    for (size_t i = 0; i < items.size(); ++i)
        ASSERT_EQ(list.Items(int32_t(i)).Node(), items[i]) << "item " << i << " after " << after;
    std::vector<IXMLObj> all = list.AllItems();
    ASSERT_EQ(all.size(), items.size()) << "after " << after;
    for (size_t i = 0; i < items.size(); ++i)
        ASSERT_EQ(all[i].Node(), items[i]) << "item " << i << " after " << after;
}

} // namespace

TEST(ObjList, EveryChangeThroughAnyBindingKeepsReadsByIndexRight)
{
    // Random changes, made through two bindings of the same document (as
    // the editor and the export hold theirs), each read back through both.
    TXMLDocument doc;
    doc.LoadFromXML("<Movie><Rate>15</Rate></Movie>");
    IXMLMovie first = GetMovie(doc);
    IXMLMovie second = GetMovie(doc);
    std::mt19937 rng(2024);
    std::vector<std::vector<std::string>> saved; // item texts, as undo keeps them
    int next = 0;
    for (int step = 0; step < 1500; ++step) {
        const IXMLObjList list = (rng() % 2 ? first : second).GetObj();
        const int32_t count = list.Count();
        std::string op;
        switch (rng() % 9) {
        case 0:
        case 1:
            op = "Add";
            list.Add().SetObjName("o" + std::to_string(next++));
            // Settings touched late land after the items, between them and
            // the next one added.
            if (rng() % 8 == 0)
                first.SetTimes(step);
            break;
        case 2:
            op = "Insert";
            list.Insert(int32_t(rng() % uint32_t(count + 1)))
                .SetObjName("o" + std::to_string(next++));
            break;
        case 3:
            op = "Delete";
            if (count > 0)
                list.Delete(int32_t(rng() % uint32_t(count)));
            break;
        case 4:
            op = "Remove";
            if (count > 0) {
                const int32_t at = int32_t(rng() % uint32_t(count));
                EXPECT_EQ(list.Remove(list.Items(at)), at);
            }
            break;
        case 5: {
            op = "Arrange";
            std::vector<IXMLObj> order = list.AllItems();
            std::shuffle(order.begin(), order.end(), rng);
            list.Arrange(order);
            break;
        }
        case 6: {
            op = "Snapshot";
            std::vector<std::string> texts;
            for (const IXMLObj& obj : list.AllItems())
                texts.push_back(obj.SaveToXML());
            saved.push_back(texts);
            break;
        }
        case 7: {
            op = "Restore";
            if (saved.empty())
                break;
            const std::vector<std::string>& texts = saved[rng() % saved.size()];
            list.Restore(std::vector<std::string_view>(texts.begin(), texts.end()));
            break;
        }
        case 8:
            op = "Clear";
            if (rng() % 10 == 0)
                list.Clear();
            break;
        }
        ExpectInStep(first, first.GetObj(), op + " at step " + std::to_string(step));
        ExpectInStep(second, second.GetObj(), op + " at step " + std::to_string(step));
        if (HasFatalFailure())
            return;
    }
}

TEST(ObjList, UndoOfAnEditIsReadBackByIndex)
{
    // What the editor does: keep the items, reorder and delete, then put
    // the kept items back; reading by index sees the restored objects.
    TXMLDocument doc;
    doc.LoadFromXML("<Movie><Obj><ObjName>a</ObjName></Obj><Rate>15</Rate>"
                    "<Obj><ObjName>b</ObjName></Obj><Obj><ObjName>c</ObjName></Obj></Movie>");
    IXMLMovie movie = GetMovie(doc);
    IXMLObjList list = movie.GetObj();
    std::vector<std::string> before;
    for (const IXMLObj& obj : list.AllItems())
        before.push_back(obj.SaveToXML());

    std::vector<IXMLObj> items = list.AllItems();
    list.Arrange({items[2], items[1], items[0]});
    EXPECT_EQ(Names(list), "c,b,a,");
    list.Delete(1);
    EXPECT_EQ(Names(list), "c,a,");

    list.Restore(std::vector<std::string_view>(before.begin(), before.end()));
    EXPECT_EQ(Names(list), "a,b,c,");
    ExpectInStep(movie, list, "Restore");
    // A restored item is a new element; the old binding of its place is not.
    EXPECT_NE(list.Items(1).Node(), items[1].Node());
}

TEST(ObjList, ChangesPastTheListAreSeenAfterItemsChanged)
{
    TXMLDocument doc;
    doc.LoadFromXML(
        "<Movie><Obj><ObjName>a</ObjName></Obj><Obj><ObjName>b</ObjName></Obj></Movie>");
    IXMLMovie movie = GetMovie(doc);
    IXMLObjList list = movie.GetObj();
    EXPECT_EQ(Names(list), "a,b,");
    pugi::xml_node root = doc.DOM().document_element();
    root.remove_child(root.first_child());
    root.append_child("Obj").append_child("ObjName").text().set("z");
    list.ItemsChanged();
    EXPECT_EQ(Names(list), "b,z,");
    ExpectInStep(movie, list, "a change through the DOM");
}

TEST(ObjList, ANewDocumentStartsWithItsOwnItems)
{
    // Loading, reopening and closing give the document a new DOM; bindings
    // of the old one go on reading the old one.
    quillora::test::TempDir dir;
    const std::string path = dir / "p.qlv";
    quillora::test::WriteFile(path, "<Movie><Obj><ObjName>file</ObjName></Obj></Movie>");
    TXMLDocument doc;
    doc.LoadFromXML(
        "<Movie><Obj><ObjName>a</ObjName></Obj><Obj><ObjName>b</ObjName></Obj></Movie>");
    IXMLObjList old = GetMovie(doc).GetObj();
    EXPECT_EQ(Names(old), "a,b,");

    doc.LoadFromXML("<Movie><Obj><ObjName>c</ObjName></Obj></Movie>");
    EXPECT_EQ(Names(GetMovie(doc).GetObj()), "c,");
    EXPECT_EQ(Names(old), "a,b,");

    doc.SetFileName(path);
    IXMLObjList fromFile = GetMovie(doc).GetObj();
    EXPECT_EQ(Names(fromFile), "file,");
    fromFile.Add().SetObjName("more");
    doc.SetActive(false);
    EXPECT_EQ(Names(GetMovie(doc).GetObj()), "file,");
    EXPECT_EQ(Names(fromFile), "file,more,");

    TXMLDocument blank;
    IXMLObjList none = GetMovie(blank).GetObj();
    EXPECT_EQ(none.Count(), 0);
    none.Add().SetObjName("x");
    EXPECT_EQ(Names(none), "x,");
}

TEST(ObjList, ReadersOnSeveralThreadsShareOneDocument)
{
    // The first reads of a loaded document build its items; readers that
    // meet there must each see every item.
    std::string xml = "<Movie>";
    for (int i = 0; i < 500; ++i)
        xml += "<Obj><ObjName>o" + std::to_string(i) + "</ObjName></Obj>";
    xml += "</Movie>";
    for (int round = 0; round < 5; ++round) {
        TXMLDocument doc;
        doc.LoadFromXML(xml);
        IXMLMovie movie = GetMovie(doc);
        std::vector<int> wrong(4, 0);
        std::vector<std::thread> readers;
        for (int t = 0; t < 4; ++t) {
            readers.emplace_back([&, t] {
                IXMLObjList list = movie.GetObj();
                for (int32_t i = list.Count() - 1; i >= 0; --i)
                    if (list.Items(i).PeekText({"ObjName"}) != "o" + std::to_string(i))
                        ++wrong[size_t(t)];
                if (list.Count() != 500)
                    ++wrong[size_t(t)];
            });
        }
        for (std::thread& r : readers)
            r.join();
        EXPECT_EQ(wrong, std::vector<int>(4, 0));
    }
}
