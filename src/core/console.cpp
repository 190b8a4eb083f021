// The maker's console: the CivetWeb server, its checks, and the queues between its threads and
// the player's main loop.
#include "core/console.h"

#include <civetweb.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/random.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fstream>
#include <map>
#include <mutex>
#include <thread>
#include <utility>

// The page's files, built into the binary from src/core/console/.
extern const char console_page_html[];
extern const char console_page_js[];
extern const char console_page_css[];

namespace {

// Serving threads: one for each WebSocket client, and a few for the plain requests.
constexpr int SERVER_THREADS = CONSOLE_MAX_CLIENTS + 4;

struct Outgoing {
    std::string text;
    bool droppable = false;
};

std::string replaced(std::string text, const std::string& what, const std::string& with) {
    size_t at = text.find(what);
    if (at != std::string::npos) text.replace(at, what.size(), with);
    return text;
}

// The value of `name` in a query string ("" when absent), not decoded: a token is plain hex.
std::string query_value(const char* query, const std::string& name) {
    if (query == nullptr) return "";
    std::string q = query;
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

bool ends_with(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

struct ConsoleClient {
    int id = 0;
    mg_connection* conn = nullptr;
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<Outgoing> queue;
    size_t commands_waiting = 0;
    bool closing = false;
    bool dead = false;     // a write failed: nothing more is sent
    bool sending = false;  // a frame taken from the queue is being written
    std::thread writer;
};

struct Console::State {
    mg_context* context = nullptr;
    std::string address;
    int port = 0;
    std::string token;
    std::string note;  // the address note written for tools, "" when none
    std::string page;

    std::mutex mutex;  // guards what follows
    std::map<int, std::shared_ptr<ConsoleClient>> clients;
    int next_client = 1;
    bool joined = false;
    std::deque<ConsoleCommand> commands;
    std::shared_ptr<const std::string> json, svg;

    bool wildcard() const { return address == "0.0.0.0" || address == "[::]" || address == "::"; }
    std::string host() const { return address + ":" + std::to_string(port); }

    bool host_allowed(const char* host) const {
        if (host == nullptr) return false;
        const std::string h = host, port_tail = ":" + std::to_string(port);
        if (wildcard()) return ends_with(h, port_tail);
        // The served address itself with no port is what a client library names when it leaves
        // the port out; an address in figures cannot be another site's name.
        if (h == this->host() || h == address) return true;
        return (address == "127.0.0.1" || address == "[::1]") && h == "localhost" + port_tail;
    }

    // Queues a frame for a client; when full, the oldest time event makes room, else the frame
    // is dropped.
    static void queue_frame(ConsoleClient& c, const std::string& text, bool droppable) {
        {
            std::lock_guard<std::mutex> lock(c.mutex);
            if (c.dead || c.closing) return;
            if (c.queue.size() >= CONSOLE_MAX_OUTGOING) {
                auto old = std::find_if(c.queue.begin(), c.queue.end(),
                                        [](const Outgoing& o) { return o.droppable; });
                if (old == c.queue.end()) return;
                c.queue.erase(old);
            }
            c.queue.push_back({text, droppable});
        }
        c.wake.notify_one();
    }

    std::shared_ptr<ConsoleClient> client_of(const mg_connection* conn) {
        auto* id = static_cast<int*>(mg_get_user_connection_data(conn));
        if (id == nullptr) return nullptr;
        std::lock_guard<std::mutex> lock(mutex);
        auto it = clients.find(*id);
        return it == clients.end() ? nullptr : it->second;
    }
};

namespace {

using State = Console::State;

void send_status(mg_connection* conn, int status, const char* reason) {
    mg_printf(conn, "HTTP/1.1 %d %s\r\nContent-Length: 0\r\nConnection: close\r\n\r\n", status, reason);
}

void send_body(mg_connection* conn, const State& s, const char* type, const std::string& body) {
    mg_printf(conn,
              "HTTP/1.1 200 OK\r\nContent-Type: %s\r\nContent-Length: %zu\r\nCache-Control: no-store\r\n"
              "X-Content-Type-Options: nosniff\r\nX-Frame-Options: DENY\r\n"
              "Content-Security-Policy: default-src 'none'; script-src 'unsafe-inline'; style-src "
              "'unsafe-inline'; img-src data:; connect-src 'self' ws://%s\r\n\r\n",
              type, body.size(), s.host().c_str());
    mg_write(conn, body.data(), body.size());
}

// Every request passes here first: the checks, then the page and the time line; a WebSocket
// that passes goes on to the handlers below.
int begin_request(mg_connection* conn) {
    auto& s = *static_cast<State*>(mg_get_user_data(mg_get_context(conn)));
    const mg_request_info* r = mg_get_request_info(conn);
    if (!s.host_allowed(mg_get_header(conn, "Host")) ||
        !same_secret(query_value(r->query_string, "token"), s.token)) {
        send_status(conn, 403, "Forbidden");
        return 403;
    }
    const std::string path = r->local_uri != nullptr ? r->local_uri : "";
    if (path == "/ws") {
        const char* origin = mg_get_header(conn, "Origin");
        const char* host = mg_get_header(conn, "Host");
        if (origin == nullptr || std::string(origin) != std::string("http://") + host) {
            send_status(conn, 403, "Forbidden");
            return 403;
        }
        const char* upgrade = mg_get_header(conn, "Upgrade");
        if (upgrade == nullptr || strcasecmp(upgrade, "websocket") != 0) {
            send_status(conn, 400, "Bad Request");
            return 400;
        }
        return 0;
    }
    if (std::strcmp(r->request_method, "GET") != 0) {
        send_status(conn, 405, "Method Not Allowed");
        return 405;
    }
    std::shared_ptr<const std::string> body;
    const char* type = nullptr;
    if (path == "/") {
        send_body(conn, s, "text/html; charset=utf-8", s.page);
        return 200;
    }
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        if (path == "/timeline.json") {
            body = s.json;
            type = "application/json";
        } else if (path == "/timeline.svg") {
            body = s.svg;
            type = "image/svg+xml";
        }
    }
    if (type == nullptr) {
        send_status(conn, 404, "Not Found");
        return 404;
    }
    if (body == nullptr) {
        send_status(conn, 503, "Service Unavailable");
        return 503;
    }
    send_body(conn, s, type, *body);
    return 200;
}

int ws_connect(const mg_connection* conn, void* data) {
    auto& s = *static_cast<State*>(data);
    auto client = std::make_shared<ConsoleClient>();
    bool full = false;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        full = s.clients.size() >= CONSOLE_MAX_CLIENTS;
        if (!full) {
            client->id = s.next_client++;
            client->conn = const_cast<mg_connection*>(conn);
            s.clients[client->id] = client;
        }
    }
    if (full) {
        // The handshake has not been answered yet: the refusal is a plain response.
        send_status(const_cast<mg_connection*>(conn), 503, "Service Unavailable");
        return 1;
    }
    mg_set_user_connection_data(conn, &client->id);
    return 0;
}

void writer_loop(ConsoleClient& c) {
    std::unique_lock<std::mutex> lock(c.mutex);
    for (;;) {
        c.wake.wait(lock, [&] { return c.closing || !c.queue.empty(); });
        if (c.queue.empty()) return;
        Outgoing o = std::move(c.queue.front());
        c.queue.pop_front();
        c.sending = true;
        lock.unlock();
        int written = mg_websocket_write(c.conn, MG_WEBSOCKET_OPCODE_TEXT, o.text.data(), o.text.size());
        lock.lock();
        c.sending = false;
        if (written <= 0) {
            c.dead = true;
            c.queue.clear();
            return;
        }
    }
}

void ws_ready(mg_connection* conn, void* data) {
    auto& s = *static_cast<State*>(data);
    std::shared_ptr<ConsoleClient> client = s.client_of(conn);
    if (client == nullptr) return;
    client->writer = std::thread(writer_loop, std::ref(*client));
    std::lock_guard<std::mutex> lock(s.mutex);
    s.joined = true;
}

int ws_data(mg_connection* conn, int flags, char* bytes, size_t length, void* data) {
    auto& s = *static_cast<State*>(data);
    const int opcode = flags & 0x0f;
    const bool final_frame = (flags & 0x80) != 0;
    if (opcode == MG_WEBSOCKET_OPCODE_CONNECTION_CLOSE) return 0;
    if (opcode == MG_WEBSOCKET_OPCODE_PING || opcode == MG_WEBSOCKET_OPCODE_PONG) return 1;
    std::shared_ptr<ConsoleClient> client = s.client_of(conn);
    if (client == nullptr) return 0;
    // Only the last frame of a message is answered, whatever came before it.
    if (!final_frame) return 1;
    std::string error;
    if (opcode != MG_WEBSOCKET_OPCODE_TEXT) {
        error = "error commands come in whole text frames";
    } else if (length > CONSOLE_MAX_FRAME) {
        error = "error frame over " + std::to_string(CONSOLE_MAX_FRAME) + " bytes";
    } else {
        std::string line(bytes, length);
        if (line.find_first_of("\r\n") != std::string::npos) line.erase(line.find_first_of("\r\n"));
        std::lock_guard<std::mutex> lock(s.mutex);
        std::lock_guard<std::mutex> client_lock(client->mutex);
        if (s.commands.size() >= CONSOLE_MAX_COMMANDS ||
            client->commands_waiting >= CONSOLE_MAX_COMMANDS_PER_CLIENT) {
            error = "error busy: too many commands waiting";
        } else {
            ++client->commands_waiting;
            s.commands.push_back({client->id, std::move(line)});
        }
    }
    if (!error.empty()) State::queue_frame(*client, error, false);
    return 1;
}

void ws_close(const mg_connection* conn, void* data) {
    auto& s = *static_cast<State*>(data);
    std::shared_ptr<ConsoleClient> client = s.client_of(conn);
    if (client == nullptr) return;
    {
        std::lock_guard<std::mutex> lock(client->mutex);
        client->closing = true;
    }
    client->wake.notify_one();
    if (client->writer.joinable()) client->writer.join();
    mg_set_user_connection_data(conn, nullptr);
    std::lock_guard<std::mutex> lock(s.mutex);
    s.clients.erase(client->id);
}

}  // namespace

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
        got = 0;
        while (got < sizeof bytes) {
            ssize_t n = read(fd, bytes + got, sizeof bytes - got);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            got += static_cast<size_t>(n);
        }
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
    static std::once_flag library;
    std::call_once(library, [] { mg_init_library(0); });
    const std::string listen = address + ":" + std::to_string(port);
    const std::string threads = std::to_string(SERVER_THREADS);
    const char* options[] = {"listening_ports",
                             listen.c_str(),
                             "num_threads",
                             threads.c_str(),
                             "request_timeout_ms",
                             "10000",
                             "websocket_timeout_ms",
                             "30000",
                             "enable_websocket_ping_pong",
                             "yes",
                             "enable_directory_listing",
                             "no",
                             nullptr};
    mg_callbacks callbacks{};
    callbacks.begin_request = begin_request;
    // CivetWeb's own complaints (a port in use) are told once, below, in the player's words.
    callbacks.log_message = [](const mg_connection*, const char*) { return 1; };
    s.context = mg_start(&callbacks, &s, options);
    if (s.context == nullptr) {
        error = "cannot serve the console at " + listen + " (address not available or port in use)";
        return nullptr;
    }
    mg_server_port ports[4];
    int count = mg_get_server_ports(s.context, 4, ports);
    s.port = count > 0 ? ports[0].port : port;
    mg_set_websocket_handler(s.context, "/ws", ws_connect, ws_ready, ws_data, ws_close, &s);
    return console;
}

