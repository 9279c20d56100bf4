// Children started for real: what reaches them, how they end, and that every
// one is reaped. The loop is driven in short turns up to a deadline.
#include "platform/process.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/dos_files.h"
#include "platform/event_loop.h"
#include "platform/process_internal.h"
#include "support/temp_dir.h"

namespace qxs::process {
namespace {

using test::TempDir;
using Lines = std::vector<std::string>;
const std::string kChild = PROCESS_TEST_CHILD;

// A process that is neither gone nor a zombie.
bool alive(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    size_t paren = text.rfind(')');
    return paren != std::string::npos && paren + 2 < text.size() && text[paren + 2] != 'Z';
}

// The lines of a report that begin with `key` and a space, without the key.
Lines field(const std::string& report, const std::string& key) {
    Lines out;
    std::istringstream in(report);
    for (std::string line; std::getline(in, line);) {
        if (line.compare(0, key.size() + 1, key + " ") == 0)
            out.push_back(line.substr(key.size() + 1));
    }
    return out;
}

class Process : public ::testing::Test {
protected:
    void SetUp() override {
        saved_home_ = dos::home();
        dos::set_home(home_.path());
        ASSERT_TRUE(set_current_directory(nullptr));
    }
    void TearDown() override {
        shutdown(loop_.uv(), 0);
        ASSERT_TRUE(set_current_directory(nullptr));
        dos::set_home(saved_home_);
        dos::reset_drives();
    }

    template <class Done>
    bool run_until(Done done) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            uv_run(loop_.uv(), UV_RUN_NOWAIT);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return true;
    }
    Status wait_for_end(Child* child) {
        EXPECT_TRUE(run_until([&] { return status(child).state == State::kEnded; }));
        return status(child);
    }
    // Runs `command_line` to its end with its output in a file; the output.
    std::string report(const std::string& command_line, Options options = {}) {
        std::string out = home_.file("report.txt");
        options.stdout_fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        Child* child = start(loop_.uv(), command_line, options);
        ::close(options.stdout_fd);
        EXPECT_NE(child, nullptr) << command_line << ": " << last_error_text();
        if (child == nullptr) return "";
        EXPECT_EQ(wait_for_end(child).exit_code, 0);
        release(child);
        return TempDir::read(out);
    }

