#include "platform/dos_files.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace qxs::dos {
namespace {

using test::TempDir;
using Names = std::vector<std::string>;

class DosFiles : public ::testing::Test {
protected:
    void SetUp() override {
        saved_home_ = home();
        set_home(home_.path());
    }
    void TearDown() override {
        set_home(saved_home_);
        reset_drives();
    }

    TempDir home_;
    std::string saved_home_;
};

// Unmapped drives and relative names resolve in the home, not the cwd.
TEST_F(DosFiles, NamesTranslateToHostPaths) {
    TempDir other;
    map_drive('D', other.path());
    const std::string& h = home_.path();
    const std::string cases[][2] = {
        {"c:\\qxs\\logs\\qxs.log", h + "/qxs/logs/qxs.log"},
        {"d:\\html\\index.htm", other.path() + "/html/index.htm"},
        {"d:index.htm", other.path() + "/index.htm"},
        {"temp\\cash1.qxs", h + "/temp/cash1.qxs"},
        {"/no/such/host/path", "/no/such/host/path"},
    };
    for (const auto& c : cases) EXPECT_EQ(to_host(c[0].c_str()), c[1]) << c[0];
    char small[8];
    EXPECT_FALSE(to_host("c:\\a-long-name", small, sizeof small));
    EXPECT_STREQ(small, "");
}

TEST_F(DosFiles, ExistingNamesAreFoundWithoutCaseNewOnesKeepTheirs) {
    std::string file = home_.write("Html/Docs/ReadMe.TXT", "hello");
    EXPECT_EQ(to_host("c:\\HTML\\docs\\readme.txt"), file);
    EXPECT_TRUE(exists("c:\\html\\DOCS\\"));
    // Below a component found nowhere, the rest keeps its spelling.
    EXPECT_EQ(to_host("c:\\html\\Missing\\README.TXT"), home_.path() + "/Html/Missing/README.TXT");

    // An existing file spelt differently is the one opened, not a twin beside it.
    FILE* log = dos::fopen("c:\\hTmL\\dOcS\\rEaDmE.tXt", "a");
    ASSERT_NE(log, nullptr);
    std::fputs("!", log);
    std::fclose(log);
    EXPECT_EQ(TempDir::read(file), "hello!");
    EXPECT_EQ(dos::open("c:\\html\\docs\\README.txt", O_CREAT | O_EXCL | O_WRONLY), -1);
    EXPECT_EQ(errno, EEXIST);
    int fd = dos::open("c:\\HTML\\DOCS\\New.Txt", O_CREAT | O_WRONLY);
    ASSERT_GE(fd, 0);
    ::close(fd);
    EXPECT_TRUE(TempDir::exists(home_.file("Html/Docs/New.Txt")));
}

TEST(DosWildcards, MatchLikeDos) {
    const char* const matches[][2] = {{"*.*", "README"},
                                      {"*.txt", "READ.ME.TXT"},
                                      {"index.*", "index"},
                                      {"qx???.htm", "QXABC.HTM"}};
    const char* const misses[][2] = {{"*.txt", "readme.txt.bak"},
                                     {"index.*", "indexes.htm"},
                                     {"?.htm", ".htm"},
                                     {"a*b*c", "aXXbYYc.d"}};
    for (const auto& m : matches) EXPECT_TRUE(wildcard_match(m[0], m[1])) << m[0] << " " << m[1];
    for (const auto& m : misses) EXPECT_FALSE(wildcard_match(m[0], m[1])) << m[0] << " " << m[1];
}

TEST_F(DosFiles, FindGivesSizeKindAndDate) {
    const time_t mtime = 1001837107;
    std::string file = home_.write("Locked/Page.HTM", "<html>");
    struct timespec times[2] = {{mtime, 0}, {mtime, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
    Finder finder;
    FindData data{};
    ASSERT_TRUE(finder.first("c:\\locked\\p*.htm", &data));
    EXPECT_STREQ(data.name, "Page.HTM");
    EXPECT_FALSE(data.is_directory);
    EXPECT_EQ(data.size, 6u);
    EXPECT_EQ(data.date, packed_date(mtime));
    EXPECT_EQ(data.time, packed_time(mtime));
    ASSERT_TRUE(finder.first("c:\\LOCKED", &data));  // no wildcard: one entry, its own case
    EXPECT_STREQ(data.name, "Locked");
    EXPECT_TRUE(data.is_directory);

    // A plain name is looked up directly: the directory need not be readable.
    if (::geteuid() == 0) return;  // root reads every directory
    ASSERT_EQ(::chmod(home_.file("Locked").c_str(), 0311), 0);
    EXPECT_TRUE(find_first("c:\\Locked\\Page.HTM", &data));
    EXPECT_FALSE(find_first("c:\\Locked\\*.HTM", &data));
    ASSERT_EQ(::chmod(home_.file("Locked").c_str(), 0755), 0);
}

TEST(DosPackedDates, BitLayout) {
    auto at = [](int year, int month, int day, int hour, int minute, int second) {
        std::tm tm{};
        tm.tm_year = year - 1900, tm.tm_mon = month - 1, tm.tm_mday = day;
        tm.tm_hour = hour, tm.tm_min = minute, tm.tm_sec = second, tm.tm_isdst = -1;
        return std::mktime(&tm);
    };
    // The 47 minutes use all six bits; 2107 is the last year that fits.
    EXPECT_EQ(packed_date(at(1997, 1, 2, 13, 47, 58)), 0x2222);
    EXPECT_EQ(packed_time(at(1997, 1, 2, 13, 47, 58)), 0x6dfd);
    EXPECT_EQ(packed_date(at(2107, 12, 31, 23, 59, 58)), 0xff9f);
    EXPECT_EQ(packed_time(at(2107, 12, 31, 23, 59, 58)), 0xbf7d);
}

// The whole text, read in pieces of `piece` bytes.
std::string read_all(size_t piece) {
    TextFile file;
    EXPECT_TRUE(file.open("c:\\TEXT.TXT"));
    std::string text;
    std::vector<char> buffer(piece);
    while (size_t n = file.read(buffer.data(), piece)) text.append(buffer.data(), n);
    return text;
}

// The lines gets() returns with a buffer of `size` bytes.
Names lines(int size) {
    TextFile file;
    EXPECT_TRUE(file.open("c:\\text.txt"));
    Names out;
    std::vector<char> buffer(static_cast<size_t>(size));
    while (file.gets(buffer.data(), size) != nullptr) out.emplace_back(buffer.data());
    return out;
}

// CR LF arrives as LF and Ctrl-Z ends the data, whatever piece or line
// size puts a buffer boundary between a CR and its LF.
TEST_F(DosFiles, TextFilesTurnCrLfToLfAndEndAtCtrlZ) {
    std::string raw = "ab\r\ncd\r\r\n\r\nef\rg\r\n\r\x1ahidden\r\n";
    std::string text = "ab\ncd\r\n\nef\rg\n\r";
    home_.write("text.txt", raw);
    for (size_t piece = 1; piece <= raw.size(); ++piece)
        EXPECT_EQ(read_all(piece), text) << "piece " << piece;
    for (int size = 2; size <= static_cast<int>(raw.size()); ++size) {
        std::string joined;
        for (const std::string& line : lines(size)) {
            EXPECT_LE(line.size(), static_cast<size_t>(size - 1));
            size_t lf = line.find('\n');
            EXPECT_TRUE(lf == std::string::npos || lf + 1 == line.size()) << line;
            joined += line;
        }
        EXPECT_EQ(joined, text) << "size " << size;
    }
    // The same across the boundaries of the callers' 1024-byte pieces and of stdio's buffer.
    for (size_t at : {size_t{1023}, size_t{BUFSIZ - 1}}) {
        home_.write("text.txt", std::string(at, 'x') + "\r\ny\r\n");
        EXPECT_EQ(read_all(1024), std::string(at, 'x') + "\ny\n") << at;
        EXPECT_EQ(lines(static_cast<int>(at) + 1).at(1), "\n") << at;
    }
    // A file that did not open reads as empty.
    TextFile missing;
    EXPECT_FALSE(missing.open("c:\\missing.txt"));
    char buffer[8];
    EXPECT_EQ(missing.read(buffer, sizeof buffer) + (missing.gets(buffer, 8) != nullptr), 0u);
}

}  // namespace
}  // namespace qxs::dos
