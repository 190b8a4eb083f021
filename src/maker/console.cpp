// The maker's console: its own small HTTP and WebSocket server on one thread that polls every
// connection, the checks every request passes, and the queues between that thread and the
// player's main loop.
//
// The server reads at most what the protocol needs before it judges: a request's head up to
// WEB_MAX_HEAD bytes and within HEAD_SECONDS of the connection, a frame's header before any of its
// payload, so that a frame claiming a gigabyte is answered and skipped without being kept. A
// connection that sends slowly holds no thread: a valid request is served whatever others do.
#include "maker/console.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <strings.h>
#include <sys/random.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <list>
#include <map>
#include <mutex>
#include <thread>
#include <utility>

#include "base/io.h"
#include "maker/console_note.h"
#include "maker/web.h"

// The page's files, built into the binary from src/maker/console/.
extern const char console_page_html[];
extern const char console_page_js[];
extern const char console_page_css[];

namespace {

using Clock = std::chrono::steady_clock;

// Connections open at once, sockets and plain requests together; past it the oldest connection
// still sending its head makes room.
constexpr size_t MAX_CONNECTIONS = 32;
// A request's head must come whole within this time of the connection.
constexpr double HEAD_SECONDS = 3;
// A refused request's connection is read to its end, for a moment at most, so that the refusal
// reaches a client still sending (closing with bytes unread would reset the connection).
constexpr double DRAIN_SECONDS = 1;
// A socket client silent this long is pinged; silent twice as long, it is closed.
constexpr double QUIET_SECONDS = 30;
// Bytes read from one connection in one turn.
constexpr size_t READ_CHUNK = 16384;
// Control frames (ping, pong, close) are small by the protocol.
constexpr uint64_t MAX_CONTROL = 125;

struct Outgoing {
    std::string text;
    bool droppable = false;
};

double seconds_since(Clock::time_point t) {
    return std::chrono::duration<double>(Clock::now() - t).count();
}

std::string replaced(std::string text, const std::string& what, const std::string& with) {
    size_t at = text.find(what);
    if (at != std::string::npos) text.replace(at, what.size(), with);
    return text;
}

// The value of `name` in a query string ("" when absent), not decoded: a token is plain hex.
std::string query_value(const std::string& q, const std::string& name) {
    size_t at = 0;
    while (at <= q.size()) {
        size_t amp = q.find('&', at);
        std::string pair = q.substr(at, amp == std::string::npos ? std::string::npos : amp - at);
        if (pair.rfind(name + "=", 0) == 0) return pair.substr(name.size() + 1);
        if (amp == std::string::npos) break;
        at = amp + 1;
    }
    return "";
}

// Compares in a time that depends on the lengths only.
bool same_secret(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    unsigned char differ = 0;
    for (size_t i = 0; i < a.size(); ++i) differ |= static_cast<unsigned char>(a[i] ^ b[i]);
    return differ == 0;
}

// "ADDR:PORT" with ADDR an address in figures: an IPv4 address or a bracketed IPv6 one. No web
// page can make a browser name such a host for a site of its own.
bool literal_host(const std::string& host, const std::string& port_tail) {
    if (host.size() <= port_tail.size() ||
        host.compare(host.size() - port_tail.size(), port_tail.size(), port_tail) != 0)
        return false;
    std::string name = host.substr(0, host.size() - port_tail.size());
    unsigned char bytes[16];
    if (name.size() > 2 && name.front() == '[' && name.back() == ']')
        return inet_pton(AF_INET6, name.substr(1, name.size() - 2).c_str(), bytes) == 1;
    return inet_pton(AF_INET, name.c_str(), bytes) == 1;
}

bool loopback(const sockaddr* a) {
    if (a->sa_family == AF_INET)
        return (ntohl(reinterpret_cast<const sockaddr_in*>(a)->sin_addr.s_addr) >> 24) == 127;
    if (a->sa_family != AF_INET6) return false;
    const in6_addr& v6 = reinterpret_cast<const sockaddr_in6*>(a)->sin6_addr;
    return IN6_IS_ADDR_LOOPBACK(&v6) || (IN6_IS_ADDR_V4MAPPED(&v6) && v6.s6_addr[12] == 127);
}

// A name or address for the resolver: "[::1]" is "::1".
std::string bare_address(const std::string& address) {
    if (address.size() > 2 && address.front() == '[' && address.back() == ']')
        return address.substr(1, address.size() - 2);
    return address;
}

void close_fd(int& fd) {
    if (fd >= 0) close(fd);
    fd = -1;
}

}  // namespace

