// A bare HTTP and WebSocket client on 127.0.0.1, for the maker's console: requests written by hand
// and raw bytes, so that tests can send what a browser never would. Its frames are framed and read
// by the player's own code: the page's test has a real browser speak to the console.
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <string>

struct HttpReply {
    int status = 0;  // 0 when no status line came
    std::string head, body;
};

// A connection to 127.0.0.1:`port` (-1 when refused), and bytes sent on it whole within `seconds`.
int connect_local(int port, int receive_buffer = 0);
bool send_all(int fd, const std::string& bytes, double seconds = 5);
// Reads what `fd` (a socket or a pipe) has into `into`; false once the other end closed or
// `deadline` passed with nothing.
bool read_some(int fd, std::string& into, std::chrono::steady_clock::time_point deadline);

// Sends `request` as it is and reads the reply until the server closes or `seconds` pass.
HttpReply http_exchange(int port, const std::string& request, double seconds = 10);
// GET `target` with a Host header (by default the served address).
HttpReply http_get(int port, const std::string& target, const std::string& host = "");

class WebSocketClient {
  public:
    // Opens the connection and asks for the upgrade with `headers` besides the handshake's own;
    // status() is the answer's status (101 when the socket is open). A small receive buffer
    // makes a client that stops reading fill up soon.
    WebSocketClient(int port, const std::string& target, const std::map<std::string, std::string>& headers,
                    int receive_buffer = 0);
    ~WebSocketClient();
    WebSocketClient(const WebSocketClient&) = delete;
    int status() const { return status_; }
    // One frame, masked as a client's must be (opcode 1: text, 2: binary); false when it could not
    // be sent whole within a few seconds.
    bool send(const std::string& payload, int opcode = 1);
    // Bytes as they are, framed or not.
    bool send_raw(const std::string& bytes, double seconds = 5);
    // The next text frame that `wanted` accepts, skipping others; "" when none came in `seconds`
    // or the socket closed.
    std::string next(const std::function<bool(const std::string&)>& wanted, double seconds = 10);
    // The next frame starting with `prefix`.
    std::string wait_for(const std::string& prefix, double seconds = 10) {
        return next([&](const std::string& f) { return f.starts_with(prefix); }, seconds);
    }
    // The next frame that is not an event: the answer to what was sent.
    std::string reply(double seconds = 10) {
        return next([](const std::string& f) { return !f.starts_with("event "); }, seconds);
    }
    // Sends a command and returns its reply.
    std::string ask(const std::string& command, double seconds = 10) {
        return send(command) ? reply(seconds) : "";
    }

  private:
    int fd_ = -1;
    int status_ = 0;
    std::string pending_;
};
