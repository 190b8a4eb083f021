// The language server: a bounded framing reader, a dispatcher of the requests and notifications
// an editor sends, and the checker run on a private copy of the demo's scripts with the open
// documents' texts in place of their files.
#include "lsp/lsp.h"

#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <deque>
#include <exception>
#include <filesystem>
#include <initializer_list>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "base/io.h"
#include "inspect/check.h"
#include "maker/console.h"
#include "maker/console_note.h"
#include "maker/watch.h"
#include "resources/files.h"
#include "resources/texture.h"
#include "script/parser.h"
#include "script/reference.h"

namespace fs = std::filesystem;
using json = nlohmann::json;

namespace {

constexpr size_t MAX_BODY = 16u << 20;
constexpr size_t MAX_HEADER_LINE = 1024;
constexpr size_t MAX_DOCUMENTS = 256;
constexpr size_t MAX_DOCUMENT = 1u << 20;
// Messages read ahead while a check runs, and their bodies' bytes in all.
constexpr size_t MAX_QUEUED = 1000;
constexpr size_t MAX_QUEUED_BYTES = 32u << 20;
constexpr int FOLDER_LOOK_MS = 1000;
constexpr size_t MAX_FILES = 20000;
// The entries of the workspace one walk reads at most; a folder with more is too big to be
// read on every change (a home folder, "/").
constexpr size_t MAX_WALK = 20000;
// A request of an editor holds a few hundred values, a few levels deep: a body past these is
// refused before it is built, so that no message costs more than a small multiple of its size
// and nothing recursing over it can run out of stack.
constexpr size_t MAX_DEPTH = 64;
constexpr size_t MAX_NODES = 100000;

constexpr const char* PLAY_FROM_HERE = "tarvel.playFromHere";

constexpr int PARSE_ERROR = -32700;
constexpr int INVALID_REQUEST = -32600;
constexpr int METHOD_NOT_FOUND = -32601;
constexpr int INVALID_PARAMS = -32602;
constexpr int NOT_INITIALIZED = -32002;

// Bytes from a file descriptor, buffered by hand so that "nothing more is waiting" can be told.
class Input {
  public:
    explicit Input(int fd) : fd_(fd) {}
    // One byte; false at the end of the input.
    bool get(char& c) {
        if (at_ == buffer_.size() && !fill()) return false;
        c = buffer_[at_++];
        return true;
    }
    // Up to `n` bytes appended to `out` (or dropped when `out` is null); false when the input
    // ended first.
    bool take(size_t n, std::string* out) {
        while (n > 0) {
            if (at_ == buffer_.size() && !fill()) return false;
            size_t k = std::min(n, buffer_.size() - at_);
            if (out != nullptr) out->append(buffer_, at_, k);
            at_ += k;
            n -= k;
        }
        return true;
    }
    bool idle() const { return !wait(0); }
    // Whether input is there, or comes within `ms` milliseconds (the end of the input counts).
    bool wait(int ms) const {
        if (at_ < buffer_.size()) return true;
        pollfd p = {fd_, POLLIN, 0};
        int n;
        do n = poll(&p, 1, ms);
        while (n < 0 && errno == EINTR);
        return n != 0;
    }

