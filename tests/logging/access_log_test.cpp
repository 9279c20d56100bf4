#include "logging/access_log.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <ctime>
#include <string>
#include <utility>

#include "logging/counter_keys.h"
#include "platform/named_lock.h"
#include "support/engine_fixture.h"
#include "support/scoped_env.h"

namespace qxs {
namespace {

using test::TempDir;

constexpr time_t kStart = 315626635;  // Wed Jan 02 02:03:55 1980 UTC
const std::string kStartDate = "02/Jan/1980:02:03:55 +0000";
constexpr const char* kLogMutexName = "/MUTEX/QXS1/QXS_LOG_MUTEX";
constexpr const char* kCounts = "c:\\logs\\counts.qxs";

struct Visit {
    const char* raw = "GET /a.htm HTTP/1.0";
    const char* status = "File sent ok";
    long bytes = 0;
    const char* referer = "";
    const char* user = "";
};

class AccessLogTest : public ::testing::Test {
protected:
    AccessLogTest() {
        engine.log_mutex.create(kLogMutexName);
        load_totals();
    }
    ~AccessLogTest() override { engine.log_mutex.close(); }

    void visit(const Visit& v) {
        Connection& c = fx.connect("10.0.0.7", kStart);
        set_raw_command(c, v.raw);
        set_status_text(c, v.status);
        c.bytes_sent = v.bytes;
        copy_text(c.referer, sizeof c.referer, v.referer);
        copy_text(c.auth_user, sizeof c.auth_user, v.user);
        close_connection(c);
    }
    std::string log() const { return TempDir::read(fx.home.file("logs/qxs.log")); }
    static std::string value(const char* section, const char* key, const char* file = kCounts) {
        char out[1100];
        profile::get_string(section, key, "(none)", out, sizeof out, file);
        return out;
    }
    // A counter file as another program left it.
    void write_counts(const std::string& content) {
        fx.home.write("logs/counts.qxs", content);
        profile::forget_all();
    }