// One WebSocket client as the main loop sees it: what waits to be sent, and how many of its
// commands wait for the loop.
struct ConsoleClient {
    std::deque<Outgoing> queue;
    size_t commands_waiting = 0;
};

// One connection as the serving thread sees it.
struct Connection {
    enum class Stage { Head, Socket, Draining };
    int fd = -1;
    Stage stage = Stage::Head;
    Clock::time_point since = Clock::now();  // the connection, then the start of draining
    Clock::time_point heard = Clock::now();  // the last bytes from a socket client
    bool pinged = false;
    bool closing = false;  // close once `out` is written
    int client = 0;        // the WebSocket client's id, 0 before the handshake
    std::string in;        // bytes read and not used yet: a head, or a frame's header
    std::string out;       // bytes being written
    std::string control;   // pongs and the close frame, sent before queued frames
    // The frame being read.
    bool in_frame = false;
    FrameHead frame;
    uint64_t frame_read = 0;
    bool frame_skipped = false;
    std::string payload;
};

struct Console::State {
    int listener = -1;
    int wake_read = -1, wake_write = -1;
    std::thread thread;
    std::string address;
    int port = 0;
    bool on_loopback = true;
    std::string token;
    std::string note;  // the address note written for tools, "" when none
    std::string page;
    std::list<Connection> connections;  // the serving thread's own

    std::mutex mutex;  // guards what follows
    std::map<int, ConsoleClient> clients;
    int next_client = 1;
    bool joined = false;
    bool stopping = false;
    std::deque<ConsoleCommand> commands;
    std::shared_ptr<const std::string> json, svg, splines;

    bool wildcard() const { return address == "0.0.0.0" || address == "[::]" || address == "::"; }
    std::string host() const { return address + ":" + std::to_string(port); }

    bool host_allowed(const std::string* host) const {
        if (host == nullptr) return false;
        const std::string& h = *host;
        const std::string port_tail = ":" + std::to_string(port);
        // Served on every address, the console is named by one of them in figures: a name could
        // be another site's (DNS rebinding).
        if (wildcard()) return literal_host(h, port_tail);
        // The served address itself with no port is what a client library names when it leaves
        // the port out; an address in figures cannot be another site's name.
        if (h == this->host() || h == address) return true;
        return on_loopback && address != "localhost" && h == "localhost" + port_tail;
    }

    void wake() {
        const char byte = 1;
        // A full pipe already wakes the thread.
        if (write(wake_write, &byte, 1) < 0) return;
    }

    // Queues a frame for a client; when full, the oldest time event makes room, else the frame
    // is dropped. Called with `mutex` held.
    static void queue_frame(ConsoleClient& c, const std::string& text, bool droppable) {
        if (c.queue.size() >= CONSOLE_MAX_OUTGOING) {
            auto old =
                std::find_if(c.queue.begin(), c.queue.end(), [](const Outgoing& o) { return o.droppable; });
            if (old == c.queue.end()) return;
            c.queue.erase(old);
        }
        c.queue.push_back({text, droppable});
    }

    void serve();
    void accept_all();
    void respond(Connection& c, int status, const char* reason);
    void respond_body(Connection& c, const std::string& host, const char* type, const std::string& body);
    void read_from(Connection& c);
    void handle_head(Connection& c);
    void handle_frames(Connection& c, std::string_view bytes);
    void handle_frame(Connection& c);
    void write_to(Connection& c);
    void drop(Connection& c);
};