  private:
    bool fill() {
        buffer_.resize(65536);
        const ssize_t n = fd_read_some(fd_, buffer_.data(), buffer_.size());
        buffer_.resize(n > 0 ? static_cast<size_t>(n) : 0);
        at_ = 0;
        return n > 0;
    }
    int fd_;
    std::string buffer_;
    size_t at_ = 0;
};

enum class Got { Body, TooBig, BadHeader, End };

// One header line without its line end; false at the end of the input. A line longer than the
// bound is cut (its tail dropped), which makes it a bad header.
bool header_line(Input& in, std::string& line) {
    line.clear();
    char c;
    bool any = false;
    while (in.get(c)) {
        any = true;
        if (c == '\n') {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            return true;
        }
        if (line.size() <= MAX_HEADER_LINE) line += c;
    }
    return any;
}

// The next message's body. A header block without a good Content-Length is dropped; a body over
// the bound is skipped, its first bytes kept to find its id.
Got read_message(Input& in, std::string& body) {
    body.clear();
    std::string line;
    size_t length = 0;
    bool has_length = false;
    bool bad = false;
    bool any = false;
    for (;;) {
        if (!header_line(in, line)) return Got::End;
        if (line.empty()) {
            if (!any) continue;  // stray line ends between messages
            break;
        }
        any = true;
        // A body sent without a good header runs into the next header: start again there.
        size_t at = line.find("Content-Length:");
        if (at != std::string::npos && at > 0) {
            line.erase(0, at);
            bad = false;
            has_length = false;
        }
        size_t colon = line.find(':');
        if (colon == std::string::npos || colon == 0 || line.size() > MAX_HEADER_LINE) {
            bad = true;
            continue;
        }
        std::string name = line.substr(0, colon);
        std::transform(name.begin(), name.end(), name.begin(),
                       [](unsigned char ch) { return std::tolower(ch); });
        if (name != "content-length") continue;
        std::string value = line.substr(colon + 1);
        value.erase(0, value.find_first_not_of(" \t"));
        value.erase(value.find_last_not_of(" \t") + 1);
        if (value.empty() || value.size() > 12 ||
            !std::all_of(value.begin(), value.end(), [](unsigned char ch) { return std::isdigit(ch); })) {
            bad = true;
            continue;
        }
        length = std::stoull(value);
        has_length = true;
    }
    if (bad || !has_length) return Got::BadHeader;
    if (length > MAX_BODY) {
        const size_t kept = std::min<size_t>(length, 4096);
        if (!in.take(kept, &body) || !in.take(length - kept, nullptr)) return Got::End;
        return Got::TooBig;
    }
    return in.take(length, &body) ? Got::Body : Got::End;
}

// The id at the start of a body too big to parse, when it is a plain number or string.
json id_in_prefix(const std::string& prefix) {
    size_t at = prefix.find("\"id\"");
    if (at == std::string::npos) return nullptr;
    at = prefix.find_first_not_of(" \t\r\n", at + 4);
    if (at == std::string::npos || prefix[at] != ':') return nullptr;
    at = prefix.find_first_not_of(" \t\r\n", at + 1);
    if (at == std::string::npos) return nullptr;
    size_t end = at;
    if (prefix[at] == '"') {
        end = prefix.find('"', at + 1);
        if (end == std::string::npos) return nullptr;
        ++end;
    } else {
        while (end < prefix.size() &&
               (std::isdigit(static_cast<unsigned char>(prefix[end])) || prefix[end] == '-'))
            ++end;
    }
    json id = json::parse(prefix.substr(at, end - at), nullptr, false);
    return id.is_number_integer() || id.is_string() ? id : json(nullptr);
}

// What a body holds, counted without building it: how deep its values nest, how many there are
// (keys included) and the id of the message when it is a plain number or string. A malformed
// body is left to the parser to answer.
struct BodyShape {
    size_t depth = 0, deepest = 0, nodes = 0;
    bool id_next = false;  // the value coming is the message's id
    json id = nullptr;

