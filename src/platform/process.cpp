// Starting, testing, ending and reaping children on the libuv loop. The
// environment block, the server's current directory and the error texts are
// in process_env.cpp; batch files are read in batch_file.cpp.
//
// Children are started with posix_spawn, which shares the server's memory
// with the child until the exec instead of copying its page tables as a
// fork does: the fork and the child's first steps were most of what a CGI
// request cost. The loop's SIGCHLD watcher reaps them.
#include "platform/process.h"

#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
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
#include "platform/system_calls.h"

extern char** environ;

namespace qxs::process {

// One started program. Its timer is closed when the program has ended (been
// reaped), the owner has released it and no SIGKILL is pending; the record
// is freed by the timer's close callback, never before.
struct Child {
    uv_timer_t kill_timer{};
    uv_loop_t* loop = nullptr;
    pid_t pid = 0;
    bool exited = false;
    int exit_code = 0;
    int term_signal = 0;
    bool released = false;
    bool kill_pending = false;
    bool closing = false;  // its timer is being closed: only the free is left
};

namespace {

// ---- The children, for reaping, shutdown and held_count ----

std::vector<Child*>& children() {
    static std::vector<Child*> list;
    return list;
}

void on_timer_closed(uv_handle_t* handle) {
    Child* child = static_cast<Child*>(handle->data);
    auto& list = children();
    list.erase(std::remove(list.begin(), list.end(), child), list.end());
    delete child;
}

void close_timer(Child* child) {
    auto* handle = reinterpret_cast<uv_handle_t*>(&child->kill_timer);
    if (!uv_is_closing(handle)) uv_close(handle, on_timer_closed);
}

// Closes what is left once nobody needs the record any more.
void retire_if_done(Child* child) {
    if (!child->released || !child->exited || child->kill_pending || child->closing) return;
    child->closing = true;
    close_timer(child);
}

// Takes the child's exit status when it has ended; true once it has.
bool reap(Child* child) {
    if (child->exited) return true;
    int status = 0;
    pid_t result = ::waitpid(child->pid, &status, WNOHANG);
    if (result == 0 || (result < 0 && errno == EINTR)) return false;
    child->exited = true;
    if (result == child->pid && WIFEXITED(status)) child->exit_code = WEXITSTATUS(status);
    if (result == child->pid && WIFSIGNALED(status)) child->term_signal = WTERMSIG(status);
    return true;
}

void on_kill_timer(uv_timer_t* timer) {
    Child* child = static_cast<Child*>(timer->data);
    child->kill_pending = false;
    // The group outlives its leader while anything it started is still in
    // it, and its id is not handed out again while it does.
    ::kill(-child->pid, SIGKILL);
    retire_if_done(child);
}

// ---- SIGCHLD: one watcher per loop that has children ----

struct Watch {
    uv_loop_t* loop;
    uv_signal_t* signal;
};

std::vector<Watch>& watches() {
    static std::vector<Watch> list;
    return list;
}

// The watcher keeps the loop running while a child of the loop runs, as a
// running child's own handle would, and no longer.
void settle_watch(uv_loop_t* loop) {
    bool running = std::any_of(children().begin(), children().end(),
                               [loop](const Child* c) { return c->loop == loop && !c->exited; });
    for (const Watch& watch : watches()) {
        if (watch.loop != loop) continue;
        auto* handle = reinterpret_cast<uv_handle_t*>(watch.signal);
        if (running) {
            uv_ref(handle);
        } else {
            uv_unref(handle);
        }
    }
}

// Signals of several ended children may arrive as one: every child of the
// loop that has not been seen to end is asked.
void on_child_signal(uv_signal_t* handle, int) {
    for (Child* child : children()) {
        if (child->loop == handle->loop && !child->exited && reap(child)) retire_if_done(child);
    }
    settle_watch(handle->loop);
}

void free_signal(uv_handle_t* handle) {
    delete reinterpret_cast<uv_signal_t*>(handle);
}

// The loop's watcher, started before its first child so that no ending is
// missed.
bool watch_children(uv_loop_t* loop) {
    for (const Watch& watch : watches()) {
        if (watch.loop == loop) return true;
    }
    auto* signal = new uv_signal_t;
    uv_signal_init(loop, signal);
    int result = uv_signal_start(signal, on_child_signal, SIGCHLD);
    if (result != 0) {
        set_failure(result);
        uv_close(reinterpret_cast<uv_handle_t*>(signal), free_signal);
        return false;
    }
    watches().push_back(Watch{loop, signal});
    return true;
}

void stop_watching(uv_loop_t* loop) {
    auto& list = watches();
    for (auto it = list.begin(); it != list.end(); ++it) {
        if (it->loop != loop) continue;
        uv_close(reinterpret_cast<uv_handle_t*>(it->signal), free_signal);
        list.erase(it);
        return;
    }
}

// ---- Starting ----

// Descriptors opened without close-on-exec would reach the child; marking
// them all is one system call and, on our one thread, free of races. The
// child gets its standard descriptors as copies.
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

// The value of PATH in `env` (the server's own when nullptr).
std::string path_variable(const Environment* env) {
    if (env == nullptr) {
        const char* path = std::getenv("PATH");
        return path != nullptr ? path : "/bin:/usr/bin";
    }
    for (const std::string& entry : *env) {
        if (entry.compare(0, 5, "PATH=") == 0) return entry.substr(5);
    }
    return "/bin:/usr/bin";
}

// A bare program name is looked for in the PATH the child gets, as execvp
// would in the child; a relative folder there is relative to where the
// child starts. 0, or ENOENT.
int find_program(std::string& name, const Environment* env, const std::string& directory) {
    if (name.find('/') != std::string::npos) return 0;
    const std::string path = path_variable(env);
    for (size_t start = 0; start <= path.size();) {
        size_t end = path.find(':', start);
        if (end == std::string::npos) end = path.size();
        std::string candidate;
        if (path[start] != '/' && !directory.empty()) candidate.append(directory).append("/");
        if (end == start) candidate.append(".");
        candidate.append(path, start, end - start).append("/").append(name);
        struct stat st {};
        if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
            ::access(candidate.c_str(), X_OK) == 0) {
            name = candidate;
            return 0;
        }
        start = end + 1;
    }
    return ENOENT;
}

// The child's side of the start: its standard descriptors (copies of the
// caller's, else /dev/null; standard error always /dev/null), its folder,
// a session and process group of its own (so that end() reaches everything
// it starts, and the server's terminal signals do not), no blocked signal
// and every signal at its default (the server ignores SIGPIPE).
int spawn_process(pid_t* pid, const std::string& program, char* const* argv, char* const* envp,
                  const std::string& directory, const Options& options) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const int given[2] = {options.stdin_fd, options.stdout_fd};
    for (int target = 0; target < 3; ++target) {
        if (target < 2 && given[target] >= 0) {
            posix_spawn_file_actions_adddup2(&actions, given[target], target);
        } else {
            posix_spawn_file_actions_addopen(&actions, target, "/dev/null",
                                             target == 0 ? O_RDONLY : O_WRONLY, 0);
        }
    }
    if (!directory.empty()) posix_spawn_file_actions_addchdir_np(&actions, directory.c_str());
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes,
                             POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    sigset_t signals;
    sigemptyset(&signals);
    posix_spawnattr_setsigmask(&attributes, &signals);
    sigfillset(&signals);
    posix_spawnattr_setsigdefault(&attributes, &signals);