namespace {

using State = Console::State;

}  // namespace

void State::respond(Connection& c, int status, const char* reason) {
    c.out += "HTTP/1.1 " + std::to_string(status) + " " + reason +
             "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
    c.stage = Connection::Stage::Draining;
    c.since = Clock::now();
    c.in.clear();
}

void State::respond_body(Connection& c, const std::string& host, const char* type, const std::string& body) {
    char head[1024];
    std::snprintf(head, sizeof head,
                  "HTTP/1.1 200 OK\r\nContent-Type: %s\r\nContent-Length: %zu\r\nCache-Control: no-store\r\n"
                  "Connection: close\r\nX-Content-Type-Options: nosniff\r\nX-Frame-Options: DENY\r\n"
                  "Content-Security-Policy: default-src 'none'; script-src 'unsafe-inline'; style-src "
                  "'unsafe-inline'; img-src data:; connect-src 'self' ws://%s\r\n\r\n",
                  type, body.size(), host.c_str());
    c.out += head;
    c.out += body;
    c.stage = Connection::Stage::Draining;
    c.since = Clock::now();
    c.in.clear();
}

// A whole head: the checks, then the page, the time line, or the socket's handshake.
void State::handle_head(Connection& c) {
    HttpHead head;
    size_t used = 0;
    switch (http_head_parse(c.in, head, used)) {
        case HeadResult::Incomplete:
            return;
        case HeadResult::TooLarge:
            return respond(c, 431, "Request Header Fields Too Large");
        case HeadResult::Malformed:
            return respond(c, 400, "Bad Request");
        case HeadResult::Complete:
            break;
    }
    const std::string* host = head.header("host");
    if (!host_allowed(host) || !same_secret(query_value(head.query, "token"), token))
        return respond(c, 403, "Forbidden");
    if (head.path == "/ws") {
        const std::string* origin = head.header("origin");
        if (origin == nullptr || *origin != "http://" + *host) return respond(c, 403, "Forbidden");
        const std::string *upgrade = head.header("upgrade"), *connection = head.header("connection"),
                          *version = head.header("sec-websocket-version"),
                          *key = head.header("sec-websocket-key");
        const std::string accept = key != nullptr ? websocket_accept(*key) : "";
        if (head.method != "GET" || upgrade == nullptr || strcasecmp(upgrade->c_str(), "websocket") != 0 ||
            connection == nullptr || !http_has_token(*connection, "upgrade") || version == nullptr ||
            *version != "13" || accept.empty())
            return respond(c, 400, "Bad Request");
        {
            std::lock_guard<std::mutex> lock(mutex);
            if (clients.size() >= CONSOLE_MAX_CLIENTS) return respond(c, 503, "Service Unavailable");
            c.client = next_client++;
            clients[c.client];
            joined = true;
        }
        c.out +=
            "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
            "Sec-WebSocket-Accept: " +
            accept + "\r\n\r\n";
        c.stage = Connection::Stage::Socket;
        c.heard = Clock::now();
        // What the client sent right behind its head is its first frames.
        const std::string rest = c.in.substr(used);
        c.in.clear();
        return handle_frames(c, rest);
    }
    if (head.method != "GET") return respond(c, 405, "Method Not Allowed");
    if (head.path == "/") return respond_body(c, *host, "text/html; charset=utf-8", page);
    std::shared_ptr<const std::string> body;
    const char* type = nullptr;
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (head.path == "/timeline.json") {
            body = json;
            type = "application/json";
        } else if (head.path == "/timeline.svg") {
            body = svg;
            type = "image/svg+xml";
        } else if (head.path == "/splines.json") {
            body = splines;
            type = "application/json";
        }
    }
    if (type == nullptr) return respond(c, 404, "Not Found");
    if (body == nullptr) return respond(c, 503, "Service Unavailable");
    respond_body(c, *host, type, *body);
}

