#include "logging/access_log.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

#include "config/settings.h"
#include "engine/connection.h"
#include "engine/server.h"
#include "platform/named_lock.h"
#include "platform/profile.h"
#include "platform/strings.h"
#include "support/engine_fixture.h"
#include "support/net_client.h"

namespace qxs {
namespace {

using test::TempDir;

constexpr time_t kStart = 315626635;  // Wed Jan 02 02:03:55 1980 UTC
const std::string kStartDate = "02/Jan/1980:02:03:55 -0700";
constexpr const char* kLogMutexName = "/MUTEX/QXS1/QXS_LOG_MUTEX";
constexpr const char* kCounts = "c:\\logs\\counts.qxs";
constexpr const char* kReferers = "c:\\logs\\referer.qxs";

// Sets an environment variable for the life of the object.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        setenv(name, value.c_str(), 1);
        tzset();
    }
    ~ScopedEnv() {
        if (old_) {
            setenv(name_, old_->c_str(), 1);
        } else {
            unsetenv(name_);
        }
        tzset();
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* name_;
    std::optional<std::string> old_;
};

struct Visit {
    const char* raw = "GET /a.htm HTTP/1.0";
    const char* status = "File sent ok";
    long bytes = 0;
    const char* referer = "";
    const char* user = "";
    time_t start = kStart;
};

// The engine with its log mutex in the test's home, in a fixed time zone.
class AccessLogTest : public ::testing::Test {
protected:
    AccessLogTest() {
        engine.log_mutex.create(kLogMutexName);
        load_totals();
    }
    ~AccessLogTest() override { engine.log_mutex.close(); }

    void visit(const Visit& v) {
        Connection& c = fx.connect("10.0.0.7", v.start);
        set_raw_command(c, v.raw);
        set_status_text(c, v.status);
        c.bytes_sent = v.bytes;
        copy_text(c.referer, sizeof c.referer, v.referer);
        copy_text(c.auth_user, sizeof c.auth_user, v.user);
        close_connection(c);
    }
    std::string log_path() const { return fx.home.file("logs/qxs.log"); }
    std::string log() const { return TempDir::read(log_path()); }
    static std::string value(const char* section, const char* key, const char* file) {
        char out[1100];
        profile::get_string(section, key, "(none)", out, sizeof out, file);
        return out;
    }
    // A counter file written by another program.
    void write_file(const std::string& relative, const std::string& content) {
        fx.home.write(relative, content);
        profile::forget_all();
    }