    bool value(json scalar = nullptr) {
        ++nodes;
        if (id_next && (scalar.is_number_integer() || scalar.is_string())) id = std::move(scalar);
        id_next = false;
        return true;
    }
    bool open() {
        value();
        deepest = std::max(deepest, ++depth);
        return true;
    }
    bool close() {
        --depth;
        return true;
    }
    bool null() { return value(); }
    bool boolean(bool) { return value(); }
    bool number_integer(json::number_integer_t n) { return value(n); }
    bool number_unsigned(json::number_unsigned_t n) { return value(n); }
    bool number_float(json::number_float_t, const std::string&) { return value(); }
    bool string(std::string& text) { return value(id_next ? json(std::move(text)) : json()); }
    bool binary(json::binary_t&) { return value(); }
    bool start_object(size_t) { return open(); }
    bool end_object() { return close(); }
    bool start_array(size_t) { return open(); }
    bool end_array() { return close(); }
    bool key(std::string& name) {
        ++nodes;
        id_next = depth == 1 && name == "id";
        return true;
    }
    bool parse_error(size_t, const std::string&, const json::exception&) { return false; }
};

// A whole number of a message, `otherwise` when it is none or out of range (converting a
// fraction or a huge number would be undefined).
long long whole(const json& v, long long otherwise) {
    if (v.is_number_unsigned()) {
        return v.get<json::number_unsigned_t>() <= static_cast<unsigned long long>(LLONG_MAX)
                   ? v.get<long long>()
                   : otherwise;
    }
    return v.is_number_integer() ? v.get<long long>() : otherwise;
}

int whole_int(const json& v) {
    const long long n = whole(v, -1);
    return n >= INT_MIN && n <= INT_MAX ? static_cast<int>(n) : -1;
}

std::string uri_to_path(const std::string& uri) {
    if (uri.rfind("file://", 0) != 0) return "";
    std::string path;
    for (size_t i = 7; i < uri.size(); ++i) {
        if (uri[i] == '%' && i + 2 < uri.size() && std::isxdigit(static_cast<unsigned char>(uri[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(uri[i + 2]))) {
            path += static_cast<char>(std::stoi(uri.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            path += uri[i];
        }
    }
    if (path.empty() || path[0] != '/' || path.find('\0') != std::string::npos) return "";
    return fs::path(path).lexically_normal().string();
}

// Splits a text into lines at "\n", "\r\n" or "\r", as editors count them.
std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines(1);
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            lines.emplace_back();
        } else {
            lines.back() += text[i];
        }
    }
    return lines;
}

// A line's length in UTF-16 code units, the editor's measure.
int utf16_length(const std::string& line) {
    int n = 0;
    for (unsigned char c : line) {
        if ((c & 0xC0) != 0x80) n += c >= 0xF0 ? 2 : 1;
    }
    return n;
}

json range_of(int line, int from, int to) {
    return {{"start", {{"line", line}, {"character", from}}}, {"end", {{"line", line}, {"character", to}}}};
}

// A script line's words as the parser splits them: a header's type name, or a variable's key
// and value; byte offsets.
struct LineWords {
    bool header = false;
    size_t name_from = 0, name_to = 0;    // the type name, or the key
    size_t value_from = 0, value_to = 0;  // the value (a header has none)
    std::string name;
};

LineWords words_of(const std::string& line) {
    LineWords w;
    if (!line.empty() && line[0] == '[') {
        w.header = true;
        w.name_from = 1;
        w.name_to = std::min(line.find_first_of("] \t", 1), line.size());
    } else {
        w.name_to = std::min(line.find_first_of(" \t"), line.size());
        w.value_from = std::min(line.find_first_not_of(" \t", w.name_to), line.size());
        w.value_to = line.size();
    }
    w.name = line.substr(w.name_from, w.name_to - w.name_from);
    return w;
}

// The keyword a section line's key is read as, "" for none.
std::string keyword_of(const std::string& key) {
    const char* keyword = script_keyword_of(key.c_str());
    return keyword != nullptr ? keyword : "";
}

// Whether the value of a variable line names a file, and how far: a string's name is the whole
// rest of the line, a spline's its first word (the time may follow).
bool file_value(const std::string& line, const LineWords& w, size_t& from, size_t& to) {
    if (w.header || w.value_from >= w.value_to) return false;
    from = w.value_from;
    const std::string keyword = keyword_of(w.name);
    if (keyword == "string") {
        to = w.value_to;
    } else if (keyword == "spline") {
        to = std::min(line.find_first_of(" \t", from), line.size());
    } else {
        return false;
    }
    return true;
}

// A byte offset of a line as the editor counts it, in UTF-16 code units.
int column(const std::string& line, size_t byte) {
    return utf16_length(line.substr(0, std::min(byte, line.size())));
}

// The byte offset of an editor's column.
size_t byte_at(const std::string& line, int character) {
    size_t b = 0;
    for (int n = 0; b < line.size() && n < character;) {
        const unsigned char c = static_cast<unsigned char>(line[b]);
        n += c >= 0xF0 ? 2 : 1;
        for (++b; b < line.size() && (static_cast<unsigned char>(line[b]) & 0xC0) == 0x80;) ++b;
    }
    return b;
}

// Whether a word may begin or end at a byte offset: no letter, digit, '_', '.' or '/' on that
// side of it continues the word.
bool bounded(const std::string& line, size_t at) {
    auto word = [](unsigned char c) { return std::isalnum(c) || c == '_' || c == '.' || c == '/'; };
    return at == 0 || at >= line.size() || !word(line[at - 1]) || !word(line[at]);
}

// Where on its line a problem lies: the longest name the message quotes that the line holds;
// else a header's type, a file name, or a variable's key; else the whole line.
json problem_range(const std::string& line, int at, const std::string& message) {
    size_t from = 0, to = 0;
    for (size_t open = message.find('\''); open != std::string::npos;) {
        const size_t close = message.find('\'', open + 1);
        if (close == std::string::npos) break;
        const std::string quoted = message.substr(open + 1, close - open - 1);
        size_t found = quoted.empty() ? std::string::npos : line.find(quoted);
        while (found != std::string::npos && !(bounded(line, found) && bounded(line, found + quoted.size())))
            found = line.find(quoted, found + 1);
        if (found != std::string::npos && quoted.size() > to - from) {
            from = found;
            to = found + quoted.size();
        }
        open = message.find('\'', close + 1);
    }
    if (to == from) {
        const LineWords w = words_of(line);
        if (!file_value(line, w, from, to)) {
            from = w.name_from;
            to = w.name_to;
        }
        if (to == from) from = 0, to = line.size();
    }
    return range_of(at, column(line, from), column(line, to));
}

// A file:// address of an absolute path, every byte but the unreserved ones and '/' escaped.
std::string path_to_uri(const std::string& path) {
    std::string uri = "file://";
    for (unsigned char c : path) {
        if (std::isalnum(c) || c == '/' || c == '-' || c == '.' || c == '_' || c == '~') {
            uri += static_cast<char>(c);
        } else {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "%%%02X", c);
            uri += escaped;
        }
    }
    return uri;
}

bool has_extension(const std::string& path, std::initializer_list<const char*> extensions) {
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || path.find('/', dot) != std::string::npos) return false;
    std::string ext = path.substr(dot + 1);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    return std::any_of(extensions.begin(), extensions.end(), [&](const char* e) { return ext == e; });
}

