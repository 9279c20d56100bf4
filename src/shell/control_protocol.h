// The control conversations: how other programs on this machine cycle the
// logs, reload the settings, pause and resume the server. Each client of the
// control socket (control_server.h) sends lines, the server answers with
// lines; README.md documents the wire format for people driving it by hand:
//
//   client                          server
//   INITIATE [service [topic]]  ->  ACK QXS test      (nothing when refused)
//   EXECUTE command             ->  ACK EXECUTE accepted, then the command runs
//   TERMINATE                   ->  TERMINATE, then the server closes
//   ADVISE, UNADVISE, REQUEST, POKE, anything else  ->  no answer
//   ACK status                  ->  no answer ("DDE send data failed" unless accepted)
//                                   TERMINATE, unasked: the server is stopping,
//                                   or the conversation was idle for 60 seconds
//
// Nothing here touches a socket: the server hands in lines and the time, and
// takes the answers through a Transport, so the rules can be tested alone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace qxs::control {

// Longer lines keep their first kMaxLine bytes; the rest is discarded.
inline constexpr size_t kMaxLine = 4096;
// An execute command is cut to this many characters before it is compared.
inline constexpr size_t kMaxCommand = 100;
inline constexpr size_t kMaxConversations = 10;
// A client that sends no complete line for this long (milliseconds) is let
// go: an open conversation with a TERMINATE, a connection without one
// silently.
inline constexpr uint64_t kIdleMs = 60'000;

// Cuts one client's bytes into lines ending in LF; a CR just before the LF
// is dropped. A line longer than kMaxLine is delivered cut to kMaxLine when
// its LF arrives, the bytes between discarded, so the tail of a long line is
// never read as the next one. The reader is all the input memory a client
// has: one partial line at most.
class LineReader {
public:
    // Takes `count` bytes and calls on_line(std::string_view) for every line
    // they complete, in order, as long as on_line returns true. Returns false
    // when on_line asked to stop (the rest of the bytes are dropped).
    template <typename OnLine>
    bool feed(const char* data, size_t count, OnLine&& on_line) {
        for (size_t i = 0; i < count; ++i) {
            char c = data[i];
            if (c != '\n') {
                if (length_ < kMaxLine) line_[length_++] = c;
                continue;
            }
            size_t length = length_;
            if (length > 0 && line_[length - 1] == '\r') --length;
            length_ = 0;
            if (!on_line(std::string_view(line_, length))) return false;
        }
        return true;
    }

private:
    char line_[kMaxLine];
    size_t length_ = 0;
};

// What a client's line says: its first word, matched without regard to case,
// and the rest after one blank, exactly as sent.
enum class Verb {
    kInitiate,
    kExecute,
    kTerminate,
    kAck,
    kAdvise,
    kUnadvise,
    kRequest,
    kPoke,
    kOther
};
struct Message {
    Verb verb = Verb::kOther;
    std::string_view argument;
};
Message parse_message(std::string_view line);

// Runs one execute command: the whole text compared exactly (case counts)
// with cyclelogs, reloadini, pause, resume, qxsheadon, qxsheadoff; each
// writes its screen-log line first. Any other text is shown to the operator
// in the message box "Server Received Execute Command".
void execute_command(const char* command);

// SIGHUP reads the settings again (as reloadini), SIGUSR1 cycles the logs
// (as cyclelogs), each after a screen-log line naming the signal. Other
// signals do nothing.
void run_signal_command(int signal_number);

// The conversation rules for every client of the control socket, named by
// the ids the caller gives them. `now_ms` is in milliseconds on a clock that
// does not jump; only differences matter.
class Conversations {
public:
    class Transport {
    public:
        virtual ~Transport() = default;
        // Sends one line (given without its LF) to the client.
        virtual void send(int client, const char* line) = 0;
        // Closes the client's connection. The client is already forgotten:
        // no call names it again.
        virtual void close(int client) = 0;
    };

    explicit Conversations(Transport& transport) : transport_(transport) {}

    // A client has connected: no conversation yet, and it counts against
    // nothing but the idle limit.
    void connected(int client, uint64_t now_ms);
    // One complete line from the client. A command runs inside this call,
    // after its acknowledgement has been sent; it may show a message box.
    void line(int client, std::string_view text, uint64_t now_ms);
    // The client went away by itself (end of input or an error).
    void disconnected(int client);
    // Lets go every client idle for kIdleMs or more at `now_ms`.
    void sweep(uint64_t now_ms);
    // At shutdown: TERMINATE to every open conversation, oldest first, then
    // every client is closed.
    void terminate_all();

    size_t clients() const { return clients_.size(); }
    size_t open_conversations() const { return conversations_.size(); }

private:
    struct Client {
        int id;
        uint64_t last_heard_ms;
        bool open;  // INITIATE acknowledged
    };

    Client* find(int id);
    void initiate(Client& client, std::string_view argument);
    // Forgets the client (and its conversation) and closes it.
    void end(int id);

    Transport& transport_;
    std::vector<Client> clients_;
    std::vector<int> conversations_;  // open ones, in the order they were opened
};

}  // namespace qxs::control
