// Starting, testing, ending and reaping children on the libuv loop. The
// environment block, the server's current directory and the error texts are
// in process_env.cpp; batch files are read in batch_file.cpp.
#include "platform/process.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <string>
#include <utility>
#include <vector>

#include "platform/dos_files.h"
#include "platform/process_internal.h"
#include "platform/strings.h"

namespace qxs::process {

// One started program. Its two handles are closed when the program has
// ended, the owner has released it and no SIGKILL is pending; the record is
// freed by the last close callback, never before.
struct Child {
    uv_process_t process{};
    uv_timer_t kill_timer{};
    uv_loop_t* loop = nullptr;
    pid_t pid = 0;
    bool exited = false;
    int exit_code = 0;
    int term_signal = 0;
    bool released = false;
    bool kill_pending = false;
    bool closing = false;  // its handles are being closed: only the free is left
    int open_handles = 0;
};

namespace {

// ---- The children, for shutdown and held_count ----

std::vector<Child*>& children() {
    static std::vector<Child*> list;
    return list;
}

void on_handle_closed(uv_handle_t* handle) {
    Child* child = static_cast<Child*>(handle->data);
    if (--child->open_handles > 0) return;
    auto& list = children();
    list.erase(std::remove(list.begin(), list.end(), child), list.end());
    delete child;
}

void close_handle(uv_handle_t* handle) {
    if (!uv_is_closing(handle)) uv_close(handle, on_handle_closed);
}

// Closes what is left once nobody needs the record any more.
void retire_if_done(Child* child) {
    if (!child->released || !child->exited || child->kill_pending || child->closing) return;
    child->closing = true;
    close_handle(reinterpret_cast<uv_handle_t*>(&child->kill_timer));
}

void on_exit(uv_process_t* process, int64_t exit_status, int term_signal) {
    Child* child = static_cast<Child*>(process->data);
    child->exited = true;
    child->exit_code = static_cast<int>(exit_status);
    child->term_signal = term_signal;
    // libuv has reaped it; the process handle has nothing more to tell.
    close_handle(reinterpret_cast<uv_handle_t*>(process));
    retire_if_done(child);
}

void on_kill_timer(uv_timer_t* timer) {
    Child* child = static_cast<Child*>(timer->data);
    child->kill_pending = false;
    // The group outlives its leader while anything it started is still in
    // it, and its id is not handed out again while it does.
    ::kill(-child->pid, SIGKILL);
    retire_if_done(child);
}

// Descriptors opened without close-on-exec would reach the child; marking
// them all is one system call and, on our one thread, free of races. libuv
// then gives the child its standard descriptors as copies.
void close_descriptors_on_exec() {
    if (::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC) == 0) return;
    DIR* dir = ::opendir("/proc/self/fd");
    if (dir == nullptr) return;
    while (dirent* entry = ::readdir(dir)) {
        int fd = std::atoi(entry->d_name);
        if (fd > 2 && fd != ::dirfd(dir)) ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
    ::closedir(dir);
}

bool is_dos_style(const std::string& name) {
    bool drive = name.size() >= 2 && name[1] == ':' &&
                 ((name[0] >= 'a' && name[0] <= 'z') || (name[0] >= 'A' && name[0] <= 'Z'));
    return drive || name.find('\\') != std::string::npos;
}

bool ends_with_bat(const std::string& name) {
    return name.size() >= 4 && compare_no_case(name.c_str() + name.size() - 4, ".bat") == 0;
}

std::vector<char*> pointers(std::vector<std::string>& texts) {
    std::vector<char*> out;
    out.reserve(texts.size() + 1);
    for (std::string& text : texts) out.push_back(text.data());
    out.push_back(nullptr);
    return out;
}

uv_stdio_container_t standard_descriptor(int fd) {
    uv_stdio_container_t container{};
    if (fd >= 0) {
        container.flags = UV_INHERIT_FD;
        container.data.fd = fd;
    } else {
        // libuv gives descriptors 0-2 /dev/null when they are ignored.
        container.flags = UV_IGNORE;
    }
    return container;
}

// Spawns `words` (program and arguments) with `env` (nullptr: the server's).
Child* spawn(uv_loop_t* loop, std::vector<std::string> words, Environment* env,
             const Options& options) {
    if (loop == nullptr || words.empty()) {
        set_failure(EINVAL, "No program to start");
        return nullptr;
    }
    if (is_dos_style(words[0])) {
        std::string host = dos::to_host(words[0].c_str());
        if (host.empty()) {
            set_failure(ENAMETOOLONG);
            return nullptr;
        }
        words[0] = host;
    }
    std::string directory = current_directory();
    std::vector<char*> args = pointers(words);
    std::vector<char*> env_pointers;
    if (env != nullptr) env_pointers = pointers(*env);
    uv_stdio_container_t stdio[3] = {standard_descriptor(options.stdin_fd),
                                     standard_descriptor(options.stdout_fd),
                                     standard_descriptor(-1)};

    uv_process_options_t spawn_options{};
    spawn_options.exit_cb = on_exit;
    spawn_options.file = args[0];
    spawn_options.args = args.data();
    spawn_options.env = env != nullptr ? env_pointers.data() : nullptr;
    spawn_options.cwd = directory.empty() ? nullptr : directory.c_str();
    // A session and process group of its own (setsid), so that end() reaches
    // everything it starts, and the server's terminal signals do not.
    spawn_options.flags = UV_PROCESS_DETACHED;
    spawn_options.stdio_count = 3;
    spawn_options.stdio = stdio;

    auto* child = new Child;
    child->loop = loop;
    child->process.data = child;
    child->kill_timer.data = child;
    uv_timer_init(loop, &child->kill_timer);
    child->open_handles = 2;  // uv_spawn initialises its handle even when it fails
    children().push_back(child);

    close_descriptors_on_exec();
    int result = uv_spawn(loop, &child->process, &spawn_options);
    if (result != 0) {
        set_failure(result);
        child->released = child->exited = child->closing = true;
        close_handle(reinterpret_cast<uv_handle_t*>(&child->process));
        close_handle(reinterpret_cast<uv_handle_t*>(&child->kill_timer));
        return nullptr;
    }
    child->pid = child->process.pid;
    return child;
}

bool group_exists(pid_t group) {
    return ::kill(-group, 0) == 0 || errno == EPERM;
}

// Reaps `pid` if it has ended; true once it is gone.
bool reaped(pid_t pid) {
    int status = 0;
    pid_t result = ::waitpid(pid, &status, WNOHANG);
    return result == pid || (result < 0 && errno == ECHILD);
}

void pause_briefly() {
    timespec pause{0, 5 * 1000 * 1000};
    ::nanosleep(&pause, nullptr);
}

int64_t now_ms() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t{now.tv_sec} * 1000 + now.tv_nsec / 1000000;
}

}  // namespace

