#include "platform/profile.h"

#include <dirent.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <climits>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "platform/dos_files.h"
#include "platform/profile_text.h"
#include "support/temp_dir.h"

namespace qxs::profile {
namespace {

class Profile : public ::testing::Test {
protected:
    void SetUp() override { forget_all(); }
    void TearDown() override {
        forget_all();
        dos::reset_drives();
    }

    // get_string's text and count, with room for `size` bytes.
    struct Read {
        std::string text;
        int count;
    };
    Read get(const std::string& file, const char* section, const char* key,
             const char* fallback = "dflt", int size = 256) {
        std::vector<char> out(static_cast<size_t>(size) + 1, '#');
        int count = get_string(section, key, fallback, out.data(), size, file.c_str());
        return Read{size > 0 ? std::string(out.data()) : std::string(), count};
    }

    std::vector<std::string> names_in(const std::string& directory) {
        std::vector<std::string> names;
        if (DIR* d = opendir(directory.c_str())) {
            while (dirent* e = readdir(d)) {
                std::string name = e->d_name;
                if (name != "." && name != "..") names.push_back(name);
            }
            closedir(d);
        }
        return names;
    }

    static ino_t inode_of(const std::string& path) {
        struct stat st {};
        return stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
    }

    test::TempDir dir;
};

const char kSample[] =
    "; a comment=ignored\n"
    "orphan=before any section\n"
    "[Options]\n"
    "Port=80\n"
    "  Spaced Key   =   spaced value   \n"
    "empty=\n"
    "noequals\n"
    "Dup=first\n"
    "dup=second\n"
    ";commented=x\n"
    "  ; indented=comment\n"
    "\n"
    "[ options ]\n"
    "Port=8080\n"
    "Later=hidden\n"
    "[Other]\n"
    "Port=70\n"
    "http://a/?q=1&b=2=5 01/Jan/1997\n"
    "[Odd]Name]\n"
    "k=v\n";

std::string with_crlf(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

TEST_F(Profile, ReadsByTheWindowsRules) {
    struct Case {
        const char* section;
        const char* key;
        const char* value;  // nullptr: missing, the fallback comes back
    } cases[] = {
        {"Options", "Port", "80"},
        {"OPTIONS", "pORT", "80"},
        {" Options ", "  Port\t", "80"},
        {"Options", "spaced key", "spaced value"},
        {"Options", "empty", ""},
        {"Options", "noequals", ""},
        {"Options", "DUP", "first"},
        {"Options", "commented", nullptr},
        {"Options", "; indented", nullptr},
        {"Options", "Later", nullptr},  // only in the repeated section
        {"Other", "Port", "70"},
        {"Other", "http://a/?q=1&b=2", "5 01/Jan/1997"},
        {"Other", "http://a/?q", "1&b=2=5 01/Jan/1997"},
        {"Odd]Name", "k", "v"},
        {"", "orphan", nullptr},
        {"Missing", "Port", nullptr},
    };
    for (const std::string& content : {std::string(kSample), with_crlf(kSample)}) {
        std::string file = dir.write("sample.ini", content);
        forget_all();
        for (const Case& c : cases) {
            Read r = get(file, c.section, c.key);
            std::string expected = c.value != nullptr ? c.value : "dflt";
            EXPECT_EQ(r.text, expected) << c.section << "/" << c.key;
            EXPECT_EQ(r.count, static_cast<int>(expected.size())) << c.section << "/" << c.key;
        }
    }
}

TEST_F(Profile, StringsAreCutToTheWidthAndCounted) {
    std::string file = dir.write("w.ini", "[s]\r\nk=abcdef\r\n");
    struct Case {
        const char* key;
        const char* fallback;
        int size;
        const char* text;
        int count;
    } cases[] = {
        {"k", "x", 10, "abcdef", 6}, {"k", "x", 7, "abcdef", 6},         {"k", "x", 6, "abcde", 5},
        {"k", "x", 1, "", 0},        {"none", "fallback", 5, "fall", 4}, {"none", "fb", 9, "fb", 2},
        {"none", nullptr, 9, "", 0},
    };
    for (const Case& c : cases) {
        Read r = get(file, "s", c.key, c.fallback, c.size);
        EXPECT_EQ(r.text, c.text) << c.key << " " << c.size;
        EXPECT_EQ(r.count, c.count) << c.key << " " << c.size;
    }
    char untouched[2] = {'#', '\0'};
    EXPECT_EQ(get_string("s", "k", "x", untouched, 0, file.c_str()), 0);
    EXPECT_EQ(untouched[0], '#');
    EXPECT_EQ(get(dir.file("nofile.ini"), "s", "k", "gone").text, "gone");
}

TEST_F(Profile, IntegersTakeTheLeadingNumber) {
    struct Case {
        const char* value;  // nullptr: the key is missing
        int expected;
    } cases[] = {
        {"12abc", 12},
        {"abc", 0},
        {"-5", -5},
        {"+7", 7},
        {"  42  ", 42},
        {"007", 7},
        {"1 2", 1},
        {"0x10", 0},
        {"-", 0},
        {"2147483647", INT_MAX},
        {"2147483648", INT_MAX},
        {"99999999999999999999", INT_MAX},
        {"-2147483648", INT_MIN},
        {"-99999999999999999999", INT_MIN},
        {"", -1},
        {nullptr, -1},
    };
    std::string content = "[n]\r\n";
    for (size_t i = 0; i < std::size(cases); ++i) {
        if (cases[i].value != nullptr)
            content += "k" + std::to_string(i) + "=" + cases[i].value + "\r\n";
    }
    std::string file = dir.write("n.ini", content);
    for (size_t i = 0; i < std::size(cases); ++i) {
        std::string key = "k" + std::to_string(i);
        EXPECT_EQ(get_int("N", key.c_str(), -1, file.c_str()), cases[i].expected)
            << (cases[i].value ? cases[i].value : "(missing)");
    }
}

TEST_F(Profile, AWriteChangesOnlyItsLine) {
    struct Case {
        const char* before;
        const char* section;
        const char* key;
        const char* value;
        const char* after;
    } cases[] = {
        // Existing keys, same length and longer, in both line ends.
        {"[a]\r\nk=1\r\nz=9\r\n", "a", "k", "2", "[a]\r\nk=2\r\nz=9\r\n"},
        {"[a]\r\nk=1\r\nz=9\r\n", "a", "k", "10", "[a]\r\nk=10\r\nz=9\r\n"},
        {"[a]\nk=100\nz=9\n", "a", "k", "7", "[a]\nk=7\nz=9\n"},
        {"[A]\n  Key = old \n", "a", "KEY", "new", "[A]\nKey=new\n"},
        {"[a]\r\nk=1", "a", "k", "345", "[a]\r\nk=345"},
        {"[a]\r\nk=1", "a", "k", "5", "[a]\r\nk=5"},
        {"; head\r\n[a]\r\n x = 1 ; kept\r\n\ttab=1\r\n\x1a", "a", "tab", "2",
         "; head\r\n[a]\r\n x = 1 ; kept\r\ntab=2\r\n\x1a"},
        {"[a]\r\nk=1\r\n[b]\r\nk=1\r\n", "b", "K", "2", "[a]\r\nk=1\r\n[b]\r\nk=2\r\n"},
        {"[a]\nk=1\nk=2\n", "a", "k", "3", "[a]\nk=3\nk=2\n"},
        // A key holding '=' is found again rather than added once more.
        {"[/a.htm]\r\nhttp://x/?q=1=3 d\r\n", "/a.htm", "http://x/?q=1", "4 d",
         "[/a.htm]\r\nhttp://x/?q=1=4 d\r\n"},
        // New keys: after the section's last non-blank line.
        {"[a]\r\nx=1\r\n\r\n\r\n[b]\r\ny=2\r\n", "a", "k", "v",
         "[a]\r\nx=1\r\nk=v\r\n\r\n\r\n[b]\r\ny=2\r\n"},
        {"[a]\nx=1\n; note\n\n", "a", "k", "v", "[a]\nx=1\n; note\nk=v\n\n"},
        {"[a]\nx=1", "a", "k", "v", "[a]\nx=1\nk=v\n"},
        {"[a]\n[b]\n", "A", "k", "v", "[a]\nk=v\n[b]\n"},
        {"[a]\nx=1\n[b]\n[A]\nk=old\n", "a", "k", "v", "[a]\nx=1\nk=v\n[b]\n[A]\nk=old\n"},
        {"top=1\n[a]\n", "a", "top", "2", "top=1\n[a]\ntop=2\n"},
        // New sections: at the end of the file.
        {"[a]\r\nx=1\r\n", "b", "k", "v", "[a]\r\nx=1\r\n[b]\r\nk=v\r\n"},
        {"[a]\nx=1", "b", "k", "v", "[a]\nx=1\n[b]\nk=v\n"},
        {"[a]\nx=1\n\n", "b", "k", "v", "[a]\nx=1\n\n[b]\nk=v\n"},
        {"", "b", "k", "v", "[b]\r\nk=v\r\n"},
        {"[a]\nx=1\n", "odd]name", "k", "v", "[a]\nx=1\n[odd]name]\nk=v\n"},
    };
    int n = 0;
    for (const Case& c : cases) {
        std::string file = dir.write("case" + std::to_string(++n) + ".ini", c.before);
        get(file, "a", "x");  // the file is cached before the write
        ASSERT_TRUE(write_string(c.section, c.key, c.value, file.c_str())) << n;
        EXPECT_EQ(test::TempDir::read(file), c.after) << "case " << n;
        // The cache and a fresh parse of the disk agree.
        EXPECT_EQ(get(file, c.section, c.key).text, c.value) << "case " << n;
        forget_all();
        EXPECT_EQ(get(file, c.section, c.key).text, c.value) << "case " << n;
    }
}

TEST_F(Profile, EqualsSignsInValuesKeepTheIndexTrue) {
    std::string file = dir.write("eq.ini", "[a]\nk=x=1\nj=2\n");
    ASSERT_TRUE(write_string("a", "k", "y=2", file.c_str()));  // same length, '=' moves
    EXPECT_EQ(test::TempDir::read(file), "[a]\nk=y=2\nj=2\n");
    EXPECT_EQ(get(file, "a", "k=x").text, "dflt");
    EXPECT_EQ(get(file, "a", "k=y").text, "2");
    ASSERT_TRUE(write_string("a", "j", "3", file.c_str()));
    EXPECT_EQ(get(file, "a", "j").text, "3");
    EXPECT_EQ(get(file, "a", "k").text, "y=2");
}

TEST_F(Profile, ANewFileHasWindowsLineEnds) {
    std::string file = dir.file("new.ini");
    ASSERT_TRUE(write_string("s", "k", "v", file.c_str()));
    ASSERT_TRUE(write_string("s", "k2", "w", file.c_str()));
    ASSERT_TRUE(write_string("t", "k", "x", file.c_str()));
    EXPECT_EQ(test::TempDir::read(file), "[s]\r\nk=v\r\nk2=w\r\n[t]\r\nk=x\r\n");
}

TEST_F(Profile, OnlyLengthChangesReplaceTheFile) {
    std::string file = dir.write("r.ini", "[a]\r\nk=5\r\n");
    ASSERT_EQ(chmod(file.c_str(), 0640), 0);
    ino_t first = inode_of(file);

    ASSERT_TRUE(write_string("a", "k", "6", file.c_str()));
    EXPECT_EQ(inode_of(file), first);
    EXPECT_EQ(test::TempDir::read(file), "[a]\r\nk=6\r\n");

    ASSERT_TRUE(write_string("a", "k", "10", file.c_str()));
    EXPECT_NE(inode_of(file), first);
    EXPECT_EQ(test::TempDir::read(file), "[a]\r\nk=10\r\n");
    struct stat st {};
    ASSERT_EQ(stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(names_in(dir.path()), std::vector<std::string>{"r.ini"});
}

TEST_F(Profile, AFileChangedElsewhereIsReadAgain) {
    std::string file = dir.file("c.ini");
    ASSERT_TRUE(write_string("a", "k", "1111", file.c_str()));
    EXPECT_EQ(get(file, "a", "k").text, "1111");

    std::ofstream(file, std::ios::binary | std::ios::trunc) << "[a]\r\nk=2222\r\n";  // same size
    EXPECT_EQ(get(file, "a", "k").text, "2222");

    std::ofstream(file, std::ios::binary | std::ios::trunc) << "[a]\nk=3\nj=5\n";
    EXPECT_EQ(get(file, "a", "k").text, "3");
    // A write starts from what is on disk now, not from the cache.
    ASSERT_TRUE(write_string("a", "k", "4", file.c_str()));
    EXPECT_EQ(test::TempDir::read(file), "[a]\nk=4\nj=5\n");

    ASSERT_EQ(std::remove(file.c_str()), 0);
    EXPECT_EQ(get(file, "a", "k").text, "dflt");
}

// The counter files are read and written on every request: neither our own
// writes nor flush may cost a fresh parse, while any outside change must.
TEST_F(Profile, TheCacheHoldsUntilTheFileChanges) {
    std::string file = dir.write("k.ini", "[a]\r\nk=1\r\n");
    auto parses_for = [&](auto&& action) {
        unsigned long before = ProfileText::assigned();
        action();
        return ProfileText::assigned() - before;
    };
    auto read = [&] { EXPECT_NE(get(file, "a", "k").text, "dflt"); };
    EXPECT_EQ(parses_for(read), 1u);
    EXPECT_EQ(parses_for(read), 0u);
    EXPECT_EQ(parses_for([&] { ASSERT_TRUE(write_string("a", "k", "2", file.c_str())); }), 0u);
    EXPECT_EQ(parses_for(read), 0u);
    EXPECT_EQ(parses_for([&] { ASSERT_TRUE(write_string("a", "k", "30", file.c_str())); }), 1u);
    EXPECT_EQ(parses_for([&] { ASSERT_TRUE(write_string("a", "j", "4", file.c_str())); }), 1u);
    EXPECT_EQ(parses_for(read), 0u);
    flush(file.c_str());
    EXPECT_EQ(parses_for(read), 0u);
    EXPECT_EQ(get(file, "a", "k").text, "30");
    forget_all();
    EXPECT_EQ(parses_for(read), 1u);
}

// A batch trusts the cache after its first check, and leaves behind a file
// whose next outside change is still seen.
TEST_F(Profile, ABatchChecksEachFileOnce) {
    std::string file = dir.write("b.ini", "[t]\r\nn=10\r\nm=20\r\n");
    {
        Batch batch;
        EXPECT_EQ(get(file, "t", "n").text, "10");
        ASSERT_TRUE(write_string("t", "n", "11", file.c_str()));
        ASSERT_TRUE(write_string("t", "m", "21", file.c_str()));
        ASSERT_TRUE(write_string("t", "k", "new", file.c_str()));  // a replace inside the batch
        ASSERT_TRUE(write_string("t", "n", "12", file.c_str()));
        EXPECT_EQ(get(file, "t", "m").text, "21");
    }
    EXPECT_EQ(test::TempDir::read(file), "[t]\r\nn=12\r\nm=21\r\nk=new\r\n");
    unsigned long before = ProfileText::assigned();
    EXPECT_EQ(get(file, "t", "n").text, "12");
    EXPECT_EQ(ProfileText::assigned(), before);  // our own writes cost no new parse
    std::ofstream(file, std::ios::binary | std::ios::trunc) << "[t]\r\nn=99\r\nm=21\r\nk=new\r\n";
    EXPECT_EQ(get(file, "t", "n").text, "99");
}

TEST_F(Profile, ThousandsOfKeysStayExact) {
    const int kKeys = 20000;
    std::vector<int> counts(kKeys);
    auto line = [&](int i) {
        return "/page" + std::to_string(i) + ".htm=" + std::to_string(counts[i]) +
               " 02/Jan/1980:02:03:55 -0700\r\n";
    };
    auto whole = [&] {
        std::string text = "[Commands]\r\n";
        for (int i = 0; i < kKeys; ++i) text += line(i);
        return text + "[Totals]\r\nConnects=0\r\n";
    };
    for (int i = 0; i < kKeys; ++i) counts[i] = i % 10;
    std::string file = dir.write("counts.qxs", whole());

    // Counters going up by one: mostly in place, sometimes a digit longer.
    for (int i = 0; i < kKeys; i += 997) {
        for (int hit = 0; hit < 3; ++hit) {
            std::string key = "/PAGE" + std::to_string(i) + ".HTM";
            int count = get_int("commands", key.c_str(), -1, file.c_str());
            ASSERT_EQ(count, counts[i]) << key;
            counts[i] = count + 1;
            std::string value = std::to_string(counts[i]) + " 02/Jan/1980:02:03:55 -0700";
            ASSERT_TRUE(write_string("Commands", key.c_str(), value.c_str(), file.c_str()));
        }
    }
    EXPECT_EQ(test::TempDir::read(file), whole());
    forget_all();
    for (int i = 0; i < kKeys; i += 7) {
        std::string key = "/page" + std::to_string(i) + ".htm";
        ASSERT_EQ(get_int("Commands", key.c_str(), -1, file.c_str()), counts[i]) << key;
    }
}

TEST_F(Profile, ManyFilesOutgrowTheCache) {
    std::vector<std::string> files;
    for (int i = 0; i < 40; ++i) {
        files.push_back(dir.file("f" + std::to_string(i) + ".ini"));
        ASSERT_TRUE(write_string("s", "n", std::to_string(i).c_str(), files.back().c_str()));
    }
    for (int round = 0; round < 2; ++round) {
        for (int i = 39; i >= 0; --i) {
            EXPECT_EQ(get_int("s", "n", -1, files[static_cast<size_t>(i)].c_str()), i);
        }
    }
}

TEST_F(Profile, DosNamesFindTheFileWithoutCase) {
    dos::map_drive('c', dir.path());
    dir.write("QXS/Counts.qxs", "[Totals]\r\nConnects=41\r\n");
    EXPECT_EQ(get_int("Totals", "Connects", 0, "c:\\qxs\\counts.qxs"), 41);
    ASSERT_TRUE(write_string("Totals", "Connects", "42", "C:\\QXS\\COUNTS.QXS"));
    EXPECT_EQ(test::TempDir::read(dir.file("QXS/Counts.qxs")), "[Totals]\r\nConnects=42\r\n");
    ASSERT_TRUE(write_string("s", "k", "v", "c:\\qxs\\referer.qxs"));
    EXPECT_TRUE(test::TempDir::exists(dir.file("QXS/referer.qxs")));
}

TEST_F(Profile, WritesThatCannotBeDoneFail) {
    std::string plain = dir.write("plain", "x");
    EXPECT_FALSE(write_string("s", "k", "v", (plain + "/sub.ini").c_str()));
    EXPECT_FALSE(write_string("s", "k", "v", dir.file("nodir/x.ini").c_str()));
    EXPECT_FALSE(write_string("s", "k", "v", dir.path().c_str()));
    EXPECT_FALSE(test::TempDir::exists(dir.file("nodir")));

    // What could not be read back as written is refused.
    const std::string before = "[s]\r\nk=1\r\n";
    std::string file = dir.write("keep.ini", before);
    struct Case {
        const char* section;
        const char* key;
        const char* value;
    } refused[] = {
        {"s", "k", "1\r\n[t]"}, {"s", "k\n", "1"},   {"s\r", "k", "1"},
        {"s", ";k", "1"},       {"s", " [k", "1"},   {"s", "  ", "1"},
        {nullptr, "k", "1"},    {"s", nullptr, "1"}, {"s", "k", nullptr},
    };
    for (const Case& c : refused)
        EXPECT_FALSE(write_string(c.section, c.key, c.value, file.c_str()));
    EXPECT_FALSE(write_string("s", "k", "1", nullptr));
    EXPECT_EQ(test::TempDir::read(file), before);
}

TEST_F(Profile, AFailedReplaceLeavesTheOldFile) {
    const std::string before = "[s]\r\nk=1\r\n" + std::string(200, ';') + "\r\n";
    std::string file = dir.write("full.ini", before);
    EXPECT_EQ(get(file, "s", "k").text, "1");

    // A file-size limit makes the new copy fail part-way.
    struct rlimit saved {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto previous = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 100;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    bool written = write_string("s", "k", "12", file.c_str());
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);

    EXPECT_FALSE(written);
    EXPECT_EQ(test::TempDir::read(file), before);
    EXPECT_EQ(names_in(dir.path()), std::vector<std::string>{"full.ini"});
    EXPECT_EQ(get(file, "s", "k").text, "1");
}

}  // namespace
}  // namespace qxs::profile
