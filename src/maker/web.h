// The pieces of HTTP/1.1 and the WebSocket protocol that the maker's console speaks, as pure
// functions over bytes: reading a request's head, the handshake's accept key, and the framing.
// Nothing here touches a socket, so that every bound can be tested and fuzzed on its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// A request's head is refused past this many bytes, before more is buffered.
inline constexpr size_t WEB_MAX_HEAD = 8192;

struct HttpHead {
    std::string method, path, query;                           // the target split at its first '?'
    std::vector<std::pair<std::string, std::string>> headers;  // names in lower case
    // The value of a header; null when it is absent, or when it comes more than once (a
    // repeated Host or Origin is refused rather than guessed at).
    const std::string* header(std::string_view name) const;
};

enum class HeadResult { Incomplete, Complete, Malformed, TooLarge };

// Reads a request's head from the start of `bytes`: Complete with `head` filled and `used` the
// head's length with its blank line; Incomplete when more must come (and `bytes` is still within
// WEB_MAX_HEAD); TooLarge past it; Malformed for anything that is not a request line and header
// lines.
HeadResult http_head_parse(std::string_view bytes, HttpHead& head, size_t& used);

// Whether a comma-separated header value holds `token`, compared without case.
bool http_has_token(const std::string& value, std::string_view token);

// The Sec-WebSocket-Accept answer to a client's key; "" when the key is not 16 bytes in base64.
std::string websocket_accept(const std::string& key);

// SHA-1 and base64, for the handshake.
std::string sha1(std::string_view bytes);
std::string base64(std::string_view bytes);

inline constexpr int WS_CONTINUATION = 0, WS_TEXT = 1, WS_BINARY = 2, WS_CLOSE = 8, WS_PING = 9, WS_PONG = 10;

struct FrameHead {
    bool final = false;
    int opcode = 0;
    bool masked = false;
    uint8_t mask[4] = {0, 0, 0, 0};
    uint64_t length = 0;  // the payload's, as the header claims it
    size_t size = 0;      // the header's own bytes
};

// Reads a frame's header from the start of `bytes`; false when more bytes must come. The payload
// is not looked at, so that its claimed length can be judged before any of it is kept.
bool websocket_frame_head(std::string_view bytes, FrameHead& head);

// A whole frame of `payload`: final, masked with `mask` when it is given (a client's must be).
std::string websocket_frame(int opcode, std::string_view payload, const uint8_t* mask = nullptr);

// Applies (or removes) a frame's mask to payload bytes that start `offset` bytes into it.
void websocket_unmask(char* bytes, size_t count, const uint8_t mask[4], uint64_t offset);
