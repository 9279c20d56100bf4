// Image-map clicks against rectangles, circles, polygons and defaults.
#include "cgi/image_map.h"

#include <string>

#include <gtest/gtest.h>

#include "platform/dos_files.h"
#include "support/capture_shell.h"
#include "support/temp_dir.h"

namespace qxs::test {
namespace {

class ImageMapTest : public ::testing::Test {
protected:
    ImageMapTest() {
        dos::reset_drives();
        dos::set_home(home.path());
    }
    ~ImageMapTest() override { dos::set_home("."); }

    struct Answer {
        int result;
        std::string text;
    };
    Answer click(const std::string& map, const char* where, size_t size = 1024) {
        home.write("nav.map", map);
        char buffer[1024];
        std::string("before").copy(buffer, 6);
        buffer[6] = '\0';
        int result = search_image_map("c:\\nav.map", where, buffer, size);
        return {result, buffer};
    }

    TempDir home;
    CaptureShell shell;
};

TEST_F(ImageMapTest, RegionsAndTheirEdges) {
    const std::string map =
        "# shapes\r\n"
        "rect /a.htm 10,10 0,0\r\n"
        "circle /c.htm 50,50 50,60\r\n"
        "poly /p.htm 100,0 110,0 110,10 100,10\r\n"
        "POLY /d.htm 200.5,0.5 209.5,0.5 209.5,9.5 200.5,9.5\r\n";
    struct Case {
        const char* click;
        int result;
        const char* text;
    };
    const Case cases[] = {
        {"0,0", 1, "/a.htm"},  // corners in any order, edges included
        {"10,10", 1, "/a.htm"},
        {"11,5", 0, "Nothing was found at location [11,5]."},
        {"50,60", 1, "/c.htm"},
        {"56,58", 1, "/c.htm"},  // distance exactly 10
        {"57,58", 0, "Nothing was found at location [57,58]."},
        {"100,5", 1, "/p.htm"},                                  // left and lower edges inside
        {"110,5", 0, "Nothing was found at location [110,5]."},  // right and upper outside
        {"105,0", 1, "/p.htm"},
        {"105,10", 0, "Nothing was found at location [105,10]."},
        {"200,5", 0, "Nothing was found at location [200,5]."},  // decimal vertices
        {"201,5", 1, "/d.htm"},
        {"7,9", 1, "/a.htm"},
        {" 7 , 9 ", 1, "/a.htm"},
    };
    for (const Case& k : cases) {
        Answer a = click(map, k.click);
        EXPECT_EQ(a.result, k.result) << k.click;
        EXPECT_EQ(a.text, k.text) << k.click;
    }
}

TEST_F(ImageMapTest, DefaultsAndOrder) {
    const std::string map =
        "default /d.htm\n"
        "rect /first.htm 0,0 10,10\n"
        "rect /second.htm 5,5 20,20\n";
    EXPECT_EQ(click(map, "7,7").text, "/first.htm");  // overlapping: the earlier wins
    EXPECT_EQ(click(map, "15,15").text, "/second.htm");
    Answer missed = click(map, "30,30");
    EXPECT_EQ(missed.result, 1);
    EXPECT_EQ(missed.text, "/d.htm");

    Answer later = click("default /one.htm\nDEFAULT /two.htm\n", "1,1");
    EXPECT_EQ(later.result, 1);
    EXPECT_EQ(later.text, "/two.htm");
}

TEST_F(ImageMapTest, NoClickLeavesTheBufferAlone) {
    for (const char* where : {"12", "", ",", "12,", ",5"}) {
        Answer a = click("default /d.htm\n", where);
        EXPECT_EQ(a.result, 0) << where;
        EXPECT_EQ(a.text, "before") << where;
    }
}

TEST_F(ImageMapTest, AMissingMapFileIsMinusOne) {
    char buffer[64] = "";
    EXPECT_EQ(search_image_map("c:\\none.map", "1,2", buffer, sizeof buffer), -1);
    EXPECT_STREQ(buffer, "Nothing was found at location [1,2].");
}

TEST_F(ImageMapTest, IncompleteAndForeignLinesAreSkipped) {
    const std::string map =
        "rect /r.htm 0,0\n"
        "rect /r2.htm 0,0 10\n"
        "circle /c.htm 5\n"
        "poly /p.htm 0,0 10,0 10,10 0,\n"
        "rect\n"
        "; a comment\n"
        "\n"
        "square /s.htm 0,0 10,10\n"
        "default /d.htm\n";
    Answer a = click(map, "5,5");
    EXPECT_EQ(a.result, 1);
    EXPECT_EQ(a.text, "/d.htm");
}

TEST_F(ImageMapTest, HugeNumbersNeitherOverflowNorWrapAround) {
    const std::string map =
        "circle /far.htm 1000000000,1000000000 -1000000000,-1000000000\n"
        "rect /small.htm 0,0 10,10\n";
    EXPECT_EQ(click(map, "-1000000000,-1000000000").text, "/far.htm");
    // A click far outside never lands in the small rectangle by wrapping.
    EXPECT_EQ(click("rect /small.htm 0,0 10,10\n", "4294967301,5").result, 0);
    EXPECT_EQ(click("rect /small.htm 0,0 10,10\n", "-99999999999999999999,5").result, 0);
}

TEST_F(ImageMapTest, LongLinesAreReportedAndReadInPieces) {
    std::string map =
        "rect /long.htm 0,0 10,10" + std::string(1100, ' ') + "\nrect /next.htm 20,20 30,30\n";
    EXPECT_EQ(click(map, "5,5").text, "/long.htm");
    EXPECT_EQ(shell.take(), "\r\n* * Error, map-file line too long (>1020) \r\n");
    EXPECT_EQ(click(map, "25,25").text, "/next.htm");
}

TEST_F(ImageMapTest, TheResultIsCutToItsBuffer) {
    EXPECT_EQ(click("default /a-rather-long-name.htm\n", "1,1", 8).text, "/a-rath");
    EXPECT_EQ(click("", "1,1", 8).text, "Nothing");
}

TEST(PointInPolygon, DegenerateShapes) {
    const double xs[] = {0, 10, 0};
    const double ys[] = {0, 0, 10};
    EXPECT_EQ(point_in_polygon(0, xs, ys, 1, 1), 0);
    EXPECT_EQ(point_in_polygon(1, xs, ys, 0, 0), 0);
    EXPECT_EQ(point_in_polygon(3, xs, ys, 1, 1), 1);
    EXPECT_EQ(point_in_polygon(3, xs, ys, 6, 6), 0);
}

}  // namespace
}  // namespace qxs::test
