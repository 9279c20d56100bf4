#include "platform/profile.h"

#include <sys/resource.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/dos_files.h"
#include "support/temp_dir.h"

namespace qxs::profile {
namespace {

using test::TempDir;

class Profile : public ::testing::Test {
protected:
    void SetUp() override { forget_all(); }
    void TearDown() override {
        forget_all();
        dos::reset_drives();
    }

    // get_string's text, checking the count it gives.
    static std::string get(const std::string& file, const char* section, const char* key,
                           const char* fallback = "dflt", int size = 256) {
        std::vector<char> out(static_cast<size_t>(size) + 1, '#');
        int count = get_string(section, key, fallback, out.data(), size, file.c_str());
        EXPECT_EQ(count, static_cast<int>(std::strlen(out.data()))) << section << "/" << key;
        return out.data();
    }
    static void put(const std::string& file, const char* section, const char* key,
                    const char* value) {
        ASSERT_TRUE(write_string(section, key, value, file.c_str())) << key << "=" << value;
    }
    static ino_t inode_of(const std::string& path) {
        struct stat st {};
        return stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
    }

    TempDir dir;
};

TEST_F(Profile, ReadsByTheWindowsRules) {
    const std::string sample =
        "orphan=before any section\n[Options]\nPort=80\n  Spaced Key   =   spaced value   \n"
        "empty=\nnoequals\nDup=first\ndup=second\n  ; indented=comment\n\n"
        "[ options ]\nPort=8080\nLater=hidden\n[Other]\nhttp://a/?q=1&b=2=5 "
        "01/Jan/1997\n[Odd]Name]\nk=v\n";
    struct Case {
        const char *section, *key, *value;  // value nullptr: missing, the fallback comes back
    } cases[] = {
        {" OPTIONS ", "  pORT\t", "80"},
        {"Options", "spaced key", "spaced value"},
        {"Options", "empty", ""},
        {"Options", "noequals", ""},
        {"Options", "DUP", "first"},
        {"Options", "; indented", nullptr},
        {"Options", "Later", nullptr},  // only in the repeated section
        {"Other", "http://a/?q=1&b=2", "5 01/Jan/1997"},
        {"Other", "http://a/?q", "1&b=2=5 01/Jan/1997"},
        {"Odd]Name", "k", "v"},
        {"", "orphan", nullptr},
    };
    std::string crlf;
    for (char c : sample) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    for (const std::string& content : {sample, crlf}) {
        std::string file = dir.write("sample.ini", content);
        forget_all();
        for (const Case& c : cases)
            EXPECT_EQ(get(file, c.section, c.key), c.value ? c.value : "dflt")
                << c.section << "/" << c.key;
    }
}

TEST_F(Profile, StringsAreCutToTheWidthAndIntegersTakeTheLeadingNumber) {
    std::string file =
        dir.write("w.ini",
                  "[s]\r\nk=abcdef\r\na=12abc\r\nb=abc\r\nc=  -5  \r\nd=0x10\r\ne=\r\n"
                  "f=99999999999999999999\r\nh=-99999999999\r\n");
    struct Case {
        const char *key, *fallback;
        int size;
        const char* text;
    } cases[] = {
        {"k", "x", 7, "abcdef"},         {"k", "x", 6, "abcde"},   {"k", "x", 1, ""},
        {"none", "fallback", 5, "fall"}, {"none", nullptr, 9, ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(get(file, "s", c.key, c.fallback, c.size), c.text) << c.key << " " << c.size;
    char untouched[2] = {'#', '\0'};
    EXPECT_EQ(get_string("s", "k", "x", untouched, 0, file.c_str()), 0);
    EXPECT_EQ(untouched[0], '#');
    EXPECT_EQ(get(dir.file("nofile.ini"), "s", "k", "gone"), "gone");

    const std::pair<const char*, int> numbers[] = {
        {"a", 12}, {"b", 0}, {"c", -5}, {"d", 0}, {"e", -1}, {"f", INT_MAX}, {"h", INT_MIN}};
    for (const auto& [key, expected] : numbers)
        EXPECT_EQ(get_int("S", key, -1, file.c_str()), expected) << key;
}

TEST_F(Profile, AWriteChangesOnlyItsLine) {
    struct Case {
        const char *before, *section, *key, *value, *after;
    } cases[] = {
        {"[a]\r\nk=1\r\nz=9\r\n", "a", "k", "10", "[a]\r\nk=10\r\nz=9\r\n"},
        {"[a]\nk=100\nz=9\n", "a", "k", "7", "[a]\nk=7\nz=9\n"},
        {"[A]\n  Key = old \n", "a", "KEY", "new", "[A]\nKey=new\n"},
        {"[a]\r\nk=1", "a", "k", "345", "[a]\r\nk=345"},
        {"; h\r\n[a]\r\n x = 1 ; c\r\n\tt=1\r\n\x1a", "a", "t", "2",
         "; h\r\n[a]\r\n x = 1 ; c\r\nt=2\r\n\x1a"},
        {"[a]\nk=1\n[b]\nk=1\nk=2\n", "b", "K", "3", "[a]\nk=1\n[b]\nk=3\nk=2\n"},
        // A key holding '=' is found again rather than added once more.
        {"[/a]\r\nhttp://x/?q=1=3 d\r\n", "/a", "http://x/?q=1", "4 d",
         "[/a]\r\nhttp://x/?q=1=4 d\r\n"},
        // New keys go after the section's last non-blank line; new sections at the end.
        {"[a]\r\nx=1\r\n\r\n[b]\r\n", "a", "k", "v", "[a]\r\nx=1\r\nk=v\r\n\r\n[b]\r\n"},
        {"[a]\nx=1", "a", "k", "v", "[a]\nx=1\nk=v\n"},
        {"[a]\n[b]\n[A]\nk=old\n", "A", "k", "v", "[a]\nk=v\n[b]\n[A]\nk=old\n"},
        {"top=1\n[a]\n", "a", "top", "2", "top=1\n[a]\ntop=2\n"},
        {"[a]\nx=1\n\n", "b", "k", "v", "[a]\nx=1\n\n[b]\nk=v\n"},
        {"", "b", "k", "v", "[b]\r\nk=v\r\n"},
    };
    int n = 0;
    for (const Case& c : cases) {
        std::string file = dir.write("case" + std::to_string(++n) + ".ini", c.before);
        get(file, "a", "x");  // cached before the write
        put(file, c.section, c.key, c.value);
        EXPECT_EQ(TempDir::read(file), c.after) << "case " << n;
        EXPECT_EQ(get(file, c.section, c.key), c.value) << "case " << n;
        forget_all();
        EXPECT_EQ(get(file, c.section, c.key), c.value) << "case " << n;
    }
    // An in-place write that moves an '=' changes which keys the line answers.
    std::string file = dir.write("eq.ini", "[a]\nk=x=1\nj=2\n");
    put(file, "a", "k", "y=2");
    EXPECT_EQ(get(file, "a", "k=x"), "dflt");
    EXPECT_EQ(get(file, "a", "k=y"), "2");
    put(file, "a", "j", "3");
    EXPECT_EQ(TempDir::read(file), "[a]\nk=y=2\nj=3\n");
}

// Any change made outside is seen, whatever its size; a write starts from the disk.
TEST_F(Profile, TheCacheHoldsUntilTheFileChanges) {
    std::string file = dir.write("k.ini", "[a]\r\nk=1\r\n");
    EXPECT_EQ(get(file, "a", "k"), "1");
    dir.write("k.ini", "[a]\r\nk=4\r\n");  // same size
    EXPECT_EQ(get(file, "a", "k"), "4");
    dir.write("k.ini", "[a]\nk=5\nj=6\n");
    put(file, "a", "k", "7");
    EXPECT_EQ(TempDir::read(file), "[a]\nk=7\nj=6\n");
    ASSERT_EQ(std::remove(file.c_str()), 0);
    EXPECT_EQ(get(file, "a", "k"), "dflt");

    // More files than the cache holds: each one read back is its own.
    auto name = [&](int i) { return dir.file(std::to_string(i) + ".ini"); };
    for (int i = 0; i < 40; ++i) put(name(i), "s", "n", std::to_string(i).c_str());
    for (int i = 39; i >= 0; --i) EXPECT_EQ(get_int("s", "n", -1, name(i).c_str()), i);
}

// In-place updates wait for the flush or the batch's end (updates far apart
// as separate runs, near ones as one); the batch reads its own writes.
TEST_F(Profile, ABatchWritesInPlaceUpdatesAtTheFlushAndAtItsEnd) {
    const std::string filler = ";" + std::string(300, '-') + "\r\n";
    auto text = [&](const char* n, const char* m, const char* k) {
        return std::string("[t]\r\nn=") + n + "\r\n" + filler + "m=" + m + "\r\nk=" + k + "\r\n";
    };
    std::string file = dir.write("g.ini", text("10", "20", "30"));
    {
        Batch batch;
        put(file, "t", "n", "11");
        put(file, "t", "m", "21");
        put(file, "t", "k", "31");
        EXPECT_EQ(TempDir::read(file), text("10", "20", "30"));
        EXPECT_EQ(get(file, "t", "m"), "21");
        EXPECT_TRUE(flush(file.c_str()));
        EXPECT_EQ(TempDir::read(file), text("11", "21", "31"));
        put(file, "t", "n", "12");
        put(file, "t", "new", "x");  // a replace inside the batch
        EXPECT_EQ(get(file, "t", "new"), "x");
    }
    EXPECT_EQ(TempDir::read(file), text("12", "21", "31") + "new=x\r\n");
    forget_all();
    EXPECT_EQ(get(file, "t", "n"), "12");
    // After the batch, a change made outside is seen again.
    dir.write("g.ini", "[t]\r\nn=99\r\n");
    EXPECT_EQ(get(file, "t", "n"), "99");
}

// Nothing is written that could not be read back as written, nor where no file can be.
TEST_F(Profile, WritesThatCannotBeDoneFail) {
    std::string plain = dir.write("plain", "x");
    for (const std::string& bad : {plain + "/sub.ini", dir.file("nodir/x.ini"), dir.path()})
        EXPECT_FALSE(write_string("s", "k", "v", bad.c_str())) << bad;
    EXPECT_FALSE(TempDir::exists(dir.file("nodir")));

    const std::string before = "[s]\r\nk=1\r\n";
    std::string file = dir.write("keep.ini", before);
    struct Case {
        const char *section, *key, *value;
    } refused[] = {
        {"s", "k", "1\r\n[t]"}, {"s", "k\n", "1"}, {"s\r", "k", "1"},   {"s", ";k", "1"},
        {"s", " [k", "1"},      {"s", "  ", "1"},  {nullptr, "k", "1"},
    };
    for (const Case& c : refused)
        EXPECT_FALSE(write_string(c.section, c.key, c.value, file.c_str()));
    EXPECT_FALSE(write_string("s", "k", "1", nullptr));
    EXPECT_EQ(TempDir::read(file), before);
}

// A value of the same length is written in place; any other replaces the
// whole file, keeping its mode, and a replace that fails leaves the old file.
TEST_F(Profile, OnlyLengthChangesReplaceTheFile) {
    const std::string tail = std::string(200, ';') + "\r\n";
    std::string file = dir.write("r.ini", "[s]\r\nk=5\r\n" + tail);
    ASSERT_EQ(chmod(file.c_str(), 0640), 0);
    ino_t first = inode_of(file);
    put(file, "s", "k", "6");
    EXPECT_EQ(inode_of(file), first);

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
    EXPECT_EQ(TempDir::read(file), "[s]\r\nk=6\r\n" + tail);
    EXPECT_EQ(get(file, "s", "k"), "6");

    put(file, "s", "k", "10");
    EXPECT_NE(inode_of(file), first);
    struct stat st {};
    ASSERT_EQ(stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    auto entries = std::filesystem::directory_iterator(dir.path());
    EXPECT_EQ(std::distance(entries, std::filesystem::directory_iterator()), 1);
}

}  // namespace
}  // namespace qxs::profile
