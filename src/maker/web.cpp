// HTTP heads, the WebSocket handshake and framing, over bytes only.
#include "maker/web.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace {

std::string lower(std::string_view text) {
    std::string s(text);
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

// A token character of HTTP (a method or a header's name).
bool token_char(unsigned char c) {
    return std::isalnum(c) || std::strchr("!#$%&'*+-.^_`|~", c) != nullptr;
}

bool visible(std::string_view s) {
    return std::all_of(s.begin(), s.end(), [](unsigned char c) { return c > 0x20 && c < 0x7f; });
}

}  // namespace

const std::string* HttpHead::header(std::string_view name) const {
    const std::string* found = nullptr;
    for (const auto& [n, v] : headers) {
        if (n != name) continue;
        if (found != nullptr) return nullptr;
        found = &v;
    }
    return found;
}

HeadResult http_head_parse(std::string_view bytes, HttpHead& head, size_t& used) {
    const size_t end = bytes.substr(0, WEB_MAX_HEAD).find("\r\n\r\n");
    if (end == std::string_view::npos)
        return bytes.size() >= WEB_MAX_HEAD ? HeadResult::TooLarge : HeadResult::Incomplete;
    used = end + 4;
    head = HttpHead();
    std::string_view rest = bytes.substr(0, end + 2);
    auto next_line = [&rest]() {
        const size_t at = rest.find("\r\n");
        std::string_view line = rest.substr(0, at);
        rest.remove_prefix(at + 2);
        return line;
    };
    // "METHOD TARGET HTTP/1.x"
    const std::string_view request = next_line();
    const size_t sp1 = request.find(' '), sp2 = request.rfind(' ');
    if (sp1 == std::string_view::npos || sp1 == 0 || sp2 == sp1) return HeadResult::Malformed;
    const std::string_view method = request.substr(0, sp1), target = request.substr(sp1 + 1, sp2 - sp1 - 1),
                           version = request.substr(sp2 + 1);
    if (!std::all_of(method.begin(), method.end(), [](unsigned char c) { return token_char(c); }) ||
        target.empty() || target.front() != '/' || !visible(target) ||
        (version != "HTTP/1.1" && version != "HTTP/1.0"))
        return HeadResult::Malformed;
    head.method = method;
    const size_t q = target.find('?');
    head.path = target.substr(0, q);
    if (q != std::string_view::npos) head.query = target.substr(q + 1);
    while (!rest.empty()) {
        const std::string_view line = next_line();
        const size_t colon = line.find(':');
        if (colon == std::string_view::npos || colon == 0) return HeadResult::Malformed;
        const std::string_view name = line.substr(0, colon);
        if (!std::all_of(name.begin(), name.end(), [](unsigned char c) { return token_char(c); }))
            return HeadResult::Malformed;
        const std::string_view value = trimmed(line.substr(colon + 1));
        if (std::any_of(value.begin(), value.end(), [](unsigned char c) { return c < 0x20 && c != '\t'; }))
            return HeadResult::Malformed;
        head.headers.emplace_back(lower(name), std::string(value));
    }
    return HeadResult::Complete;
}

bool http_has_token(const std::string& value, std::string_view token) {
    size_t at = 0;
    while (at <= value.size()) {
        size_t comma = value.find(',', at);
        if (comma == std::string::npos) comma = value.size();
        if (lower(trimmed(std::string_view(value).substr(at, comma - at))) == lower(token)) return true;
        at = comma + 1;
    }
    return false;
}