Console::~Console() {
    if (state_ == nullptr || state_->context == nullptr) return;
    State& s = *state_;
    // What the clients were last told (the answer to a "quit") goes out first, for a moment at
    // most.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
    for (bool pending = true; pending && std::chrono::steady_clock::now() < deadline;) {
        pending = false;
        {
            std::lock_guard<std::mutex> lock(s.mutex);
            for (auto& [id, c] : s.clients) {
                std::lock_guard<std::mutex> client_lock(c->mutex);
                pending = pending || ((!c->queue.empty() || c->sending) && !c->dead);
            }
        }
        if (pending) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    mg_stop(s.context);
    if (!s.note.empty()) {
        std::ifstream in(s.note);
        std::string written;
        std::getline(in, written);
        if (written == url()) std::remove(s.note.c_str());
    }
}

bool Console::announce(const std::string& note) {
    const int fd = open(note.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    const std::string line = url() + "\n";
    const bool written = write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
    close(fd);
    if (written) state_->note = note;
    return written;
}

namespace {

// What a console client waits for: the first frame that is no event.
struct Asked {
    std::mutex mutex;
    std::condition_variable changed;
    std::string answer;
    bool answered = false, closed = false;
};

int asked_data(mg_connection*, int flags, char* data, size_t length, void* user) {
    auto& a = *static_cast<Asked*>(user);
    if ((flags & 0x0F) != MG_WEBSOCKET_OPCODE_TEXT) return 1;
    std::string frame(data, length);
    if (frame.rfind("event ", 0) == 0) return 1;
    std::lock_guard<std::mutex> lock(a.mutex);
    if (!a.answered) {
        a.answer = frame.substr(0, 4096);
        a.answered = true;
        a.changed.notify_all();
    }
    return 1;
}

void asked_close(const mg_connection*, void* user) {
    auto& a = *static_cast<Asked*>(user);
    std::lock_guard<std::mutex> lock(a.mutex);
    a.closed = true;
    a.changed.notify_all();
}

}  // namespace

std::string console_ask(const std::string& url, const std::string& command, double seconds,
                        std::string& error) {
    // "http://HOST:PORT/?token=TOKEN". CivetWeb's client names the host without the port, and
    // the console takes an Origin of the same host.
    const std::string scheme = "http://";
    const size_t slash = url.find('/', scheme.size());
    const size_t colon = url.rfind(':', slash);
    const size_t token_at = url.find("?token=");
    if (url.rfind(scheme, 0) != 0 || slash == std::string::npos || colon == std::string::npos ||
        colon < scheme.size() || token_at == std::string::npos) {
        error = "not a console address";
        return "";
    }
    std::string host = url.substr(scheme.size(), colon - scheme.size());
    const std::string authority = url.substr(scheme.size(), slash - scheme.size());
    const int port = std::atoi(url.c_str() + colon + 1);
    const std::string token = url.substr(token_at + 7);
    if (host.size() > 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
    if (port <= 0 || port > 65535 || token.empty() ||
        token.find_first_not_of("0123456789abcdef") != std::string::npos) {
        error = "not a console address";
        return "";
    }
    static std::once_flag library;
    std::call_once(library, [] { mg_init_library(0); });
    Asked asked;
    char reason[256] = "";
    mg_connection* conn = mg_connect_websocket_client(
        host.c_str(), port, 0, reason, sizeof reason, ("/ws?token=" + token).c_str(),
        (scheme + authority.substr(0, authority.rfind(':'))).c_str(), asked_data, asked_close, &asked);
    if (conn == nullptr) {
        error = std::string("no console answers at ") + authority + (reason[0] != '\0' ? ": " : "") + reason;
        return "";
    }
    mg_websocket_client_write(conn, MG_WEBSOCKET_OPCODE_TEXT, command.data(), command.size());
    std::string answer;
    {
        std::unique_lock<std::mutex> lock(asked.mutex);
        asked.changed.wait_for(lock, std::chrono::duration<double>(seconds),
                               [&] { return asked.answered || asked.closed; });
        answer = asked.answer;
        if (!asked.answered) error = "the console did not answer";
    }
    mg_websocket_client_write(conn, MG_WEBSOCKET_OPCODE_CONNECTION_CLOSE, "", 0);
    mg_close_connection(conn);
    return answer;
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
        if (it == s.clients.end()) continue;
        std::lock_guard<std::mutex> client_lock(it->second->mutex);
        --it->second->commands_waiting;
    }
    return taken;
}

bool Console::take_joined() {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return std::exchange(state_->joined, false);
}

void Console::send(int client, const std::string& text) {
    std::shared_ptr<ConsoleClient> c;
    {
        std::lock_guard<std::mutex> lock(state_->mutex);
        auto it = state_->clients.find(client);
        if (it == state_->clients.end()) return;
        c = it->second;
    }
    State::queue_frame(*c, text, false);
}

void Console::broadcast(const std::string& text, bool droppable) {
    std::vector<std::shared_ptr<ConsoleClient>> all;
    {
        std::lock_guard<std::mutex> lock(state_->mutex);
        for (auto& [id, c] : state_->clients) all.push_back(c);
    }
    for (auto& c : all) State::queue_frame(*c, text, droppable);
}

void Console::publish(std::string json, std::string svg) {
    auto j = std::make_shared<const std::string>(std::move(json));
    auto v = std::make_shared<const std::string>(std::move(svg));
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->json = std::move(j);
    state_->svg = std::move(v);
}
