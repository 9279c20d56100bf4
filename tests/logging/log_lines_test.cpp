#include "logging/log_lines.h"

#include <gtest/gtest.h>

#include <string>

namespace qxs {
namespace {

void add(LogLines& lines, const std::string& text) {
    lines.append(text.data(), text.size());
}

// Pieces join into lines; a reader asks for the lines after the last one it
// saw and never gets half a line.
TEST(LogLines, PiecesJoinIntoNumberedLines) {
    LogLines lines;
    add(lines, "00) \"GET / HTTP/1.0\" ");
    EXPECT_EQ(lines.last_line(), 0u);
    add(lines, " --> 'c:\\x'\r\nsecond\r\nthi");
    EXPECT_EQ(lines.last_line(), 2u);
    EXPECT_EQ(lines.lines_since(0), "00) \"GET / HTTP/1.0\"  --> 'c:\\x'\r\nsecond\r\n");
    EXPECT_EQ(lines.lines_since(1), "second\r\n");
    EXPECT_EQ(lines.lines_since(2), "");
    add(lines, "rd\r\n");
    EXPECT_EQ(lines.lines_since(2), "third\r\n");
}

// At the limit the oldest whole lines go, never the newest text.
TEST(LogLines, DropsTheOldestLinesAtTheLimit) {
    LogLines lines;
    const std::string line = std::string(98, 'x') + "\r\n";
    for (int i = 0; i < 400; ++i) add(lines, line);  // 40,000 characters
    EXPECT_LE(lines.text().size(), LogLines::kCapacity);
    EXPECT_EQ(lines.text().size() % line.size(), 0u);
    EXPECT_EQ(lines.last_line(), 400u);
    add(lines, "newest\r\n");
    EXPECT_EQ(lines.text().substr(lines.text().size() - 8), "newest\r\n");
    EXPECT_EQ(lines.lines_since(400), "newest\r\n");
    // A line longer than the whole log keeps its end.
    add(lines, std::string(LogLines::kCapacity + 10, 'y') + "z");
    EXPECT_EQ(lines.text().size(), LogLines::kCapacity);
    EXPECT_EQ(lines.text().back(), 'z');
}

}  // namespace
}  // namespace qxs