// Whether a file fits the value of a string line (a picture, a mesh, a sound) or of a spline
// line (a file of none of those kinds, nor a script or an archive).
bool fits(const std::string& key, const std::string& path) {
    const bool media =
        has_extension(path, {"tga", "png", "jpg", "jpeg", "bmp", "3ds", "wav", "flac", "ogg", "oga", "opus",
                             "mp3", "mod", "xm", "s3m", "it", "mptm", "aif", "aiff"});
    if (key == "string") return media;
    return !media && path.find(".tvl") == std::string::npos && !has_extension(path, {"zip", "dat"});
}

// Whether a line lies inside a section: a header comes before it.
bool in_section(const std::vector<std::string>& lines, int line) {
    for (int i = 0; i < line; ++i) {
        if (!lines[i].empty() && lines[i][0] == '[') return true;
    }
    return false;
}

struct Document {
    std::string text;
    long long version = 0;
    std::string relative;  // the path under the served folder; "" outside it
};

struct SectionPlace {
    std::string type, start = "?", end = "?";
    int header = 0, last = 0;
};

std::vector<SectionPlace> sections_of(const std::vector<std::string>& lines) {
    std::vector<SectionPlace> sections;
    for (int i = 0; i < static_cast<int>(lines.size()); ++i) {
        const std::string& l = lines[i];
        if (!l.empty() && l[0] == '[') {
            if (!sections.empty()) sections.back().last = i - 1;
            SectionPlace s;
            s.type = words_of(l).name;
            s.header = s.last = i;
            sections.push_back(s);
            continue;
        }
        if (sections.empty()) continue;
        sections.back().last = i;
        const LineWords w = words_of(l);
        if (w.value_from == w.value_to || (w.name != "start" && w.name != "end")) continue;
        const std::string value = l.substr(w.value_from, l.find_first_of(" \t", w.value_from) - w.value_from);
        (w.name == "start" ? sections.back().start : sections.back().end) = value.substr(0, 32);
    }
    return sections;
}

class Server {
  public:
    explicit Server(int out_fd) : out_fd_(out_fd) {}

    int run(Input& in) {
        for (;;) {
            if (dirty_ && queued_.empty() && !ended_ && in.idle()) publish_all(in);
            // While the editor is quiet, files changed on disk (a picture added, a script
            // changed by another program) are checked too.
            if (queued_.empty() && !ended_ && !in.wait(FOLDER_LOOK_MS)) {
                dirty_ = dirty_ || folder_changed();
                continue;
            }
            json message;
            if (!queued_.empty()) {
                message = std::move(queued_.front().message);
                queued_bytes_ -= queued_.front().bytes;
                queued_.pop_front();
            } else if (ended_ || !next(in, message)) {
                return shutdown_ ? 0 : 1;
            } else if (message.is_discarded()) {
                continue;
            }
            if (handle(message)) return shutdown_ ? 0 : 1;
        }
    }

  private:
    // The next message of the input; framing faults and bodies past the bounds are answered
    // here and come back as a discarded value. False at the end of the input. `bytes` is the
    // size of its body.
    bool next(Input& in, json& message, size_t* bytes = nullptr) {
        std::string body;
        Got got = read_message(in, body);
        if (bytes != nullptr) *bytes = body.size();
        message = json(json::value_t::discarded);
        if (got == Got::End) {
            ended_ = true;
            return false;
        }
        if (got == Got::BadHeader) {
            std::fputs("tarvel: lsp: a message with a bad header was dropped\n", stderr);
        } else if (got == Got::TooBig) {
            error(id_in_prefix(body), INVALID_REQUEST, "the message is over 16 MB and was skipped");
        } else {
            BodyShape shape;
            if (!json::sax_parse(body, &shape)) {
                error(nullptr, PARSE_ERROR, "the body is not JSON");
            } else if (shape.deepest > MAX_DEPTH || shape.nodes > MAX_NODES) {
                error(shape.id, INVALID_REQUEST,
                      "the message nests deeper than " + std::to_string(MAX_DEPTH) + " or holds more than " +
                          std::to_string(MAX_NODES) + " values and was refused");
            } else {
                message = json::parse(body, nullptr, false);
            }
        }
        return true;
    }

    void send(const json& message) {
        std::string body = message.dump(-1, ' ', false, json::error_handler_t::replace);
        std::string framed = "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
        fd_write_all(out_fd_, framed);
    }
    void reply(const json& id, const json& result) {
        send({{"jsonrpc", "2.0"}, {"id", id}, {"result", result}});
    }
    void error(const json& id, int code, const std::string& text) {
        send({{"jsonrpc", "2.0"}, {"id", id}, {"error", {{"code", code}, {"message", text}}}});
    }