    EventLoop loop_;
    TempDir home_;
    std::string saved_home_;
};

TEST_F(Process, WordsReachTheChildAsTheyStand) {
    std::string out = report(" " + kChild + "  report\ta;b   $(x) * `id` 'q' \"d\" x=1&y=2|z>f ");
    EXPECT_EQ(field(out, "arg"),
              (Lines{"report", "a;b", "$(x)", "*", "`id`", "'q'", "\"d\"", "x=1&y=2|z>f"}));
    EXPECT_FALSE(TempDir::exists(home_.file("f")));
}

TEST_F(Process, ProgramNamesAreResolvedOrTheStartFails) {
    std::string child_dir = kChild.substr(0, kChild.rfind('/'));
    dos::map_drive('x', child_dir);
    Options with_path;
    with_path.environment = server_environment();
    set_variable(with_path.environment, "PATH", child_dir);
    struct Case {
        std::string program;
        int error;
    } cases[] = {
        {kChild, 0},
        {"x:\\PROCESS_TEST_CHILD", 0},  // DOS-style, found without case
        {"process_test_child", 0},      // through the child's PATH
        {"no-such-program-qxs", ENOENT},
        {home_.file("missing"), ENOENT},
    };
    for (const Case& c : cases) {
        Child* child = start(loop_.uv(), c.program + " exit 7", with_path);
        if (c.error != 0) {
            EXPECT_EQ(child, nullptr) << c.program;
            EXPECT_EQ(last_error(), c.error) << c.program;
            EXPECT_STREQ(last_error_text(), "No such file or directory");
            continue;
        }
        ASSERT_NE(child, nullptr) << c.program << ": " << last_error_text();
        EXPECT_EQ(wait_for_end(child).exit_code, 7) << c.program;
        release(child);
    }
    EXPECT_TRUE(run_until([&] { return held_count(loop_.uv()) == 0; }));
}

TEST_F(Process, ChildGetsItsEnvironmentStandardFilesAndDirectory) {
    Options options;
    options.environment = server_environment();
    set_variable(options.environment, "QXS_PROCESS_TEST", "first");
    set_variable(options.environment, "QXS_PROCESS_TEST", "a b;$c");
    set_variable(options.environment, "Content_File", "1");
    set_variable(options.environment, "Content_FIle", "2");
    std::string in = home_.write("in.txt", "hello\nworld");
    options.stdin_fd = ::open(in.c_str(), O_RDONLY | O_CLOEXEC);
    ::mkdir(home_.file("work").c_str(), 0755);
    char server_cwd[4096];
    ASSERT_NE(getcwd(server_cwd, sizeof server_cwd), nullptr);

    EXPECT_FALSE(set_current_directory("c:\\missing"));
    EXPECT_EQ(last_error(), ENOENT);
    ASSERT_TRUE(set_current_directory("c:\\WORK"));
    std::string out = report(kChild + " report", options);
    ::close(options.stdin_fd);

    Lines env = field(out, "env");
    EXPECT_EQ(std::count(env.begin(), env.end(), "QXS_PROCESS_TEST=a b;$c"), 1);
    EXPECT_EQ(std::count(env.begin(), env.end(), "Content_File=1"), 1);
    EXPECT_EQ(std::count(env.begin(), env.end(), "Content_FIle=2"), 1);
    EXPECT_EQ(std::getenv("QXS_PROCESS_TEST"), nullptr);
    EXPECT_EQ(field(out, "cwd"), Lines{home_.file("work")});
    EXPECT_EQ(out.substr(out.find("stdin ")), "stdin hello\nworld");
    char after[4096];
    EXPECT_STREQ(getcwd(after, sizeof after), server_cwd);

    // Back to the home; no standard input given reads as empty.
    ASSERT_TRUE(set_current_directory(nullptr));
    out = report(kChild + " report");
    EXPECT_EQ(field(out, "cwd"), Lines{home_.path()});
    EXPECT_EQ(out.substr(out.find("stdin ")), "stdin ");
}

TEST_F(Process, NoDescriptorOfTheServerLeaksIntoTheChild) {
    int listener = ::socket(AF_INET, SOCK_STREAM, 0);  // without close-on-exec
    sockaddr_in address{};
    address.sin_family = AF_INET;
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 5), 0);
    int file = ::open(home_.write("open.txt", "x").c_str(), O_RDONLY);
    EXPECT_EQ(field(report(kChild + " report"), "fds"), Lines{"0 1 2"});
    ::close(listener);
    ::close(file);
}

TEST_F(Process, EndKillsAProgramIgnoringTermAndWhatItStarted) {
    std::string out = home_.file("pids.txt");
    Options options;
    options.stdout_fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    Child* child = start(loop_.uv(), kChild + " stubborn", options);
    ::close(options.stdout_fd);
    ASSERT_NE(child, nullptr);
    ASSERT_TRUE(run_until([&] { return !field(TempDir::read(out), "pids").empty(); }));
    int own = 0;
    int grandchild = 0;
    std::istringstream(field(TempDir::read(out), "pids")[0]) >> own >> grandchild;
    ASSERT_TRUE(alive(grandchild));

    EXPECT_EQ(end(child, 300), 0);
    uv_run(loop_.uv(), UV_RUN_NOWAIT);
    EXPECT_EQ(status(child).state, State::kRunning);  // SIGTERM is ignored
    release(child);                                   // the pending SIGKILL still goes out
    EXPECT_TRUE(run_until([&] { return held_count(loop_.uv()) == 0; }));
    EXPECT_TRUE(run_until([&] { return !alive(grandchild); }));
}

TEST_F(Process, EveryChildIsReapedReleasedOrNot) {
    Child* unwatched = start(loop_.uv(), kChild + " exit 0", {});
    Child* killed = start(loop_.uv(), kChild + " sleep", {});
    Child* left_to_shutdown = start(loop_.uv(), kChild + " sleep", {});
    ASSERT_TRUE(unwatched && killed && left_to_shutdown);
    pid_t pids[] = {pid(unwatched), pid(killed), pid(left_to_shutdown)};
    release(unwatched);  // before it has been seen to end
    EXPECT_EQ(status(killed).state, State::kRunning);
    EXPECT_EQ(status(nullptr).state, State::kFailed);
    EXPECT_EQ(end(killed, 100), 0);
    Status ended = wait_for_end(killed);
    EXPECT_EQ(ended.signal, SIGTERM);
    EXPECT_EQ(ended.exit_code, 0);
    release(killed);  // held until its SIGKILL timer has run
    EXPECT_TRUE(run_until([&] { return held_count(loop_.uv()) == 1; }));

    shutdown(loop_.uv(), 1000);
    uv_run(loop_.uv(), UV_RUN_NOWAIT);  // the close callbacks
    EXPECT_EQ(held_count(loop_.uv()), 0u);
    // Reaped, not zombies: /proc no longer knows them.
    for (pid_t p : pids) EXPECT_FALSE(TempDir::exists("/proc/" + std::to_string(p))) << p;
}