// Frame bytes as they come: a header is kept until it is whole (14 bytes at most), a payload up
// to the frame limit; a longer payload is read past and dropped.
void State::handle_frames(Connection& c, std::string_view bytes) {
    while (!bytes.empty() && !c.closing) {
        if (!c.in_frame) {
            const size_t take = std::min<size_t>(bytes.size(), 14 - c.in.size());
            c.in.append(bytes.substr(0, take));
            if (!websocket_frame_head(c.in, c.frame)) {
                bytes.remove_prefix(take);
                continue;
            }
            bytes.remove_prefix(take - (c.in.size() - c.frame.size));
            c.in.clear();
            const bool control = c.frame.opcode >= 8;
            if (!c.frame.masked || (control && (c.frame.length > MAX_CONTROL || !c.frame.final))) {
                // Not a client's frame: the connection ends.
                c.control += websocket_frame(WS_CLOSE, "\x03\xea");
                c.closing = true;
                return;
            }
            c.in_frame = true;
            c.frame_read = 0;
            c.payload.clear();
            // Only the last frame of a message is answered, whatever came before it.
            c.frame_skipped = !control && (!c.frame.final || c.frame.length > CONSOLE_MAX_FRAME);
            if (!control && c.frame.final && c.frame.length > CONSOLE_MAX_FRAME) {
                std::lock_guard<std::mutex> lock(mutex);
                queue_frame(clients[c.client],
                            "error frame over " + std::to_string(CONSOLE_MAX_FRAME) + " bytes", false);
            }
        }
        const size_t take =
            static_cast<size_t>(std::min<uint64_t>(bytes.size(), c.frame.length - c.frame_read));
        if (!c.frame_skipped) c.payload.append(bytes.substr(0, take));
        c.frame_read += take;
        bytes.remove_prefix(take);
        if (c.frame_read == c.frame.length) {
            c.in_frame = false;
            if (!c.frame_skipped) handle_frame(c);
        }
    }
}

// A whole frame within the limits.
void State::handle_frame(Connection& c) {
    websocket_unmask(c.payload.data(), c.payload.size(), c.frame.mask, 0);
    switch (c.frame.opcode) {
        case WS_CLOSE:
            c.control += websocket_frame(WS_CLOSE, c.payload.substr(0, 2));
            c.closing = true;
            return;
        case WS_PING:
            c.control += websocket_frame(WS_PONG, c.payload);
            return;
        case WS_PONG:
            return;
        default:
            break;
    }
    std::lock_guard<std::mutex> lock(mutex);
    ConsoleClient& client = clients[c.client];
    if (c.frame.opcode != WS_TEXT) {
        queue_frame(client, "error commands come in whole text frames", false);
    } else if (commands.size() >= CONSOLE_MAX_COMMANDS ||
               client.commands_waiting >= CONSOLE_MAX_COMMANDS_PER_CLIENT) {
        queue_frame(client, "error busy: too many commands waiting", false);
    } else {
        std::string line = std::move(c.payload);
        if (line.find_first_of("\r\n") != std::string::npos) line.erase(line.find_first_of("\r\n"));
        ++client.commands_waiting;
        commands.push_back({c.client, std::move(line)});
    }
}

void State::read_from(Connection& c) {
    char buffer[READ_CHUNK];
    // A head is never buffered past its bound.
    const size_t room = c.stage == Connection::Stage::Head ? WEB_MAX_HEAD - c.in.size() : sizeof buffer;
    const ssize_t n = recv(c.fd, buffer, std::min(room, sizeof buffer), MSG_DONTWAIT);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return;
    if (n <= 0) {
        // The peer is gone (or has said all it will): what is owed to it is still written.
        if (c.stage == Connection::Stage::Draining || c.out.empty())
            drop(c);
        else
            c.closing = true;
        return;
    }
    const std::string_view got(buffer, static_cast<size_t>(n));
    if (c.stage == Connection::Stage::Head) {
        c.in.append(got);
        handle_head(c);
    } else if (c.stage == Connection::Stage::Socket) {
        c.heard = Clock::now();
        c.pinged = false;
        handle_frames(c, got);
    }
}