    // Handles one message; true when it was "exit".
    bool handle(const json& m) {
        static const json no_params = json::object();
        const bool has_id = m.is_object() && m.contains("id");
        // Only a plain id is echoed: anything else is the editor's mistake, answered with none.
        json id = nullptr;
        if (has_id && (m["id"].is_string() || m["id"].is_number_integer())) id = m["id"];
        if (!m.is_object() || !m.contains("method") || !m["method"].is_string()) {
            // Answers from the editor to requests never sent are ignored.
            if (m.is_object() && (m.contains("result") || m.contains("error"))) return false;
            error(id, INVALID_REQUEST, "not a request or notification");
            return false;
        }
        const std::string method = m["method"];
        const json& params = m.contains("params") ? m["params"] : no_params;
        if (method == "exit") return true;
        if (!initialized_ && method != "initialize") {
            if (has_id) error(id, NOT_INITIALIZED, "the server is not initialized");
            return false;
        }
        if (shutdown_ && has_id) {
            error(id, INVALID_REQUEST, "the server is shut down");
            return false;
        }
        try {
            if (has_id) {
                request(id, method, params);
            } else {
                notification(method, params);
            }
        } catch (const json::exception& e) {
            if (has_id) error(id, INVALID_PARAMS, std::string("bad parameters: ") + e.what());
        }
        return false;
    }

    void request(const json& id, const std::string& method, const json& params) {
        if (method == "initialize") {
            if (initialized_) return error(id, INVALID_REQUEST, "already initialized");
            initialized_ = true;
            if (params.is_object() && params.contains("rootUri") && params["rootUri"].is_string())
                set_root(fs::path(uri_to_path(params["rootUri"].get<std::string>())));
            json capabilities = {{"textDocumentSync", 1},
                                 {"documentSymbolProvider", true},
                                 {"definitionProvider", true},
                                 {"hoverProvider", true},
                                 {"codeLensProvider", json::object()},
                                 {"executeCommandProvider", {{"commands", {PLAY_FROM_HERE}}}},
                                 {"completionProvider", {{"triggerCharacters", {"["}}}}};
            reply(id, {{"capabilities", capabilities}, {"serverInfo", {{"name", "tarvel"}}}});
        } else if (method == "shutdown") {
            shutdown_ = true;
            reply(id, nullptr);
        } else if (method == "textDocument/documentSymbol") {
            const Document* doc = find(params);
            if (doc == nullptr) return reply(id, json::array());
            json symbols = json::array();
            std::vector<std::string> lines = lines_of(doc->text);
            for (const SectionPlace& s : sections_of(lines)) {
                json range = {{"start", {{"line", s.header}, {"character", 0}}},
                              {"end", {{"line", s.last}, {"character", utf16_length(lines[s.last])}}}};
                symbols.push_back({{"name", s.type + " " + s.start + "-" + s.end},
                                   {"kind", 5},
                                   {"range", range},
                                   {"selectionRange", range_of(s.header, 0, utf16_length(lines[s.header]))}});
            }
            reply(id, symbols);
        } else if (method == "textDocument/completion") {
            reply(id, completion(params));
        } else if (method == "textDocument/codeLens") {
            reply(id, code_lenses(params));
        } else if (method == "workspace/executeCommand") {
            execute(id, params);
        } else if (method == "textDocument/hover") {
            reply(id, hover(params));
        } else if (method == "textDocument/definition") {
            reply(id, definition(params));
        } else {
            error(id, METHOD_NOT_FOUND, "unknown method '" + method.substr(0, 100) + "'");
        }
    }

    void notification(const std::string& method, const json& params) {
        if (method == "textDocument/didOpen") {
            const json& item = params.at("textDocument");
            std::string uri = item.at("uri");
            if (docs_.size() >= MAX_DOCUMENTS && !docs_.count(uri)) {
                std::fputs("tarvel: lsp: too many open documents\n", stderr);
                return;
            }
            std::string text = item.at("text");
            const long long version = item.contains("version") ? whole(item["version"], 0) : 0;
            if (text.size() > MAX_DOCUMENT) {
                std::fputs("tarvel: lsp: a document over 1 MB was not opened\n", stderr);
                return;
            }
            std::string path = uri_to_path(uri);
            if (root_.empty() && !path.empty()) set_root(fs::path(path).parent_path());
            Document& doc = docs_[uri];
            doc.text = std::move(text);
            doc.version = version;
            doc.relative = relative_to_root(path);
            dirty_ = true;
        } else if (method == "textDocument/didChange") {
            auto found = docs_.find(params.at("textDocument").at("uri").get<std::string>());
            if (found == docs_.end()) return;
            const json& changes = params.at("contentChanges");
            if (!changes.is_array() || changes.empty()) return;
            std::string text = changes.back().at("text");
            if (text.size() > MAX_DOCUMENT) {
                std::fputs("tarvel: lsp: a change past 1 MB was ignored\n", stderr);
                return;
            }
            const json& document = params.at("textDocument");
            found->second.version = document.contains("version")
                                        ? whole(document["version"], found->second.version + 1)
                                        : found->second.version + 1;
            found->second.text = std::move(text);
            dirty_ = true;
        } else if (method == "textDocument/didClose") {
            std::string uri = params.at("textDocument").at("uri");
            if (docs_.erase(uri) > 0) {
                send({{"jsonrpc", "2.0"},
                      {"method", "textDocument/publishDiagnostics"},
                      {"params", {{"uri", uri}, {"diagnostics", json::array()}}}});
                dirty_ = true;
            }
        }
        // didSave, initialized and any other notification need nothing.
    }

