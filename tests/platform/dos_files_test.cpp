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

time_t local_time(int year, int month, int day, int hour, int minute, int second) {
    struct tm tm {};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    tm.tm_isdst = -1;
    return std::mktime(&tm);
}

void set_mtime(const std::string& path, time_t t) {
    struct timespec times[2] = {{t, 0}, {t, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
}

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

    std::vector<std::string> list(const char* pattern) {
        std::vector<std::string> names;
        Finder finder;
        FindData data{};
        for (bool found = finder.first(pattern, &data); found; found = finder.next(&data)) {
            names.emplace_back(data.name);
        }
        return names;
    }

    TempDir home_;
    std::string saved_home_;
};

TEST_F(DosFiles, NamesTranslateToHostPaths) {
    TempDir other;
    map_drive('D', other.path());
    const std::string& h = home_.path();
    struct Case {
        const char* name;
        std::string host;
    } cases[] = {
        {"c:\\qxs\\logs\\qxs.log", h + "/qxs/logs/qxs.log"},  // default drive: the home
        {"Z:\\x.txt", h + "/x.txt"},
        {"d:\\html\\index.htm", other.path() + "/html/index.htm"},  // --drive d=...
        {"d:index.htm", other.path() + "/index.htm"},
        {"D:", other.path() + "/"},
        {"temp\\cash1.qxs", h + "/temp/cash1.qxs"},  // relative: the home, not the cwd
        {"/no/such/host/path", "/no/such/host/path"},
        {"\\no\\such\\host\\path", "/no/such/host/path"},
    };
    for (const Case& c : cases) EXPECT_EQ(to_host(c.name), c.host) << c.name;

    char small[8];
    EXPECT_FALSE(to_host("c:\\a-long-name", small, sizeof small));
    EXPECT_STREQ(small, "");
}

TEST_F(DosFiles, ExistingComponentsAreFoundWithoutCase) {
    std::string file = home_.write("Html/Docs/ReadMe.TXT", "hello");
    EXPECT_EQ(to_host("c:\\HTML\\docs\\readme.txt"), file);
    EXPECT_TRUE(exists("c:\\html\\DOCS\\README.TXT"));
    EXPECT_TRUE(exists("c:\\html\\DOCS\\"));

    struct stat st {};
    ASSERT_EQ(dos::stat("c:\\html\\docs\\readme.txt", &st), 0);
    EXPECT_EQ(st.st_size, 5);

    int fd = dos::open("c:\\hTmL\\dOcS\\rEaDmE.tXt", O_RDONLY);
    ASSERT_GE(fd, 0);
    char text[8] = {};
    EXPECT_EQ(::read(fd, text, sizeof text), 5);
    ::close(fd);
    EXPECT_STREQ(text, "hello");

    // Below a component found nowhere, the rest keeps its spelling.
    EXPECT_EQ(to_host("c:\\html\\Missing\\README.TXT"), home_.path() + "/Html/Missing/README.TXT");
    EXPECT_EQ(dos::open("c:\\html\\docs\\other.txt", O_RDONLY), -1);
    EXPECT_EQ(errno, ENOENT);
}

TEST_F(DosFiles, CreatingKeepsTheNewNameButFindsExistingOnes) {
    home_.write("Logs/qxs.log", "a");

    // A new file in a directory spelt differently keeps its own spelling.
    FILE* created = dos::fopen("c:\\LOGS\\New.Log", "w");
    ASSERT_NE(created, nullptr);
    std::fclose(created);
    EXPECT_TRUE(TempDir::exists(home_.file("Logs/New.Log")));
    EXPECT_FALSE(TempDir::exists(home_.file("LOGS")));

    // An existing file spelt differently is the one opened, not a twin beside it.
    FILE* log = dos::fopen("c:\\Logs\\QXS.LOG", "a");
    ASSERT_NE(log, nullptr);
    std::fputs("b", log);
    std::fclose(log);
    EXPECT_EQ(TempDir::read(home_.file("Logs/qxs.log")), "ab");
    EXPECT_FALSE(TempDir::exists(home_.file("Logs/QXS.LOG")));

    EXPECT_EQ(dos::open("c:\\logs\\QXS.log", O_CREAT | O_EXCL | O_WRONLY), -1);
    EXPECT_EQ(errno, EEXIST);
}

TEST_F(DosFiles, RenameNeverReplacesAndRemoveFindsTheName) {
    home_.write("old.txt", "old");
    home_.write("kept.txt", "kept");

    EXPECT_EQ(dos::rename("c:\\OLD.TXT", "c:\\kept.txt"), -1);
    EXPECT_EQ(errno, EEXIST);
    EXPECT_EQ(dos::rename("c:\\old.txt", "c:\\KEPT.TXT"), -1);  // the same file, other case
    EXPECT_EQ(errno, EEXIST);
    EXPECT_EQ(TempDir::read(home_.file("kept.txt")), "kept");

    ASSERT_EQ(dos::rename("c:\\Old.Txt", "c:\\new.txt"), 0);
    EXPECT_EQ(TempDir::read(home_.file("new.txt")), "old");
    EXPECT_FALSE(TempDir::exists(home_.file("old.txt")));

    EXPECT_EQ(dos::remove("c:\\NEW.TXT"), 0);
    EXPECT_FALSE(TempDir::exists(home_.file("new.txt")));
    EXPECT_EQ(dos::remove("c:\\new.txt"), -1);
}

TEST(DosWildcards, MatchLikeDos) {
    struct Case {
        const char* pattern;
        const char* name;
        bool match;
    } cases[] = {
        {"*.*", "readme.txt", true},
        {"*.*", "README", true},  // no dot at all
        {"*.*", ".", true},
        {"*.*", "..", true},
        {"*.*", "archive.tar.gz", true},
        {"*", "anything.at.all", true},
        {"*.txt", "READ.ME.TXT", true},
        {"*.txt", "readme.txt.bak", false},
        {"*.txt", "txt", false},
        {"read*", "README.TXT", true},
        {"index.*", "index", true},  // a final ".*" also takes no extension
        {"index.*", "index.htm", true},
        {"index.*", "indexes.htm", false},
        {"?.htm", "a.htm", true},
        {"?.htm", ".htm", false},
        {"?.htm", "ab.htm", false},
        {"qx??????.htm", "QXHEADER.HTM", true},
        {"a*b*c", "aXXbYYbZc", true},
        {"a*b*c", "aXXbYYc.d", false},
        {"*a", "banana", true},
        {"menu.gop", "MENU.GOP", true},
        {"menu.gop", "menu.gopher", false},
        {"", "", true},
        {"", "x", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(wildcard_match(c.pattern, c.name), c.match) << c.pattern << " / " << c.name;
    }
}

TEST_F(DosFiles, FinderListsSortedWithoutCase) {
    home_.write("Dir/beta.txt", "bb");
    home_.write("Dir/Alpha.htm", "a");
    home_.write("Dir/gamma", "");
    home_.write("Dir/Delta.TXT", "dddd");
    home_.write("Dir/Sub/inner.txt", "x");

    std::vector<std::string> all = {".",         "..",    "Alpha.htm", "beta.txt",
                                    "Delta.TXT", "gamma", "Sub"};
    EXPECT_EQ(list("c:\\dir\\*.*"), all);
    EXPECT_EQ(list("c:\\DIR\\*"), all);
    EXPECT_EQ(list("c:\\Dir\\*.TXT"), (std::vector<std::string>{"beta.txt", "Delta.TXT"}));
    EXPECT_EQ(list("dir\\SUB\\*.*"), (std::vector<std::string>{".", "..", "inner.txt"}));
    EXPECT_TRUE(list("c:\\dir\\*.gop").empty());
    EXPECT_TRUE(list("c:\\missing\\*.*").empty());

    map_drive('e', home_.file("Dir/Sub"));
    EXPECT_EQ(list("e:*.txt"), (std::vector<std::string>{"inner.txt"}));
}

TEST_F(DosFiles, FinderGivesSizeKindAndPackedDate) {
    std::string file = home_.write("Dir/Delta.TXT", "dddd");
    home_.write("Dir/Sub/inner.txt", "x");
    set_mtime(file, local_time(1997, 1, 2, 13, 47, 58));

    Finder finder;
    FindData data{};
    ASSERT_TRUE(finder.first("c:\\dir\\d*.*", &data));
    EXPECT_STREQ(data.name, "Delta.TXT");
    EXPECT_FALSE(data.is_directory);
    EXPECT_EQ(data.size, 4u);
    EXPECT_EQ(data.date, (17 << 9) | (1 << 5) | 2);
    EXPECT_EQ(data.time, (13 << 11) | (47 << 5) | 29);
    EXPECT_FALSE(finder.next(&data));

    ASSERT_TRUE(finder.first("c:\\dir\\sub", &data));  // no wildcard: one entry, its own case
    EXPECT_STREQ(data.name, "Sub");
    EXPECT_TRUE(data.is_directory);
}

TEST_F(DosFiles, FindFirstLooksUpAPlainNameDirectly) {
    std::string file = home_.write("Locked/Page.HTM", "<html>");
    set_mtime(file, local_time(2001, 9, 30, 8, 5, 7));

    FindData data{};
    ASSERT_TRUE(find_first("c:\\locked\\page.htm", &data));
    EXPECT_STREQ(data.name, "Page.HTM");
    EXPECT_EQ(data.size, 6u);
    EXPECT_FALSE(data.is_directory);
    EXPECT_EQ(data.date, (21 << 9) | (9 << 5) | 30);
    EXPECT_EQ(data.time, (8 << 11) | (5 << 5) | 3);

    ASSERT_TRUE(find_first("c:\\LOCKED", &data));
    EXPECT_STREQ(data.name, "Locked");
    EXPECT_TRUE(data.is_directory);
    ASSERT_TRUE(find_first("c:\\locked\\*.*", &data));
    EXPECT_STREQ(data.name, ".");
    EXPECT_FALSE(find_first("c:\\locked\\page.html", &data));
    EXPECT_FALSE(find_first("c:\\locked\\*.txt", &data));

    // The name as given wins over a twin that differs in case and that a
    // listing would put first.
    home_.write("Locked/PAGE.HTM", "<html></html>");
    ASSERT_TRUE(find_first("c:\\locked\\Page.HTM", &data));
    EXPECT_STREQ(data.name, "Page.HTM");
    EXPECT_EQ(data.size, 6u);
}

TEST_F(DosFiles, FindFirstNeedsNoListingOfThePlainNamesDirectory) {
    home_.write("Locked/Page.HTM", "<html>");
    FindData data{};
    if (::geteuid() == 0) GTEST_SKIP() << "root reads every directory";
    ASSERT_EQ(::chmod(home_.file("Locked").c_str(), 0311), 0);
    EXPECT_TRUE(find_first("c:\\Locked\\Page.HTM", &data));
    EXPECT_FALSE(find_first("c:\\Locked\\*.HTM", &data));
    ASSERT_EQ(::chmod(home_.file("Locked").c_str(), 0755), 0);
}

TEST(DosPackedDates, BitLayout) {
    struct Case {
        int year, month, day, hour, minute, second;
        uint16_t date, time;
    } cases[] = {
        {1997, 1, 2, 13, 47, 58, 0x2222, 0x6dfd},  // 47 minutes use all six bits
        {1980, 1, 1, 0, 0, 1, 0x0021, 0x0000},     // seconds are stored halved
        {2023, 12, 31, 23, 59, 59, (43 << 9) | (12 << 5) | 31, (23 << 11) | (59 << 5) | 29},
        {2107, 12, 31, 23, 59, 58, 0xff9f, 0xbf7d},  // the last packed day
        {1979, 12, 31, 23, 59, 59, 0x0021, 0x0000},  // before 1980: the first packed day
        {2150, 6, 1, 12, 0, 0, 0xff9f, 0xbf7d},      // past the last: the last
    };
    for (const Case& c : cases) {
        time_t t = local_time(c.year, c.month, c.day, c.hour, c.minute, c.second);
        EXPECT_EQ(packed_date(t), c.date) << c.year << "-" << c.month << "-" << c.day;
        EXPECT_EQ(packed_time(t), c.time) << c.hour << ":" << c.minute << ":" << c.second;
    }
}

class DosTextFile : public DosFiles {
protected:
    // The whole text, read in pieces of `piece` bytes.
    std::string read_all(size_t piece) {
        TextFile file;
        EXPECT_TRUE(file.open("c:\\text.txt"));
        std::string text;
        std::vector<char> buffer(piece);
        while (size_t n = file.read(buffer.data(), piece)) text.append(buffer.data(), n);
        EXPECT_EQ(file.read(buffer.data(), piece), 0u);
        return text;
    }
    // The lines gets() returns with a buffer of `size` bytes.
    std::vector<std::string> lines(int size) {
        TextFile file;
        EXPECT_TRUE(file.open("c:\\TEXT.TXT"));
        std::vector<std::string> out;
        std::vector<char> buffer(static_cast<size_t>(size));
        while (file.gets(buffer.data(), size) != nullptr) out.emplace_back(buffer.data());
        return out;
    }
};

TEST_F(DosTextFile, CrLfBecomesLfAndCtrlZEnds) {
    struct Case {
        std::string raw;
        std::string text;
    } cases[] = {
        {"a\r\nb\r\n", "a\nb\n"},
        {"lone\rcr\n", "lone\rcr\n"},
        {"cr\r\r\nx", "cr\r\nx"},
        {"end\r", "end\r"},
        {"stop\x1ahidden\r\n", "stop"},
        {"cr\r\x1ahidden", "cr\r"},
        {"\x1a", ""},
        {"", ""},
    };
    for (const Case& c : cases) {
        home_.write("text.txt", c.raw);
        EXPECT_EQ(read_all(4096), c.text) << c.raw;
    }
}

TEST_F(DosTextFile, CrLfSplitByThePieceSizeStaysOneLf) {
    // Every piece size puts a buffer boundary between some CR and its LF.
    std::string raw = "ab\r\ncd\r\r\n\r\nef\rg\r\n";
    std::string text = "ab\ncd\r\n\nef\rg\n";
    home_.write("text.txt", raw);
    for (size_t piece = 1; piece <= raw.size(); ++piece) {
        EXPECT_EQ(read_all(piece), text) << "piece " << piece;
    }
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
    EXPECT_EQ(lines(80), (std::vector<std::string>{"ab\n", "cd\r\n", "\n", "ef\rg\n"}));

    // The same across the boundaries of the callers' 1024-byte pieces and of stdio's buffer.
    for (size_t at : {size_t{1023}, size_t{BUFSIZ - 1}}) {
        home_.write("text.txt", std::string(at, 'x') + "\r\ny\r\n");
        EXPECT_EQ(read_all(1024), std::string(at, 'x') + "\ny\n") << at;
        std::vector<std::string> got = lines(static_cast<int>(at) + 1);
        ASSERT_EQ(got.size(), 3u) << at;
        EXPECT_EQ(got[1], "\n");
    }
}

TEST_F(DosTextFile, OpenFailsOnAMissingFileAndReopens) {
    TextFile file;
    EXPECT_FALSE(file.open("c:\\missing.txt"));
    EXPECT_FALSE(file.is_open());
    char buffer[8];
    EXPECT_EQ(file.read(buffer, sizeof buffer), 0u);
    EXPECT_EQ(file.gets(buffer, sizeof buffer), nullptr);

    home_.write("Text.Txt", "one\r\n");
    ASSERT_TRUE(file.open("c:\\text.txt"));
    ASSERT_NE(file.gets(buffer, sizeof buffer), nullptr);
    EXPECT_STREQ(buffer, "one\n");
    EXPECT_EQ(file.gets(buffer, sizeof buffer), nullptr);
    ASSERT_TRUE(file.open("c:\\text.txt"));  // a second open starts again
    EXPECT_EQ(file.read(buffer, sizeof buffer), 4u);
    file.close();
    EXPECT_FALSE(file.is_open());
}

}  // namespace
}  // namespace qxs::dos