// ---- Starting ----

Child* start(uv_loop_t* loop, const std::string& command_line, const Options& options) {
    std::vector<std::string> words = split_words(command_line);
    if (!words.empty() && ends_with_bat(words[0])) {
        std::vector<std::string> arguments(words.begin() + 1, words.end());
        return start_batch(loop, words[0].c_str(), arguments, options);
    }
    if (options.environment.empty()) return spawn(loop, std::move(words), nullptr, options);
    Environment env = options.environment;
    return spawn(loop, std::move(words), &env, options);
}

Child* start_batch(uv_loop_t* loop, const char* batch_file,
                   const std::vector<std::string>& arguments, const Options& options) {
    BatchRun run;
    std::string note;
    int error = read_batch(batch_file, arguments, &run, &note);
    if (error != 0) {
        set_failure(error, std::move(note));
        return nullptr;
    }
    Environment env = options.environment.empty() ? server_environment() : options.environment;
    // Named, not bound: clang 14 cannot capture a structured binding.
    for (const auto& variable : run.variables) {
        const std::string& name = variable.first;
        const std::string& value = variable.second;
        if (value.empty()) {
            std::erase_if(env, [&name](const std::string& entry) {
                return entry.size() > name.size() && entry[name.size()] == '=' &&
                       entry.compare(0, name.size(), name) == 0;
            });
        } else {
            set_variable(env, name, value);
        }
    }
    return spawn(loop, split_words(run.command_line), &env, options);
}

// ---- Testing, ending, releasing ----

Status status(const Child* child) {
    if (child == nullptr) return {State::kFailed, 0, 0};
    if (!child->exited) return {State::kRunning, 0, 0};
    return {State::kEnded, child->exit_code, child->term_signal};
}

pid_t pid(const Child* child) {
    return child != nullptr ? child->pid : 0;
}

int end(Child* child, unsigned grace_ms) {
    if (child == nullptr || child->exited || child->kill_pending) return 0;
    int sig = grace_ms == 0 ? SIGKILL : SIGTERM;
    if (::kill(-child->pid, sig) != 0 && errno != ESRCH) {
        int error = errno;
        set_failure(error);
        return -error;
    }
    if (grace_ms == 0) return 0;
    int result = uv_timer_start(&child->kill_timer, on_kill_timer, grace_ms, 0);
    if (result != 0) {
        set_failure(result);
        ::kill(-child->pid, SIGKILL);
        return result;
    }
    child->kill_pending = true;
    return 0;
}

void release(Child* child) {
    if (child == nullptr) return;
    child->released = true;
    retire_if_done(child);
}

void shutdown(uv_loop_t* loop, unsigned grace_ms) {
    // Take every live record of the loop out of libuv's hands: its handles are
    // closed now (freed by the loop's close callbacks), and the leaders still
    // running are reaped here instead.
    std::vector<pid_t> groups;
    std::vector<pid_t> leaders;
    for (Child* child : children()) {
        if (child->loop != loop || child->closing) continue;
        if (!child->exited) {
            ::kill(-child->pid, SIGTERM);
            leaders.push_back(child->pid);
        }
        if (!child->exited || child->kill_pending) groups.push_back(child->pid);
        child->released = child->closing = true;
        child->kill_pending = false;
        uv_timer_stop(&child->kill_timer);
        close_handle(reinterpret_cast<uv_handle_t*>(&child->process));
        close_handle(reinterpret_cast<uv_handle_t*>(&child->kill_timer));
    }
    auto reap_leaders = [&leaders] {
        std::erase_if(leaders, [](pid_t leader) { return reaped(leader); });
    };
    int64_t deadline = now_ms() + grace_ms;
    for (;;) {
        reap_leaders();
        std::erase_if(groups, [](pid_t group) { return !group_exists(group); });
        if (groups.empty() || now_ms() >= deadline) break;
        pause_briefly();
    }
    for (pid_t group : groups) ::kill(-group, SIGKILL);
    // A killed process ends at once unless the kernel holds it; what is still
    // there after a second is left to init once the server has exited.
    deadline = now_ms() + 1000;
    for (reap_leaders(); !leaders.empty() && now_ms() < deadline; reap_leaders()) pause_briefly();
}

size_t held_count(uv_loop_t* loop) {
    return static_cast<size_t>(std::count_if(children().begin(), children().end(),
                                             [loop](Child* c) { return c->loop == loop; }));
}

}  // namespace qxs::process