    json completion(const json& params) {
        json items = json::array();
        std::vector<std::string> lines;
        int line = 0;
        size_t at = 0;
        if (!position(params, lines, line, at)) return items;
        const std::string before = lines[line].substr(0, at);
        auto word = [](const std::string& s) {
            return std::all_of(s.begin(), s.end(),
                               [](unsigned char c) { return std::isalnum(c) || c == '_'; });
        };
        // The names of one kind, each with what it means; `item_kind` is the protocol's.
        auto add_all = [&](ReferenceKind kind, int item_kind) {
            for (const ReferenceEntry& entry : reference_table()) {
                if (entry.kind != kind) continue;
                items.push_back(
                    {{"label", entry.name},
                     {"kind", item_kind},
                     {"documentation", {{"kind", "markdown"}, {"value", reference_hover(entry)}}}});
            }
        };
        const LineWords w = words_of(before);
        const std::string keyword = keyword_of(w.name);
        if (!w.header && (keyword == "string" || keyword == "spline") && w.name_to < before.size()) {
            const json range = range_of(line, column(before, w.value_from), column(before, at));
            std::vector<std::string> files;
            walk([&](FileWalkBound&) { files = file_list(MAX_FILES); });
            for (const std::string& path : files) {
                if (!fits(keyword, path)) continue;
                items.push_back(
                    {{"label", path}, {"kind", 17}, {"textEdit", {{"range", range}, {"newText", path}}}});
            }
        } else if (!before.empty() && before[0] == '[' && word(before.substr(1))) {
            add_all(ReferenceKind::Type, 7);
        } else if (word(before)) {
            if (in_section(lines, line)) {
                add_all(ReferenceKind::Keyword, 14);
            } else {
                add_all(ReferenceKind::Setting, 10);
            }
        }
        return items;
    }

    // The address of the console of a player serving the folder, from the note it leaves
    // there; "" when there is none.
    std::string console_url() const {
        if (root_.empty()) return "";
        const std::string line = console_note_read(root_ / CONSOLE_NOTE);
        if (line.size() > 512) return "";
        // Only a console on this machine: the note is a file of the folder, which anyone may
        // have written.
        if (line.rfind("http://127.0.0.1:", 0) != 0 && line.rfind("http://[::1]:", 0) != 0) return "";
        return line;
    }

    // "Play from here" over each section with a start, while a player serves the folder.
    json code_lenses(const json& params) {
        json lenses = json::array();
        const Document* doc = find(params);
        if (doc == nullptr || console_url().empty()) return lenses;
        std::vector<std::string> lines = lines_of(doc->text);
        for (const SectionPlace& s : sections_of(lines)) {
            char* end = nullptr;
            const double start = std::strtod(s.start.c_str(), &end);
            if (s.start == "?" || end == s.start.c_str() || *end != '\0' || !std::isfinite(start)) continue;
            lenses.push_back({{"range", range_of(s.header, 0, utf16_length(lines[s.header]))},
                              {"command",
                               {{"title", "\u25B6 Play from here"},
                                {"command", PLAY_FROM_HERE},
                                {"arguments", json::array({start})}}}});
        }
        return lenses;
    }

    // Seeks the player serving the folder to the time given; a failure is shown to the user.
    void execute(const json& id, const json& params) {
        if (params.at("command") != PLAY_FROM_HERE) {
            return error(id, INVALID_PARAMS, "unknown command");
        }
        const json& arguments = params.at("arguments");
        if (!arguments.is_array() || arguments.empty() || !arguments[0].is_number() ||
            !std::isfinite(arguments[0].get<double>()))
            return error(id, INVALID_PARAMS, "the command takes the time to play from");
        std::string why;
        const std::string url = console_url();
        char seek[64];
        std::snprintf(seek, sizeof seek, "seek %.3f", arguments[0].get<double>());
        const std::string answer = url.empty() ? "" : console_ask(url, seek, 2.0, why);
        if (url.empty()) why = "no player serves this folder with a console (tarvel --watch --serve)";
        if (answer.rfind("ok", 0) != 0) {
            const std::string text = why.empty() ? "the player answered: " + answer : why;
            send({{"jsonrpc", "2.0"},
                  {"method", "window/showMessage"},
                  {"params", {{"type", 1}, {"message", "Play from here: " + text}}}});
        }
        reply(id, answer.empty() ? json(nullptr) : json(answer));
    }

