#include "cgi/image_map.h"

#include <string>

#include <gtest/gtest.h>

#include "support/engine_fixture.h"

namespace qxs::test {
namespace {

class ImageMapTest : public ::testing::Test {
protected:
    // The answer text, prefixed with the result: "1 /a.htm".
    std::string click(const std::string& map, const char* where, size_t size = 1024) {
        fx.home.write("nav.map", map);
        char buffer[1024] = "before";
        int result = search_image_map("c:\\nav.map", where, buffer, size);
        return std::to_string(result) + " " + buffer;
    }

    EngineFixture fx;
};

// Edges count as the rules say; the first region holding the point wins,
// and the last default takes the rest.
TEST_F(ImageMapTest, RegionsAndTheirEdges) {
    const std::string map =
        "# shapes\r\n"
        "rect /a.htm 10,10 0,0\r\nrect /second.htm 5,5 20,20\r\n"
        "circle /c.htm 50,50 50,60\r\n"
        "poly /p.htm 100,0 110,0 110,10 100,10\r\n"
        "POLY /d.htm 200.5,0.5 209.5,0.5 209.5,9.5 200.5,9.5\r\n";
    const char* cases[][2] = {
        {"0,0", "1 /a.htm"},  // corners in any order, edges included
        {" 7 , 9 ", "1 /a.htm"},
        {"11,5", "1 /second.htm"},
        {"56,58", "1 /c.htm"},  // distance exactly 10
        {"57,58", "0 Nothing was found at location [57,58]."},
        {"100,5", "1 /p.htm"},  // left and lower edges inside, right and upper outside
        {"110,5", "0 Nothing was found at location [110,5]."},
        {"105,10", "0 Nothing was found at location [105,10]."},
        {"200,5", "0 Nothing was found at location [200,5]."},
        {"201,5", "1 /d.htm"},
    };
    for (const auto& k : cases) EXPECT_EQ(click(map, k[0]), k[1]) << k[0];
    EXPECT_EQ(click("default /one.htm\nDEFAULT /two.htm\n", "1,1"), "1 /two.htm");
}

// Lines that are not a whole region are skipped; a click that is not a
// point finds nothing and leaves the answer alone.
TEST_F(ImageMapTest, FaultyInput) {
    for (const char* where : {"12", "", ",5"}) {
        EXPECT_EQ(click("default /d.htm\n", where), "0 before") << where;
    }
    const std::string skipped =
        "rect /r.htm 0,0\nrect /r2.htm 0,0 10\ncircle /c.htm 5\npoly /p.htm 0,0 10,0 10,10 0,\n"
        "rect\n; a comment\n\nsquare /s.htm 0,0 10,10\ndefault /d.htm\n";
    EXPECT_EQ(click(skipped, "5,5"), "1 /d.htm");
}

TEST_F(ImageMapTest, HugeNumbersNeitherOverflowNorWrapAround) {
    EXPECT_EQ(click("circle /far.htm 1000000000,1000000000 -1000000000,-1000000000\n",
                    "-1000000000,-1000000000"),
              "1 /far.htm");
    for (const char* where : {"4294967301,5", "-99999999999999999999,5"}) {
        EXPECT_EQ(click("rect /small.htm 0,0 10,10\n", where).substr(0, 1), "0") << where;
    }
}

TEST_F(ImageMapTest, LongLinesAndSmallBuffers) {
    std::string map =
        "rect /long.htm 0,0 10,10" + std::string(1100, ' ') + "\nrect /next.htm 20,20 30,30\n";
    EXPECT_EQ(click(map, "5,5"), "1 /long.htm");
    EXPECT_EQ(fx.shell.take(), "\r\n* * Error, map-file line too long (>1020) \r\n");
    EXPECT_EQ(click(map, "25,25"), "1 /next.htm");
    EXPECT_EQ(click("default /a-rather-long-name.htm\n", "1,1", 8), "1 /a-rath");
    EXPECT_EQ(click("", "1,1", 8), "0 Nothing");
}

}  // namespace
}  // namespace qxs::test
