#include "shell/control_protocol.h"

#include <algorithm>
#include <csignal>
#include <cstring>

#include "config/settings.h"
#include "logging/screen_log.h"
#include "platform/strings.h"
#include "shell/operator_commands.h"
#include "shell/shell.h"

namespace qxs::control {
namespace {

bool same_no_case(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return ascii_lower(x) == ascii_lower(y);
           });
}

struct VerbName {
    const char* name;
    Verb verb;
};

constexpr VerbName kVerbs[] = {
    {"INITIATE", Verb::kInitiate}, {"EXECUTE", Verb::kExecute}, {"TERMINATE", Verb::kTerminate},
    {"ACK", Verb::kAck},           {"ADVISE", Verb::kAdvise},   {"UNADVISE", Verb::kUnadvise},
    {"REQUEST", Verb::kRequest},   {"POKE", Verb::kPoke},
};

// The head animation has no operator command of its own: only the control
// socket switches it, and only a window has one.
constexpr int kHeadOn = -1;
constexpr int kHeadOff = -2;

struct ExecuteCommand {
    const char* text;
    const char* log_line;
    int command;
};

constexpr ExecuteCommand kExecuteCommands[] = {
    {"cyclelogs", "DDE -- CycleLogs\r\n", kCmdCycleLogs},
    {"reloadini", "DDE -- ReloadINI\r\n", kCmdReload},
    {"pause", "DDE -- Pause\r\n", kCmdPauseOn},
    {"resume", "DDE -- Resume\r\n", kCmdResume},
    {"qxsheadon", "DDE -- QxsHeadOn\r\n", kHeadOn},
    {"qxsheadoff", "DDE -- QxsHeadOff\r\n", kHeadOff},
};

}  // namespace

Message parse_message(std::string_view line) {
    size_t blank = line.find(' ');
    std::string_view word = line.substr(0, blank);
    Message message;
    if (blank != std::string_view::npos) message.argument = line.substr(blank + 1);
    for (const VerbName& v : kVerbs) {
        if (same_no_case(word, v.name)) message.verb = v.verb;
    }
    return message;
}

void execute_command(const char* command) {
    for (const ExecuteCommand& e : kExecuteCommands) {
        if (std::strcmp(command, e.text) != 0) continue;
        screen_log(e.log_line);
        if (e.command == kHeadOn || e.command == kHeadOff) {
            shell().set_head_animation(e.command == kHeadOn);
        } else {
            run_operator_command(e.command);
        }
        return;
    }
    shell().message_box(command, "Server Received Execute Command");
}

void run_signal_command(int signal_number) {
    if (signal_number == SIGHUP) {
        screen_log("SIGHUP -- ReloadINI\r\n");
        run_operator_command(kCmdReload);
    } else if (signal_number == SIGUSR1) {
        screen_log("SIGUSR1 -- CycleLogs\r\n");
        run_operator_command(kCmdCycleLogs);
    }
}

Conversations::Client* Conversations::find(int id) {
    for (Client& c : clients_) {
        if (c.id == id) return &c;
    }
    return nullptr;
}

void Conversations::connected(int client, uint64_t now_ms) {
    clients_.push_back({client, now_ms, false});
}

void Conversations::disconnected(int client) {
    std::erase_if(clients_, [client](const Client& c) { return c.id == client; });
    std::erase(conversations_, client);
}

void Conversations::end(int id) {
    disconnected(id);
    transport_.close(id);
}

void Conversations::line(int client, std::string_view text, uint64_t now_ms) {
    Client* c = find(client);
    if (c == nullptr) return;
    c->last_heard_ms = now_ms;
    Message message = parse_message(text);
    if (!c->open) {
        // Without a conversation there is nobody to answer to: only an
        // INITIATE means anything.
        if (message.verb == Verb::kInitiate) initiate(*c, message.argument);
        return;
    }
    switch (message.verb) {
        case Verb::kExecute: {
            // The whole line has been read; only its first characters count.
            char command[kMaxCommand + 1];
            size_t length = std::min(message.argument.size(), kMaxCommand);
            std::memcpy(command, message.argument.data(), length);
            command[length] = '\0';
            transport_.send(client, "ACK EXECUTE accepted");
            // Last: a message box may keep this call open while other clients
            // are served, and nothing here is looked at afterwards.
            execute_command(command);
            return;
        }
        case Verb::kTerminate:
            transport_.send(client, "TERMINATE");
            end(client);
            return;
        case Verb::kAck:
            if (message.argument != "accepted")
                shell().message_box("DDE send data failed", "Server");
            return;
        default:
            // ADVISE, UNADVISE, REQUEST, POKE, a repeated INITIATE and
            // anything unknown are ignored, unanswered.
            return;
    }
}

void Conversations::initiate(Client& client, std::string_view argument) {
    if (settings.DDE_mode == 0) return;
    if (settings.debug1) screen_log("Got WM_DDE_INITIATE\r\n");
    std::string_view service = argument.substr(0, argument.find(' '));
    // No service, or "*", asks for any service; the topic is never looked at.
    if (!service.empty() && service != "*" && !same_no_case(service, "QXS")) return;
    screen_log("DDE connect\r\n");
    if (conversations_.size() >= kMaxConversations) return;
    client.open = true;
    conversations_.push_back(client.id);
    transport_.send(client.id, "ACK QXS test");
}

void Conversations::sweep(uint64_t now_ms) {
    std::vector<int> idle;
    for (const Client& c : clients_) {
        if (now_ms - c.last_heard_ms >= kIdleMs) idle.push_back(c.id);
    }
    for (int id : idle) {
        Client* c = find(id);
        if (c == nullptr) continue;
        if (c->open) transport_.send(id, "TERMINATE");
        end(id);
    }
}

void Conversations::terminate_all() {
    for (int id : conversations_) transport_.send(id, "TERMINATE");
    std::vector<int> ids;
    for (const Client& c : clients_) ids.push_back(c.id);
    clients_.clear();
    conversations_.clear();
    for (int id : ids) transport_.close(id);
}

}  // namespace qxs::control