std::string sha1(std::string_view bytes) {
    uint32_t h[5] = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};
    std::string m(bytes);
    const uint64_t bits = static_cast<uint64_t>(bytes.size()) * 8;
    m += '\x80';
    while (m.size() % 64 != 56) m += '\0';
    for (int shift = 56; shift >= 0; shift -= 8) m += static_cast<char>((bits >> shift) & 0xff);
    auto rotl = [](uint32_t x, int n) { return (x << n) | (x >> (32 - n)); };
    for (size_t block = 0; block < m.size(); block += 64) {
        uint32_t w[80];
        for (int i = 0; i < 16; ++i) {
            const auto* p = reinterpret_cast<const unsigned char*>(m.data() + block + 4 * i);
            w[i] = (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
        }
        for (int i = 16; i < 80; ++i) w[i] = rotl(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);
        uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4];
        for (int i = 0; i < 80; ++i) {
            uint32_t f, k;
            if (i < 20) {
                f = (b & c) | (~b & d);
                k = 0x5A827999;
            } else if (i < 40) {
                f = b ^ c ^ d;
                k = 0x6ED9EBA1;
            } else if (i < 60) {
                f = (b & c) | (b & d) | (c & d);
                k = 0x8F1BBCDC;
            } else {
                f = b ^ c ^ d;
                k = 0xCA62C1D6;
            }
            const uint32_t t = rotl(a, 5) + f + e + k + w[i];
            e = d;
            d = c;
            c = rotl(b, 30);
            b = a;
            a = t;
        }
        h[0] += a, h[1] += b, h[2] += c, h[3] += d, h[4] += e;
    }
    std::string digest;
    for (uint32_t v : h)
        for (int shift = 24; shift >= 0; shift -= 8) digest += static_cast<char>((v >> shift) & 0xff);
    return digest;
}

std::string base64(std::string_view bytes) {
    static const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (size_t i = 0; i < bytes.size(); i += 3) {
        uint32_t v = static_cast<uint32_t>(static_cast<unsigned char>(bytes[i])) << 16;
        if (i + 1 < bytes.size()) v |= static_cast<uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8;
        if (i + 2 < bytes.size()) v |= static_cast<unsigned char>(bytes[i + 2]);
        out += digits[(v >> 18) & 63];
        out += digits[(v >> 12) & 63];
        out += i + 1 < bytes.size() ? digits[(v >> 6) & 63] : '=';
        out += i + 2 < bytes.size() ? digits[v & 63] : '=';
    }
    return out;
}

std::string websocket_accept(const std::string& key) {
    // 16 bytes in base64: 22 digits, the last of which carries only 2 bits, and "==".
    static const std::string digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    if (key.size() != 24 || key.compare(22, 2, "==") != 0 || key.find_first_not_of(digits) != 22 ||
        digits.find(key[21]) % 16 != 0)
        return "";
    return base64(sha1(key + "258EAFA5-E914-47DA-95CA-C5AB0DC85B11"));
}

bool websocket_frame_head(std::string_view bytes, FrameHead& head) {
    if (bytes.size() < 2) return false;
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
    head.final = (b[0] & 0x80) != 0;
    head.opcode = b[0] & 0x0f;
    head.masked = (b[1] & 0x80) != 0;
    size_t at = 2;
    head.length = b[1] & 0x7f;
    const size_t extra = head.length == 126 ? 2 : head.length == 127 ? 8 : 0;
    if (bytes.size() < at + extra + (head.masked ? 4 : 0)) return false;
    if (extra > 0) {
        head.length = 0;
        for (size_t i = 0; i < extra; ++i) head.length = (head.length << 8) | b[at + i];
        at += extra;
    }
    if (head.masked) {
        std::memcpy(head.mask, b + at, 4);
        at += 4;
    }
    head.size = at;
    return true;
}

std::string websocket_frame(int opcode, std::string_view payload, const uint8_t* mask) {
    std::string frame(1, static_cast<char>(0x80 | (opcode & 0x0f)));
    const uint64_t n = payload.size();
    const char masked = mask != nullptr ? '\x80' : '\0';
    if (n < 126) {
        frame += static_cast<char>(masked | static_cast<char>(n));
    } else if (n < 65536) {
        frame += static_cast<char>(masked | 126);
        frame += static_cast<char>(n >> 8);
        frame += static_cast<char>(n & 0xff);
    } else {
        frame += static_cast<char>(masked | 127);
        for (int shift = 56; shift >= 0; shift -= 8) frame += static_cast<char>((n >> shift) & 0xff);
    }
    if (mask == nullptr) return frame.append(payload);
    frame.append(reinterpret_cast<const char*>(mask), 4);
    const size_t at = frame.size();
    frame.append(payload);
    websocket_unmask(frame.data() + at, payload.size(), mask, 0);
    return frame;
}

void websocket_unmask(char* bytes, size_t count, const uint8_t mask[4], uint64_t offset) {
    for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<char>(bytes[i] ^ mask[(offset + i) % 4]);
}