void State::write_to(Connection& c) {
    if (c.out.empty() && c.stage == Connection::Stage::Socket) {
        c.out = std::move(c.control);
        c.control.clear();
        if (c.out.empty() && !c.closing) {
            std::lock_guard<std::mutex> lock(mutex);
            auto it = clients.find(c.client);
            if (it != clients.end() && !it->second.queue.empty()) {
                c.out = websocket_frame(WS_TEXT, it->second.queue.front().text);
                it->second.queue.pop_front();
            }
        }
    }
    if (c.out.empty()) return;
    const ssize_t n = ::send(c.fd, c.out.data(), c.out.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return;
    if (n <= 0) return drop(c);
    c.out.erase(0, static_cast<size_t>(n));
    if (!c.out.empty()) return;
    if (c.stage == Connection::Stage::Draining) {
        shutdown(c.fd, SHUT_WR);
    } else if (c.closing && c.control.empty()) {
        drop(c);
    }
}

// Closes a connection and frees its client's slot: every way a connection ends comes here.
void State::drop(Connection& c) {
    close_fd(c.fd);
    if (c.client == 0) return;
    std::lock_guard<std::mutex> lock(mutex);
    clients.erase(c.client);
    c.client = 0;
}

void State::accept_all() {
    for (;;) {
        const int fd = accept4(listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) return;
        size_t open = 0;
        for (const Connection& c : connections) open += c.fd >= 0;
        if (open >= MAX_CONNECTIONS) {
            // The oldest connection still sending its head makes room; with none, the new one
            // is turned away.
            auto oldest = std::find_if(connections.begin(), connections.end(), [](const Connection& c) {
                return c.fd >= 0 && c.stage != Connection::Stage::Socket;
            });
            if (oldest == connections.end()) {
                close(fd);
                continue;
            }
            drop(*oldest);
        }
        Connection c;
        c.fd = fd;
        connections.push_back(std::move(c));
    }
}

void State::serve() {
    Clock::time_point stop_by{};
    for (;;) {
        connections.remove_if([](const Connection& c) { return c.fd < 0; });
        // One look at the shared state: whether stopping, and which sockets have frames waiting.
        bool stop = false, pending = false;
        std::vector<pollfd> polls = {{wake_read, POLLIN, 0}, {listener, POLLIN, 0}};
        {
            std::lock_guard<std::mutex> lock(mutex);
            stop = stopping;
            for (const Connection& c : connections) {
                auto it = clients.find(c.client);
                const bool queued =
                    c.stage == Connection::Stage::Socket && it != clients.end() && !it->second.queue.empty();
                pending = pending || (c.stage == Connection::Stage::Socket && (!c.out.empty() || queued));
                const bool wants_out = !c.out.empty() || !c.control.empty() || (queued && !c.closing);
                polls.push_back({c.fd, static_cast<short>(POLLIN | (wants_out ? POLLOUT : 0)), 0});
            }
        }
        // Stopping: what the clients were last told (the answer to a "quit") goes out first, for a
        // moment at most; no one new is let in meanwhile.
        if (stop && stop_by == Clock::time_point{}) stop_by = Clock::now() + std::chrono::milliseconds(500);
        if (stop && (!pending || Clock::now() > stop_by)) break;
        if (stop) polls[1].events = 0;
        int n;
        do n = poll(polls.data(), polls.size(), stop ? 20 : 250);
        while (n < 0 && errno == EINTR);
        if (polls[0].revents != 0) {
            char drain[256];
            while (read(wake_read, drain, sizeof drain) > 0) {
            }
        }
        if ((polls[1].revents & POLLIN) != 0) accept_all();
        size_t i = 2;
        for (Connection& c : connections) {
            if (i >= polls.size()) break;
            const short got = polls[i++].revents;
            if (c.fd < 0) continue;
            if ((got & (POLLIN | POLLHUP | POLLERR)) != 0) read_from(c);
            if (c.fd >= 0 && (got & POLLOUT) != 0) write_to(c);
            if (c.fd < 0) continue;
            // The clocks: a head too slow, a drain over, a socket client silent.
            if (c.stage == Connection::Stage::Head && seconds_since(c.since) > HEAD_SECONDS) {
                respond(c, 408, "Request Timeout");
            } else if (c.stage == Connection::Stage::Draining && c.out.empty() &&
                       seconds_since(c.since) > DRAIN_SECONDS) {
                drop(c);
            } else if (c.stage == Connection::Stage::Socket && seconds_since(c.heard) > 2 * QUIET_SECONDS) {
                drop(c);
            } else if (c.stage == Connection::Stage::Socket && !c.pinged &&
                       seconds_since(c.heard) > QUIET_SECONDS) {
                c.control += websocket_frame(WS_PING, "");
                c.pinged = true;
            }
        }
    }
    for (Connection& c : connections) drop(c);
    connections.clear();
}

std::string console_token() {
    unsigned char bytes[16];
    size_t got = 0;
    while (got < sizeof bytes) {
        ssize_t n = getrandom(bytes + got, sizeof bytes - got, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += static_cast<size_t>(n);
    }
    if (got < sizeof bytes) {
        int fd = open("/dev/urandom", O_RDONLY | O_CLOEXEC);
        if (fd < 0) return "";
        got = fd_read_full(fd, bytes, sizeof bytes);
        close(fd);
        if (got < sizeof bytes) return "";
    }
    std::string hex;
    for (unsigned char b : bytes) {
        char two[3];
        std::snprintf(two, sizeof two, "%02x", b);
        hex += two;
    }
    return hex;
}

bool console_path_inside(const std::string& path) {
    if (path.empty() || path.front() == '/') return false;
    size_t at = 0;
    while (at <= path.size()) {
        size_t slash = path.find('/', at);
        if (path.substr(at, slash == std::string::npos ? std::string::npos : slash - at) == "..")
            return false;
        if (slash == std::string::npos) break;
        at = slash + 1;
    }
    return true;
}

std::unique_ptr<Console> Console::start(const std::string& address, int port, std::string& error) {
    std::unique_ptr<Console> console(new Console());
    console->state_ = std::make_unique<State>();
    State& s = *console->state_;
    s.address = address;
    s.token = console_token();
    if (s.token.empty()) {
        error = "no random source for the console's token";
        return nullptr;
    }
    s.page = replaced(replaced(console_page_html, "<!-- style -->",
                               std::string("<style>\n") + console_page_css + "</style>"),
                      "<!-- script -->", std::string("<script>\n") + console_page_js + "</script>");
    const std::string listen = address + ":" + std::to_string(port);
    error = "cannot serve the console at " + listen + " (address not available or port in use)";
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    if (getaddrinfo(bare_address(address).c_str(), std::to_string(port).c_str(), &hints, &found) != 0)
        return nullptr;
    for (addrinfo* a = found; a != nullptr && s.listener < 0; a = a->ai_next) {
        s.listener = socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
        if (s.listener < 0) continue;
        const int yes = 1;
        setsockopt(s.listener, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        if (bind(s.listener, a->ai_addr, a->ai_addrlen) != 0 || ::listen(s.listener, 64) != 0) {
            close_fd(s.listener);
            continue;
        }
        s.on_loopback = loopback(a->ai_addr);
    }
    freeaddrinfo(found);
    if (s.listener < 0) return nullptr;
    sockaddr_storage bound{};
    socklen_t length = sizeof bound;
    getsockname(s.listener, reinterpret_cast<sockaddr*>(&bound), &length);
    s.port = ntohs(bound.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port
                                               : reinterpret_cast<sockaddr_in*>(&bound)->sin_port);
    int wake[2];
    if (pipe2(wake, O_NONBLOCK | O_CLOEXEC) != 0) {
        close_fd(s.listener);
        error = "cannot serve the console: no pipe for its thread";
        return nullptr;
    }
    s.wake_read = wake[0];
    s.wake_write = wake[1];
    error.clear();
    s.thread = std::thread([&s] { s.serve(); });
    return console;
}

Console::~Console() {
    if (state_ == nullptr) return;
    State& s = *state_;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        s.stopping = true;
    }
    s.wake();
    if (s.thread.joinable()) s.thread.join();
    close_fd(s.listener);
    close_fd(s.wake_read);
    close_fd(s.wake_write);
    if (!s.note.empty() && console_note_read(s.note) == url()) std::remove(s.note.c_str());
}

bool Console::on_loopback() const {
    return state_->on_loopback;
}

bool Console::announce(const std::string& note) {
    if (!console_note_write(note, url())) return false;
    state_->note = note;
    return true;
}

namespace {

// A blocking client's socket with one deadline for all it does.
struct AskSocket {
    int fd = -1;
    Clock::time_point deadline;
    ~AskSocket() { close_fd(fd); }

    bool wait(short events) const {
        for (;;) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0) return false;
            pollfd p = {fd, events, 0};
            const int n = poll(&p, 1, static_cast<int>(std::min<long long>(left, 1000)));
            if (n > 0) return true;
            if (n < 0 && errno != EINTR) return false;
        }
    }
    bool send_all(std::string_view bytes) const {
        while (!bytes.empty()) {
            if (!wait(POLLOUT)) return false;
            const ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
            if (n <= 0) return false;
            bytes.remove_prefix(static_cast<size_t>(n));
        }
        return true;
    }
    // More bytes onto `into`, at most `most` in all; false at the end, an error or the deadline.
    bool read_more(std::string& into, size_t most) const {
        if (into.size() >= most || !wait(POLLIN)) return false;
        char buffer[4096];
        const ssize_t n = recv(fd, buffer, std::min(sizeof buffer, most - into.size()), MSG_DONTWAIT);
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) return true;
        if (n <= 0) return false;
        into.append(buffer, static_cast<size_t>(n));
        return true;
    }
};

}  // namespace