    // What the word under the position means: a section type on a header, a keyword in a
    // section, a setting before the first header.
    json hover(const json& params) {
        std::vector<std::string> lines;
        int line = 0;
        size_t at = 0;
        if (!position(params, lines, line, at)) return nullptr;
        const std::string& text = lines[line];
        const LineWords w = words_of(text);
        if (w.name.empty() || at < w.name_from || at > w.name_to) return nullptr;
        const ScriptPlace place = w.header                  ? ScriptPlace::Header
                                  : in_section(lines, line) ? ScriptPlace::Section
                                                            : ScriptPlace::TopLevel;
        const std::string paragraph = reference_hover(w.name, place);
        if (paragraph.empty()) return nullptr;
        return {{"contents", {{"kind", "markdown"}, {"value", paragraph}}},
                {"range", range_of(line, column(text, w.name_from), column(text, w.name_to))}};
    }

    // The file a string or spline line names, when the position is on its name and it is a
    // plain file of the demo (one inside an archive has no address of its own).
    json definition(const json& params) {
        std::vector<std::string> lines;
        int line = 0;
        size_t at = 0;
        if (root_.empty() || !position(params, lines, line, at)) return nullptr;
        const std::string& text = lines[line];
        size_t from = 0, to = 0;
        if (!file_value(text, words_of(text), from, to) || at < from || at > to) return nullptr;
        const fs::path file = (root_ / text.substr(from, to - from)).lexically_normal();
        std::error_code ec;
        if (!fs::is_regular_file(file, ec)) return nullptr;
        return {{"uri", path_to_uri(file.string())}, {"range", range_of(0, 0, 0)}};
    }

    // The document and position a request names: its lines, the line's index and the
    // position's byte offset in it. False when the document is not open or the position lies
    // outside it.
    bool position(const json& params, std::vector<std::string>& lines, int& line, size_t& byte) {
        const Document* doc = find(params);
        if (doc == nullptr) return false;
        lines = lines_of(doc->text);
        line = whole_int(params.at("position").at("line"));
        const int character = whole_int(params.at("position").at("character"));
        if (line < 0 || line >= static_cast<int>(lines.size()) || character < 0) return false;
        byte = byte_at(lines[line], character);
        return true;
    }

    const Document* find(const json& params) {
        auto found = docs_.find(params.at("textDocument").at("uri").get<std::string>());
        return found == docs_.end() ? nullptr : &found->second;
    }

    void set_root(const fs::path& root) {
        std::error_code ec;
        if (root.empty() || !fs::is_directory(root, ec) || chdir(root.c_str()) != 0) {
            std::fprintf(stderr, "tarvel: lsp: cannot serve the folder '%s'\n", root.c_str());
            return;
        }
        root_ = root.lexically_normal();
        for (auto& [uri, doc] : docs_) doc.relative = relative_to_root(uri_to_path(uri));
    }

    std::string relative_to_root(const std::string& path) const {
        if (root_.empty() || path.empty()) return "";
        fs::path relative = fs::path(path).lexically_relative(root_);
        std::string r = relative.string();
        if (r.empty() || r == "." || r.rfind("..", 0) == 0) return "";
        return r;
    }

    // The checker's problems on the demo folder, the open documents' texts read in place of
    // their files; nothing is written.
    std::vector<CheckProblem> check() {
        std::map<std::string, std::string> texts;
        for (const auto& [uri, doc] : docs_) {
            if (!doc.relative.empty()) texts[doc.relative] = doc.text;
        }
        // Pictures found good in earlier rounds are not decoded again while their files stay.
        if (pictures_.size() > MAX_FILES) pictures_.clear();
        std::vector<CheckProblem> problems;
        walk([&](FileWalkBound& bound) { problems = demo_check(true, {&texts, &pictures_, &bound}); });
        return problems;
    }

    // Runs `fn` with every walk of the folder bounded: MAX_WALK entries each, none once the
    // folder has proved too big. A walk cut short makes it so. `fn` gets the bound to hand on
    // to a check, whose own context then stands in force.
    template <typename Fn>
    void walk(Fn&& fn) {
        FileWalkBound bound{too_big_ ? 0 : MAX_WALK};
        LoadContext bounded;
        bounded.walk_bound = &bound;
        {
            LoadScope in_force(bounded);
            fn(bound);
        }
        if (bound.cut && !too_big_) {
            folder_too_big();
            dirty_ = true;  // what was checked with a walk cut short is checked again without one
        }
    }

