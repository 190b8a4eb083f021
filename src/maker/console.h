// The maker's console (--watch --serve): a web page and a WebSocket served from the player, on
// one thread of its own. The player's main loop stays single-threaded: commands wait in one
// bounded queue that the loop drains each turn, and answers and events wait in a bounded queue
// per client that the serving thread sends as the client reads, so that no client can stall the
// show.
//
// Nobody else gets in: every request must carry the run's token (?token=...), name the served
// address in its Host header, and a WebSocket must come from the console's own page (Origin).
// Anything else is refused with a bare 403. Served on an address beyond this machine, the Host
// must still name the served address (in figures, when it is served on every address).
#pragma once

#include <memory>
#include <string>
#include <vector>

inline constexpr int CONSOLE_PROTOCOL_VERSION = 3;
inline constexpr int CONSOLE_MAX_CLIENTS = 8;
// A text frame holds one command line; longer frames are answered with an error.
inline constexpr size_t CONSOLE_MAX_FRAME = 65536;
// Commands waiting for the main loop, in all and from one client; frames waiting to be sent
// to one client (time events go first when it is full).
inline constexpr size_t CONSOLE_MAX_COMMANDS = 64;
inline constexpr size_t CONSOLE_MAX_COMMANDS_PER_CLIENT = 16;
inline constexpr size_t CONSOLE_MAX_OUTGOING = 256;

struct ConsoleCommand {
    int client = 0;
    std::string line;
};

class Console {
  public:
    // Serves at `address`:`port` (port 0: any free one). Null, with the reason in `error`, when
    // the server cannot start.
    static std::unique_ptr<Console> start(const std::string& address, int port, std::string& error);
    ~Console();
    Console(const Console&) = delete;
    Console& operator=(const Console&) = delete;

    // "http://ADDR:PORT/?token=TOKEN"
    std::string url() const;
    // Whether only this machine can reach the console.
    bool on_loopback() const;
    // The commands received since the last call, oldest first.
    std::vector<ConsoleCommand> take_commands();
    // Whether a client came since the last call (it has not been told the state yet).
    bool take_joined();
    // One frame to one client, or to every client; time events are `droppable`.
    void send(int client, const std::string& text);
    void broadcast(const std::string& text, bool droppable);
    // The time line as timeline.json and timeline.svg serve it from now on.
    void publish(std::string json, std::string svg);
    // The spline files and their curves as splines.json serves them from now on.
    void publish_splines(std::string json);
    // Writes the address into `note` (in the demo folder: CONSOLE_NOTE), readable by its owner
    // only, for tools on the same folder; removed when the console stops, unless another console
    // has written its own there meanwhile. False when it cannot be written.
    bool announce(const std::string& note);

    struct State;

  private:
    Console() = default;
    std::unique_ptr<State> state_;
};

// The file in a demo folder where a console serving that folder leaves its address.
inline constexpr const char* CONSOLE_NOTE = ".tarvel-console";

// A client of the console at `url` (as Console::url gives it): sends one command line over the
// WebSocket and returns the answer, skipping events; "" with the reason in `error` when no
// console answers within `seconds`.
std::string console_ask(const std::string& url, const std::string& command, double seconds,
                        std::string& error);

struct TimelineInput;
struct CheckProblem;

// What timeline.json serves: the sections, the span, the tempo, the loudness and the problems
// (each hint folded into the error before it).
std::string console_timeline_json(const TimelineInput& input, const std::vector<CheckProblem>& problems);

// A fresh token of 128 random bits as 32 hexadecimal digits; "" when no random source answers.
std::string console_token();

// Whether a screenshot named over the socket stays inside the demo folder: a relative path
// without a ".." component.
bool console_path_inside(const std::string& path);