    test::EngineFixture fx;
    ScopedEnv zone{"TZ", "UTC"};
    ScopedEnv runtime{"XDG_RUNTIME_DIR", fx.home.path()};
};

TEST_F(AccessLogTest, LogLinesInCommonFormat) {
    const std::string long_request = "GET /" + std::string(300, 'x') + " HTTP/1.0";
    const std::string prefix = "10.0.0.7 - - [" + kStartDate + "] \"";
    struct Case {
        const char* what;
        Visit visit;
        int logsearchstring;
        std::string line;
    };
    const Case cases[] = {
        {"query left out",
         {.raw = "GET /cgi-bin/q.exe?name=x HTTP/1.0", .bytes = 1234},
         0,
         prefix + "GET /cgi-bin/q.exe HTTP/1.0\" 200 1234\r\n"},
        {"query kept",
         {.raw = "GET /cgi-bin/q.exe?name=x HTTP/1.0", .bytes = 1234},
         1,
         prefix + "GET /cgi-bin/q.exe?name=x HTTP/1.0\" 200 1234\r\n"},
        {"closed before any request",
         {.raw = "", .status = ""},
         0,
         prefix + "GopherRoot\" - 0\r\n"},
        {"status not beginning with Fi, with a user",
         {.raw = "GET /x HTTP/1.0", .status = "CGI timeout", .bytes = 99, .user = "john"},
         0,
         "10.0.0.7 - john [" + kStartDate + "] \"GET /x HTTP/1.0\" - 99\r\n"},
        {"cut after 255 characters",
         {.raw = long_request.c_str(), .bytes = 7},
         1,
         prefix + long_request.substr(0, 255) + "\" 200 7\r\n"},
    };
    for (const Case& c : cases) {
        settings.logsearchstring = c.logsearchstring;
        size_t before = log().size();
        visit(c.visit);
        EXPECT_EQ(log().substr(before), c.line) << c.what;
    }
}

TEST_F(AccessLogTest, TimeIsLocalButZoneIsAlwaysTheSame) {
    ScopedEnv eastern("TZ", "EST5");
    visit({.raw = "1/docs"});
    EXPECT_EQ(log(), "10.0.0.7 - - [01/Jan/1980:21:03:55 -0700] \"1/docs\" 200 0\r\n");
}

TEST_F(AccessLogTest, CountsPagesAndReferersKeepingTheFirstDate) {
    visit({.bytes = 10});
    EXPECT_EQ(value("Commands", "/a.htm", kCounts), "1 " + kStartDate);
    EXPECT_EQ(value("/a.htm", "Direct", kReferers), "1 " + kStartDate);

    visit({.bytes = 20, .start = kStart + 86400});
    EXPECT_EQ(value("Commands", "/a.htm", kCounts), "2 " + kStartDate);
    EXPECT_EQ(value("/a.htm", "Direct", kReferers), "2 " + kStartDate);
    EXPECT_EQ(value("Totals", "Connects", kCounts), "2");
    EXPECT_EQ(value("Totals", "FilesSentOK", kCounts), "2");
    EXPECT_EQ(value("Totals", "BytesSent", kCounts), "30");

    visit({.raw = ""});
    EXPECT_EQ(value("Commands", "GopherRoot", kCounts), "1 " + kStartDate);
}

TEST_F(AccessLogTest, GoesOnFromCountsOtherProgramsLeft) {
    struct Case {
        const char* before;
        std::string after;
    };
    const Case cases[] = {
        {"41 05/May/1995:01:02:03 -0700", "42 05/May/1995:01:02:03 -0700"},
        {"0 05/May/1995:01:02:03 -0700", "1 " + kStartDate},
        {"17", "18 " + kStartDate},
        {"none", "1 " + kStartDate},
    };
    for (const Case& c : cases) {
        write_file("logs/counts.qxs", std::string("[Commands]\r\n/a.htm=") + c.before + "\r\n");
        visit({});
        EXPECT_EQ(value("Commands", "/a.htm", kCounts), c.after) << c.before;
    }
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

TEST_F(AccessLogTest, TotalsCountEveryConnectionAndBytesBeyond32Bits) {
    visit({.bytes = 2000000000});
    visit({.status = "CGI timeout", .bytes = 2000000005});
    visit({.status = "Connection timeout"});
    EXPECT_EQ(value("Totals", "Connects", kCounts), "3");
    EXPECT_EQ(value("Totals", "FilesSentOK", kCounts), "1");
    EXPECT_EQ(value("Totals", "BytesSent", kCounts), "4000000005");
    EXPECT_EQ(log_totals().bytes_sent, 4000000005.0);
}

TEST_F(AccessLogTest, LoadTotalsReadsThemBack) {
    EXPECT_EQ(log_totals().connects, 0);
    EXPECT_EQ(log_totals().bytes_sent, 0.0);
    write_file("logs/counts.qxs",
               "[Totals]\r\nConnects=41\r\nFilesSentOK=40\r\nBytesSent=5000000000\r\n");
    load_totals();
    EXPECT_EQ(log_totals().connects, 41);
    EXPECT_EQ(log_totals().files_sent_ok, 40);
    EXPECT_EQ(log_totals().bytes_sent, 5000000000.0);

    visit({.bytes = 10});
    EXPECT_EQ(value("Totals", "Connects", kCounts), "42");
    EXPECT_EQ(value("Totals", "FilesSentOK", kCounts), "41");
    EXPECT_EQ(value("Totals", "BytesSent", kCounts), "5000000010");
}

TEST_F(AccessLogTest, SettingsTurnOffEachRecordAlone) {
    settings.logany = 0;
    visit({});
    EXPECT_FALSE(TempDir::exists(log_path()));
    EXPECT_EQ(value("Commands", "/a.htm", kCounts), "1 " + kStartDate);
    EXPECT_EQ(value("/a.htm", "Direct", kReferers), "1 " + kStartDate);

    settings.logany = 1;
    settings.countfilehits = 0;
    settings.countreferer = 0;
    visit({.raw = "GET /b.htm HTTP/1.0"});
    EXPECT_NE(log(), "");
    EXPECT_EQ(value("Commands", "/b.htm", kCounts), "(none)");
    EXPECT_EQ(value("/b.htm", "Direct", kReferers), "(none)");
    EXPECT_EQ(value("Totals", "Connects", kCounts), "2");
}

TEST_F(AccessLogTest, WaitsForAnotherProgramHoldingTheLock) {
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const std::string path = log_path();
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Another program: takes the lock, and writes its own line just
        // before it lets go.
        ::close(ready[0]);
        NamedLock lock;
        if (!lock.create(kLogMutexName) || !lock.acquire()) _exit(1);
        char held = 'L';
        if (::write(ready[1], &held, 1) != 1) _exit(2);
        sleep(1);
        int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        if (fd < 0 || ::write(fd, "other program\r\n", 15) != 15) _exit(3);
        ::close(fd);
        lock.release();
        _exit(0);
    }
    ::close(ready[1]);
    char held = 0;
    ASSERT_EQ(::read(ready[0], &held, 1), 1);
    ::close(ready[0]);

    visit({.bytes = 5});
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(log(), "other program\r\n10.0.0.7 - - [" + kStartDate +
                         "] \"GET /a.htm HTTP/1.0\" 200 5\r\n");
    EXPECT_EQ(value("Commands", "/a.htm", kCounts), "1 " + kStartDate);
}

TEST_F(AccessLogTest, AStandardAnalyserReadsTheLinesOfSentFiles) {
    if (!test::have_program("goaccess")) GTEST_SKIP() << "goaccess is not installed";
    const char* requests[] = {"GET /a.htm HTTP/1.0", "GET /cgi-bin/q.exe?x=1 HTTP/1.0",
                              "HEAD / HTTP/1.0",     "POST /form HTTP/1.0",
                              "1/docs/readme",       ""};
    long bytes = 100;
    for (const char* raw : requests) {
        visit({.raw = raw, .bytes = bytes, .user = bytes == 300 ? "john" : ""});
        bytes += 100;
    }
    std::string report = fx.home.file("report.json");
    test::CommandResult result =
        test::run_command("goaccess '" + log_path() +
                          "' --log-format=COMMON --no-global-config -o '" + report + "' 2>&1");
    ASSERT_EQ(result.status, 0) << result.output;
    std::string json = TempDir::read(report);
    EXPECT_NE(json.find("\"total_requests\": 6,"), std::string::npos) << json.substr(0, 400);
    EXPECT_NE(json.find("\"valid_requests\": 6,"), std::string::npos) << json.substr(0, 400);
    EXPECT_NE(json.find("\"failed_requests\": 0,"), std::string::npos) << json.substr(0, 400);
}

}  // namespace
}  // namespace qxs