    int result = system_calls().spawn(pid, program.c_str(), &actions, &attributes, argv, envp);
    if (result == ENOEXEC) {
        // A file without a "#!" line is a shell script, as execvp has it.
        std::vector<char*> words = {const_cast<char*>("/bin/sh"),
                                    const_cast<char*>(program.c_str())};
        for (char* const* arg = argv + 1; *arg != nullptr; ++arg) words.push_back(*arg);
        words.push_back(nullptr);
        result = system_calls().spawn(pid, "/bin/sh", &actions, &attributes, words.data(), envp);
    }
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    return result;
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
    const std::string directory = current_directory();
    std::string program = words[0];
    if (int error = find_program(program, env, directory); error != 0) {
        set_failure(error);
        return nullptr;
    }
    if (!watch_children(loop)) return nullptr;
    std::vector<char*> args = pointers(words);
    std::vector<char*> env_pointers;
    if (env != nullptr) env_pointers = pointers(*env);

    close_descriptors_on_exec();
    pid_t pid = 0;
    int result = spawn_process(&pid, program, args.data(),
                               env != nullptr ? env_pointers.data() : environ, directory, options);
    if (result != 0) {
        set_failure(result);
        settle_watch(loop);
        return nullptr;
    }
    auto* child = new Child;
    child->loop = loop;
    child->pid = pid;
    child->kill_timer.data = child;
    uv_timer_init(loop, &child->kill_timer);
    children().push_back(child);
    settle_watch(loop);
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
    return start_arguments(loop, split_words(command_line), options);
}

Child* start_arguments(uv_loop_t* loop, std::vector<std::string> words, const Options& options) {
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
    return spawn(loop, std::move(run.command_words), &env, options);
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
    // Take every live record of the loop out of the loop's hands: its timer
    // is closed now (the record freed by the loop's close callbacks), and the
    // leaders still running are reaped here instead.
    std::vector<pid_t> groups;
    std::vector<pid_t> leaders;
    for (Child* child : children()) {
        if (child->loop != loop || child->closing) continue;
        if (!reap(child)) {
            ::kill(-child->pid, SIGTERM);
            leaders.push_back(child->pid);
        }
        if (!child->exited || child->kill_pending) groups.push_back(child->pid);
        child->released = child->closing = true;
        child->kill_pending = false;
        uv_timer_stop(&child->kill_timer);
        close_timer(child);
    }
    stop_watching(loop);
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