    // From now on the folder is not read: only the open scripts are checked, and the user is
    // told why, once.
    void folder_too_big() {
        if (too_big_) return;
        too_big_ = true;
        folder_.clear();
        const std::string message =
            "The folder " + root_.string() + " holds more than " + std::to_string(MAX_WALK) +
            " files and folders, too many to read on every change: from now on "
            "only the scripts open in the editor are checked, without the demo's other "
            "scripts, its unused files or file names to complete, and changes on disk "
            "are not looked for. Open the demo's own folder to have it checked whole.";
        std::fprintf(stderr, "tarvel: lsp: %s\n", message.c_str());
        send({{"jsonrpc", "2.0"},
              {"method", "window/showMessage"},
              {"params", {{"type", 2}, {"message", message}}}});
    }

    // The served folder's files now; nothing once it is too big to be looked at.
    FileSnapshot look() {
        bool cut = false;
        FileSnapshot now;
        if (!too_big_) now = watch_scan(".", {}, MAX_WALK, &cut);
        if (cut) folder_too_big();
        return too_big_ ? FileSnapshot() : now;
    }

    // Whether the files of the served folder changed since the last check or look.
    bool folder_changed() {
        if (root_.empty() || docs_.empty() || too_big_) return false;
        FileSnapshot now = look();
        const bool changed = now != folder_ || too_big_;
        folder_ = std::move(now);
        return changed;
    }

    // Checks, then publishes unless the input brought newer texts meanwhile (those are checked
    // next): an editor never gets diagnostics of a text older than one it has sent.
    void publish_all(Input& in) {
        dirty_ = false;
        if (root_.empty()) return;
        folder_ = look();
        std::vector<CheckProblem> problems;
        try {
            problems = check();
        } catch (const std::exception& e) {
            // Whatever the demo holds, the server goes on; this round publishes nothing.
            std::fprintf(stderr, "tarvel: lsp: the check failed: %s\n", e.what());
            return;
        }
        json message;
        size_t bytes = 0;
        while (queued_.size() < MAX_QUEUED && queued_bytes_ < MAX_QUEUED_BYTES && !in.idle() &&
               next(in, message, &bytes)) {
            if (message.is_discarded()) continue;
            if (message.is_object() && message.contains("method") && message["method"].is_string()) {
                const std::string method = message["method"];
                if (method == "textDocument/didChange" || method == "textDocument/didOpen" ||
                    method == "textDocument/didClose")
                    dirty_ = true;
            }
            queued_.push_back({std::move(message), bytes});
            queued_bytes_ += bytes;
        }
        if (dirty_) return;
        const Document* first = nullptr;
        for (const auto& [uri, doc] : docs_) {
            if (first == nullptr && !doc.relative.empty()) first = &doc;
        }
        for (const auto& [uri, doc] : docs_) {
            std::vector<std::string> lines = lines_of(doc.text);
            json diagnostics = json::array();
            for (const CheckProblem& p : problems) {
                std::string script(path_without_dot(p.script));
                // What is wrong with the demo as a whole (no loading section, no font) goes on the
                // first script open, at its top; a file no script uses is no script's problem.
                const bool whole = p.line == 0 && script.find(".tvl") == std::string::npos &&
                                   p.severity != Severity::Warning;
                if (doc.relative.empty() || (whole ? &doc != first : script != doc.relative)) continue;
                const int line = std::clamp(p.line - 1, 0, static_cast<int>(lines.size()) - 1);
                const int severity = p.severity == Severity::Error     ? 1
                                     : p.severity == Severity::Warning ? 2
                                                                       : 4;
                diagnostics.push_back(
                    {{"range", p.line > 0 ? problem_range(lines[line], line, p.message) : range_of(0, 0, 0)},
                     {"severity", severity},
                     {"source", "tarvel"},
                     {"message", whole && !script.empty() ? script + ": " + p.message : p.message}});
            }
            send({{"jsonrpc", "2.0"},
                  {"method", "textDocument/publishDiagnostics"},
                  {"params", {{"uri", uri}, {"version", doc.version}, {"diagnostics", diagnostics}}}});
        }
    }

    int out_fd_;
    bool initialized_ = false;
    bool shutdown_ = false;
    bool dirty_ = false;
    bool ended_ = false;
    bool too_big_ = false;  // the folder holds more than one walk reads
    struct Queued {
        json message;
        size_t bytes;
    };
    std::deque<Queued> queued_;
    size_t queued_bytes_ = 0;
    std::map<std::string, PictureStamp> pictures_;
    FileSnapshot folder_;  // the served folder's files at the last look
    fs::path root_;
    std::map<std::string, Document> docs_;
};

}  // namespace

int lsp_serve(int in_fd, int out_fd) {
    Input in(in_fd);
    Server server(out_fd);
    return server.run(in);
}

int lsp_run() {
    // Only the protocol goes to standard output: anything else printed meanwhile goes to standard
    // error.
    const int out_fd = dup(1);
    if (out_fd < 0 || dup2(2, 1) < 0) return 1;
    const int status = lsp_serve(0, out_fd);
    close(out_fd);
    return status;
}