std::string console_ask(const std::string& url, const std::string& command, double seconds,
                        std::string& error) {
    // "http://HOST:PORT/?token=TOKEN", the host in figures.
    const std::string scheme = "http://";
    const size_t slash = url.find('/', scheme.size());
    const size_t colon = url.rfind(':', slash);
    const size_t token_at = url.find("?token=");
    error = "not a console address";
    if (url.rfind(scheme, 0) != 0 || slash == std::string::npos || colon == std::string::npos ||
        colon < scheme.size() || token_at == std::string::npos)
        return "";
    const std::string host = bare_address(url.substr(scheme.size(), colon - scheme.size()));
    const std::string authority = url.substr(scheme.size(), slash - scheme.size());
    const int port = std::atoi(url.c_str() + colon + 1);
    const std::string token = url.substr(token_at + 7);
    if (port <= 0 || port > 65535 || token.empty() ||
        token.find_first_not_of("0123456789abcdef") != std::string::npos)
        return "";
    sockaddr_storage to{};
    socklen_t to_length = 0;
    if (auto* v4 = reinterpret_cast<sockaddr_in*>(&to);
        inet_pton(AF_INET, host.c_str(), &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        v4->sin_port = htons(static_cast<uint16_t>(port));
        to_length = sizeof *v4;
    } else if (auto* v6 = reinterpret_cast<sockaddr_in6*>(&to);
               inet_pton(AF_INET6, host.c_str(), &v6->sin6_addr) == 1) {
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(static_cast<uint16_t>(port));
        to_length = sizeof *v6;
    } else {
        return "";
    }
    // One deadline for the connection, the handshake and the answer: a port that accepts and
    // stays silent costs `seconds`, no more.
    AskSocket sock;
    sock.deadline =
        Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    sock.fd = socket(to.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    error = "no console answers at " + authority;
    if (sock.fd < 0) return "";
    if (connect(sock.fd, reinterpret_cast<sockaddr*>(&to), to_length) != 0 && errno != EINPROGRESS) return "";
    int failed = 0;
    socklen_t failed_length = sizeof failed;
    if (!sock.wait(POLLOUT) || getsockopt(sock.fd, SOL_SOCKET, SO_ERROR, &failed, &failed_length) != 0 ||
        failed != 0)
        return "";
    std::string nonce = console_token();
    nonce.resize(16);
    const std::string key = base64(nonce);
    if (!sock.send_all("GET /ws?token=" + token + " HTTP/1.1\r\nHost: " + authority + "\r\nOrigin: http://" +
                       authority +
                       "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\nSec-WebSocket-Version: 13\r\n"
                       "Sec-WebSocket-Key: " +
                       key + "\r\n\r\n"))
        return "";
    std::string got;
    size_t head_end;
    while ((head_end = got.find("\r\n\r\n")) == std::string::npos) {
        if (!sock.read_more(got, WEB_MAX_HEAD)) return "";
    }
    if (got.rfind("HTTP/1.1 101", 0) != 0 || got.find(websocket_accept(key)) > head_end) {
        error = "the console at " + authority +
                " refused: " + got.substr(0, std::min<size_t>(got.find("\r\n"), 100));
        return "";
    }
    got.erase(0, head_end + 4);
    const uint8_t mask[4] = {static_cast<uint8_t>(nonce[0]), static_cast<uint8_t>(nonce[1]),
                             static_cast<uint8_t>(nonce[2]), static_cast<uint8_t>(nonce[3])};
    error = "the console did not answer";
    if (!sock.send_all(websocket_frame(WS_TEXT, command, mask))) return "";
    // Frames until the first that is no event; one larger than any answer ends the wait.
    for (;;) {
        FrameHead frame;
        if (websocket_frame_head(got, frame)) {
            if (frame.length > CONSOLE_MAX_FRAME) return "";
            if (got.size() >= frame.size + frame.length) {
                std::string payload = got.substr(frame.size, frame.length);
                got.erase(0, frame.size + frame.length);
                if (frame.opcode == WS_CLOSE) return "";
                if (frame.opcode != WS_TEXT || payload.rfind("event ", 0) == 0) continue;
                error.clear();
                sock.send_all(websocket_frame(WS_CLOSE, "\x03\xe8", mask));
                return payload.substr(0, 4096);
            }
        }
        if (!sock.read_more(got, 2 * CONSOLE_MAX_FRAME)) return "";
    }
}

std::string Console::url() const {
    return "http://" + state_->host() + "/?token=" + state_->token;
}

std::vector<ConsoleCommand> Console::take_commands() {
    State& s = *state_;
    std::lock_guard<std::mutex> lock(s.mutex);
    std::vector<ConsoleCommand> taken(s.commands.begin(), s.commands.end());
    s.commands.clear();
    for (const ConsoleCommand& c : taken) {
        auto it = s.clients.find(c.client);
        if (it != s.clients.end()) --it->second.commands_waiting;
    }
    return taken;
}

bool Console::take_joined() {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return std::exchange(state_->joined, false);
}

void Console::send(int client, const std::string& text) {
    {
        std::lock_guard<std::mutex> lock(state_->mutex);
        auto it = state_->clients.find(client);
        if (it == state_->clients.end()) return;
        State::queue_frame(it->second, text, false);
    }
    state_->wake();
}

void Console::broadcast(const std::string& text, bool droppable) {
    {
        std::lock_guard<std::mutex> lock(state_->mutex);
        for (auto& [id, c] : state_->clients) State::queue_frame(c, text, droppable);
    }
    state_->wake();
}

void Console::publish(std::string json, std::string svg) {
    auto j = std::make_shared<const std::string>(std::move(json));
    auto v = std::make_shared<const std::string>(std::move(svg));
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->json = std::move(j);
    state_->svg = std::move(v);
}

void Console::publish_splines(std::string json) {
    auto j = std::make_shared<const std::string>(std::move(json));
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->splines = std::move(j);
}