TEST_F(Process, BatchFileSetsItsVariablesAndCallsItsScript) {
    home_.write("cgi/script.bat", "#!/bin/sh\nexec " + kChild + " report \"$@\"\n");
    ::chmod(home_.file("cgi/script.bat").c_str(), 0755);
    home_.write("temp/qxscgi1.bat",
                "REM [CGI]\r\nSET Request_Protocol=HTTP/1.0\r\n"
                "SET QUERY_STRING=a%%3Db&c%%3D%41\r\nSET Gone=\r\n\r\n"
                "REM [System]\r\n@set Output_File=c:\\out\r\n"
                "CALL c:\\CGI\\Script.BAT %1 %2 %3 %4\r\n");
    Options options;
    options.environment = server_environment();
    set_variable(options.environment, "Gone", "x");
    set_variable(options.environment, "Kept", "y");
    const std::pair<std::string, Lines> cases[] = {
        {" p c o x=1;$(y)", {"report", "p", "c", "o", "x=1;$(y)"}},
        {" p c o", {"report", "p", "c", "o"}},
    };
    for (const auto& [arguments, expected] : cases) {
        std::string out = report("c:\\temp\\QXScgi1.bat" + arguments, options);
        EXPECT_EQ(field(out, "arg"), expected) << arguments;
        Lines env = field(out, "env");
        for (const char* entry : {"Request_Protocol=HTTP/1.0", "QUERY_STRING=a%3Db&c%3D%41",
                                  "Output_File=c:\\out", "Kept=y"})
            EXPECT_EQ(std::count(env.begin(), env.end(), entry), 1) << entry;
        EXPECT_EQ(std::count(env.begin(), env.end(), "Gone=x"), 0);
    }
}

TEST_F(Process, BatchFilesThatCannotRunSayWhy) {
    home_.write("nocall.bat", "REM [CGI]\r\nSET A=1\r\n");
    const std::pair<const char*, const char*> cases[] = {
        {"c:\\missing.bat a b c", "No such file or directory"},
        {"c:\\nocall.bat a b c", "Batch file has no CALL line: c:\\nocall.bat"},
        {"   ", "No program to start"},
    };
    for (const auto& [command_line, text] : cases) {
        EXPECT_EQ(start(loop_.uv(), command_line, {}), nullptr);
        EXPECT_STREQ(last_error_text(), text);
    }
}

TEST(ProcessBatch, ReadsWhatTheDosInterpreterWould) {
    struct Case {
        const char* text;
        const char* call;  // nullptr: no CALL line
        Lines variables;   // "name=value"
    } cases[] = {
        {"@Set A=%%3D%1\r\nrem SET B=1\r\nSETX=1\r\n  call  prog %0 %2 %%x %9 %5\r\nSET C=1\r\n",
         "prog b.bat two %x  ",
         {"A=%3D%1"}},
        {"SET A=1\r\nSET =2\r\nSET B\r\nSET E=\n", nullptr, {"A=1", "E="}},
        {"SET A=1\x1a\r\nCALL prog\r\n", nullptr, {"A=1"}},
    };
    for (const Case& c : cases) {
        BatchRun run;
        bool called = parse_batch(c.text, "b.bat", {"one", "two", "three"}, &run);
        EXPECT_EQ(called, c.call != nullptr) << c.text;
        EXPECT_EQ(run.command_line, c.call != nullptr ? c.call : "") << c.text;
        Lines variables;
        for (const auto& [name, value] : run.variables) variables.push_back(name + "=" + value);
        EXPECT_EQ(variables, c.variables) << c.text;
    }
}

TEST(ProcessErrors, TextsAreEnglishAndBounded) {
    const std::pair<int, const char*> cases[] = {
        {ENOENT, "No such file or directory"}, {UV_ENOENT, "No such file or directory"},
        {EACCES, "Permission denied"},         {UV_EOF, "end of file"},
        {123456, "Unknown error 123456"},
    };
    for (const auto& [code, text] : cases) EXPECT_STREQ(last_error_text(code), text) << code;
}

}  // namespace
}  // namespace qxs::process
