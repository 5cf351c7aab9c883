#include "document/XMLUnit.h"

#include <gtest/gtest.h>

using namespace quillora;

TEST(XMLUnit, SmokeReadWrite) {
    TXMLDocument doc;
    doc.LoadFromXML("<Movie><Width>640</Width></Movie>");
    IXMLMovie movie = GetMovie(doc);
    EXPECT_EQ(movie.GetWidth(), 640);
    movie.SetRate(15);
    IXMLObj obj = movie.GetObj().Add();
    obj.SetObjName("Pic1");
    EXPECT_EQ(movie.GetObj().Count(), 1);
    EXPECT_EQ(doc.SaveToXML(), "<Movie><Width>640</Width><Rate>15</Rate><Obj><ObjName>Pic1</ObjName></Obj></Movie>");
}