    test::EngineFixture fx;
    test::ScopedEnv zone{"TZ", "UTC"};
    test::ScopedEnv runtime{"XDG_RUNTIME_DIR", fx.home.path().c_str()};
};

TEST_F(AccessLogTest, LogLinesInCommonFormat) {
    const char* query = "GET /cgi-bin/q.exe?name=x HTTP/1.0";
    const std::string long_request = "GET /" + std::string(300, 'x') + " HTTP/1.0";
    const std::string prefix = "10.0.0.7 - - [" + kStartDate + "] \"";
    struct Case {
        Visit visit;
        int logsearchstring;
        std::string line;
        const char* zone = "UTC";
    } cases[] = {
        {{.raw = query, .bytes = 1234}, 0, prefix + "GET /cgi-bin/q.exe HTTP/1.0\" 200 1234\r\n"},
        {{.raw = query, .bytes = 1234}, 1, prefix + query + "\" 200 1234\r\n"},
        {{.raw = "", .status = ""}, 0, prefix + "GopherRoot\" - 0\r\n"},
        {{.status = "CGI timeout", .bytes = 99, .user = "john"},
         0,
         "10.0.0.7 - john [" + kStartDate + "] \"GET /a.htm HTTP/1.0\" - 99\r\n"},
        // The client's texts cannot leave their fields nor forge a line.
        {{.raw = "GET /a\"b HTTP/1.0", .user = "a b\r\nc"},
         0,
         "10.0.0.7 - a%20b%0D%0Ac [" + kStartDate + "] \"GET /a%22b HTTP/1.0\" 200 0\r\n"},
        {{.raw = long_request.c_str(), .bytes = 7},
         1,
         prefix + long_request.substr(0, 255) + "\" 200 7\r\n"},
        // Local time with the zone it is in.
        {{.raw = "1/docs"},
         0,
         "10.0.0.7 - - [01/Jan/1980:21:03:55 -0500] \"1/docs\" 200 0\r\n",
         "EST5"},
        {{.raw = "1/docs"},
         0,
         "10.0.0.7 - - [02/Jan/1980:07:33:55 +0530] \"1/docs\" 200 0\r\n",
         "IST-5:30"},
    };
    for (const Case& c : cases) {
        test::ScopedEnv zone_for_row("TZ", c.zone);
        settings.logsearchstring = c.logsearchstring;
        size_t before = log().size();
        visit(c.visit);
        EXPECT_EQ(log().substr(before), c.line);
    }
}

TEST_F(AccessLogTest, GoesOnFromCountsOtherProgramsLeft) {
    const std::pair<const char*, std::string> cases[] = {
        {"41 05/May/1995:01:02:03 -0700", "42 05/May/1995:01:02:03 -0700"},
        {"0 05/May/1995:01:02:03 -0700", "1 " + kStartDate},
        {"17", "18 " + kStartDate},
    };
    for (const auto& [before, after] : cases) {
        write_counts(std::string("[Commands]\r\n/a.htm=") + before + "\r\n");
        visit({});
        EXPECT_EQ(value("Commands", "/a.htm"), after) << before;
    }
    // Totals too, with byte counts beyond 32 bits.
    write_counts("[Totals]\r\nConnects=41\r\nFilesSentOK=40\r\nBytesSent=5000000000\r\n");
    load_totals();
    visit({.bytes = 2000000000});
    visit({.status = "CGI timeout", .bytes = 2000000005});
    EXPECT_EQ(value("Totals", "Connects"), "43");
    EXPECT_EQ(value("Totals", "FilesSentOK"), "41");
    EXPECT_EQ(value("Totals", "BytesSent"), "9000000005");
}

TEST_F(AccessLogTest, PagesAndReferersWithIniCharactersKeepOneEntry) {
    for (int i = 0; i < 3; ++i) {
        visit({.raw = "GET /p=q;[x] HTTP/1.0", .referer = "http://example.com/find?a=b&c=[d]"});
    }
    EXPECT_EQ(
        TempDir::read(fx.home.file("logs/referer.qxs")),
        "[/p%3Dq%3B%5Bx%5D]\r\nhttp://example.com/find?a%3Db&c%3D%5Bd%5D=3 " + kStartDate + "\r\n");
    std::string counts = TempDir::read(fx.home.file("logs/counts.qxs"));
    EXPECT_NE(counts.find("\r\n/p%3Dq%3B%5Bx%5D=3 " + kStartDate + "\r\n"), std::string::npos)
        << counts;
    EXPECT_EQ(counts.find("/p%3Dq"), counts.rfind("/p%3Dq")) << counts;
}

TEST_F(AccessLogTest, WaitsForAnotherProgramHoldingTheLock) {
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const std::string path = fx.home.file("logs/qxs.log");
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {  // another program writes its own line just before it lets go
        NamedLock lock;
        if (!lock.create(kLogMutexName) || !lock.acquire() || ::write(ready[1], "L", 1) != 1) {
            _exit(1);
        }
        usleep(200000);
        int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        _exit(fd >= 0 && ::write(fd, "other program\r\n", 15) == 15 ? 0 : 2);
    }
    char held = 0;
    ASSERT_EQ(::read(ready[0], &held, 1), 1);
    ::close(ready[0]);
    ::close(ready[1]);
    visit({.bytes = 5});
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(log(), "other program\r\n10.0.0.7 - - [" + kStartDate +
                         "] \"GET /a.htm HTTP/1.0\" 200 5\r\n");
}

// A program that keeps the lock does not stop the server: after a bounded
// wait the update goes on without it, and the operator is told once.
TEST_F(AccessLogTest, AProgramThatKeepsTheLockIsNotWaitedForLong) {
    NamedLock other;  // its own open file: it conflicts like another process's
    ASSERT_TRUE(other.create(kLogMutexName) && other.acquire());
    visit({.bytes = 5});
    visit({.bytes = 6});
    other.release();
    EXPECT_EQ(log(), "10.0.0.7 - - [" + kStartDate + "] \"GET /a.htm HTTP/1.0\" 200 5\r\n" +
                         "10.0.0.7 - - [" + kStartDate + "] \"GET /a.htm HTTP/1.0\" 200 6\r\n");
    const std::string told = "The log files' lock is held by another program";
    EXPECT_EQ(fx.shell.log.find(told), fx.shell.log.rfind(told));
    EXPECT_NE(fx.shell.log.find(told), std::string::npos);
}

// The common cases are checked through the log lines above.
TEST(CounterKeys, CounterKeyIsThePathMadeIniSafe) {
    const std::pair<const char*, const char*> cases[] = {
        {"head /b HTTP/1.0", "/b"},
        {"POST /cgi-bin/x.exe?y HTTP/1.0", "/cgi-bin/x.exe"},
        {"GET ?x", "/"},
        {"PUT /x HTTP/1.0", "PUT /x HTTP/1.0"},
        // Names an INI file would read as a key=value split, a section or a comment.
        {"GET /a=b;c[d]%20e HTTP/1.0", "/a%3Db%3Bc%5Bd%5D%20e"},
        {";x[s]\ty", "%3Bx%5Bs%5D%09y"},
    };
    for (const auto& [logged, expected] : cases) {
        char key[1024];
        counter_key(logged, key, sizeof key);
        EXPECT_STREQ(key, expected) << logged;
    }
    // Cut to fit, never inside an escape.
    char out[6];
    ini_safe_name("ab=cd", out, sizeof out);
    EXPECT_STREQ(out, "ab%3D");
    ini_safe_name("abc=d", out, sizeof out);
    EXPECT_STREQ(out, "abc");
    ini_safe_name("http://x/?a=b", out, 1);
    EXPECT_STREQ(out, "");
}

}  // namespace
}  // namespace qxs
