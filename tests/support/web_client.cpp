// The console tests' HTTP and WebSocket client.
#include "web_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>

#include "maker/web.h"

namespace {

using Clock = std::chrono::steady_clock;

Clock::time_point after(double seconds) {
    return Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

int status_of(const std::string& head) {
    return head.rfind("HTTP/1.", 0) == 0 && head.size() > 12 ? std::atoi(head.c_str() + 9) : 0;
}

}  // namespace

int connect_local(int port, int receive_buffer) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    if (receive_buffer > 0) setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receive_buffer, sizeof receive_buffer);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

bool send_all(int fd, const std::string& bytes, double seconds) {
    const auto deadline = after(seconds);
    size_t sent = 0;
    while (sent < bytes.size()) {
        pollfd p = {fd, POLLOUT, 0};
        if (poll(&p, 1, 50) <= 0) {
            if (Clock::now() > deadline) return false;
            continue;
        }
        ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) return false;
        sent += static_cast<size_t>(n);
    }
    return true;
}

bool read_some(int fd, std::string& into, Clock::time_point deadline) {
    for (;;) {
        int left = static_cast<int>(
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count());
        if (left <= 0) return false;
        pollfd p = {fd, POLLIN, 0};
        if (poll(&p, 1, left) <= 0) continue;
        char buffer[8192];
        ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0) return false;
        into.append(buffer, static_cast<size_t>(n));
        return true;
    }
}

HttpReply http_exchange(int port, const std::string& request, double seconds) {
    HttpReply r;
    int fd = connect_local(port);
    if (fd < 0) return r;
    std::string all;
    if (send_all(fd, request)) {
        const auto deadline = after(seconds);
        while (read_some(fd, all, deadline)) {
        }
    }
    close(fd);
    size_t split = all.find("\r\n\r\n");
    r.head = all.substr(0, split);
    r.body = split == std::string::npos ? "" : all.substr(split + 4);
    r.status = status_of(r.head);
    return r;
}

HttpReply http_get(int port, const std::string& target, const std::string& host) {
    return http_exchange(port, "GET " + target + " HTTP/1.1\r\nHost: " +
                                   (host.empty() ? "127.0.0.1:" + std::to_string(port) : host) +
                                   "\r\nConnection: close\r\n\r\n");
}

WebSocketClient::WebSocketClient(int port, const std::string& target,
                                 const std::map<std::string, std::string>& headers, int receive_buffer) {
    fd_ = connect_local(port, receive_buffer);
    if (fd_ < 0) return;
    std::string request = "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
                          "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                          "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n";
    for (const auto& [name, value] : headers) request += name + ": " + value + "\r\n";
    if (!send_all(fd_, request + "\r\n")) return;
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    size_t end;
    while ((end = pending_.find("\r\n\r\n")) == std::string::npos && read_some(fd_, pending_, deadline)) {
    }
    if (end == std::string::npos) return;
    status_ = status_of(pending_);
    pending_.erase(0, end + 4);
}

WebSocketClient::~WebSocketClient() {
    if (fd_ >= 0) close(fd_);
}

bool WebSocketClient::send(const std::string& payload, int opcode) {
    const uint8_t mask[4] = {0x5a, 0x13, 0xc4, 0x7e};
    return send_raw(websocket_frame(opcode, payload, mask));
}

bool WebSocketClient::send_raw(const std::string& bytes, double seconds) {
    return fd_ >= 0 && send_all(fd_, bytes, seconds);
}

std::string WebSocketClient::next(const std::function<bool(const std::string&)>& wanted, double seconds) {
    const auto deadline = after(seconds);
    for (;;) {
        // A whole frame from the server (never masked): its header, then its payload.
        FrameHead head;
        if (websocket_frame_head(pending_, head) && pending_.size() >= head.size + head.length) {
            std::string payload = pending_.substr(head.size, head.length);
            pending_.erase(0, head.size + head.length);
            if (head.opcode == WS_CLOSE) return "";
            if (head.opcode == WS_TEXT && (payload.empty() || wanted(payload))) return payload;
            continue;
        }
        if (fd_ < 0 || !read_some(fd_, pending_, deadline)) return "";
    }
}
