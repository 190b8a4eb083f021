// The language server: a bounded framing reader, a dispatcher of the requests and notifications
// an editor sends, and the checker run on a private copy of the demo's scripts with the open
// documents' texts in place of their files.
#include "core/lsp.h"

#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <system_error>
#include <vector>

#include "base/config.h"
#include "core/check.h"
#include "script/section.h"

namespace fs = std::filesystem;
using json = nlohmann::json;

namespace {

constexpr size_t MAX_BODY = 16u << 20;
constexpr size_t MAX_HEADER_LINE = 1024;
constexpr size_t MAX_DOCUMENTS = 256;
constexpr size_t MAX_DOCUMENT = 1u << 20;
constexpr int MAX_WALKED = 100000;
constexpr size_t MAX_SCRIPTS = 1000;
constexpr std::uintmax_t MAX_SCRIPT_FILE = 4u << 20;

constexpr int PARSE_ERROR = -32700;
constexpr int INVALID_REQUEST = -32600;
constexpr int METHOD_NOT_FOUND = -32601;
constexpr int INVALID_PARAMS = -32602;
constexpr int NOT_INITIALIZED = -32002;

const char* const SECTION_KEYWORDS[] = {"start",  "end",    "layer", "sync", "param",
                                        "spline", "string", "blend", "alpha"};

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
    bool idle() const {
        if (at_ < buffer_.size()) return false;
        pollfd p = {fd_, POLLIN, 0};
        return poll(&p, 1, 0) == 0;
    }

  private:
    bool fill() {
        buffer_.resize(65536);
        ssize_t n;
        do n = read(fd_, buffer_.data(), buffer_.size());
        while (n < 0 && errno == EINTR);
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
            size_t close = l.find_first_of("] \t", 1);
            s.type = l.substr(1, close == std::string::npos ? std::string::npos : close - 1);
            s.header = s.last = i;
            sections.push_back(s);
            continue;
        }
        if (sections.empty()) continue;
        sections.back().last = i;
        size_t key_end = l.find_first_of(" \t");
        if (key_end == std::string::npos) continue;
        std::string key = l.substr(0, key_end);
        size_t value_at = l.find_first_not_of(" \t", key_end);
        if (value_at == std::string::npos || (key != "start" && key != "end")) continue;
        std::string value = l.substr(value_at, l.find_first_of(" \t", value_at) - value_at);
        (key == "start" ? sections.back().start : sections.back().end) = value.substr(0, 32);
    }
    return sections;
}

class Server {
  public:
    explicit Server(int out_fd) : out_fd_(out_fd) {}

    int run(Input& in) {
        std::string body;
        for (;;) {
            if (dirty_ && in.idle()) publish_all();
            Got got = read_message(in, body);
            if (got == Got::End) return shutdown_ ? 0 : 1;
            if (got == Got::BadHeader) {
                std::fputs("tarvel: lsp: a message with a bad header was dropped\n", stderr);
                continue;
            }
            if (got == Got::TooBig) {
                error(id_in_prefix(body), INVALID_REQUEST, "the message is over 16 MB and was skipped");
                continue;
            }
            json message = json::parse(body, nullptr, false);
            if (message.is_discarded()) {
                error(nullptr, PARSE_ERROR, "the body is not JSON");
                continue;
            }
            if (handle(message)) return shutdown_ ? 0 : 1;
        }
    }

  private:
    void send(const json& message) {
        std::string body = message.dump(-1, ' ', false, json::error_handler_t::replace);
        std::string framed = "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
        size_t done = 0;
        while (done < framed.size()) {
            ssize_t n = write(out_fd_, framed.data() + done, framed.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return;
            done += static_cast<size_t>(n);
        }
    }
    void reply(const json& id, const json& result) {
        send({{"jsonrpc", "2.0"}, {"id", id}, {"result", result}});
    }
    void error(const json& id, int code, const std::string& text) {
        send({{"jsonrpc", "2.0"}, {"id", id}, {"error", {{"code", code}, {"message", text}}}});
    }

    // Handles one message; true when it was "exit".
    bool handle(const json& m) {
        const bool has_id = m.is_object() && m.contains("id");
        json id = has_id ? m["id"] : json(nullptr);
        if (has_id && !id.is_string() && !id.is_number_integer()) id = nullptr;
        if (!m.is_object() || !m.contains("method") || !m["method"].is_string()) {
            // Answers from the editor to requests never sent are ignored.
            if (m.is_object() && (m.contains("result") || m.contains("error"))) return false;
            error(id, INVALID_REQUEST, "not a request or notification");
            return false;
        }
        const std::string method = m["method"];
        const json params = m.contains("params") ? m["params"] : json::object();
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
            const long long version = item.value("version", 0LL);
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
            found->second.version = params.at("textDocument").value("version", found->second.version + 1);
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
        const Document* doc = find(params);
        json items = json::array();
        if (doc == nullptr) return items;
        std::vector<std::string> lines = lines_of(doc->text);
        const int line = params.at("position").at("line");
        const int character = params.at("position").at("character");
        if (line < 0 || line >= static_cast<int>(lines.size()) || character < 0) return items;
        std::string before = lines[line].substr(0, static_cast<size_t>(character));
        auto word = [](const std::string& s) {
            return std::all_of(s.begin(), s.end(),
                               [](unsigned char c) { return std::isalnum(c) || c == '_'; });
        };
        auto add = [&](const char* name, int kind) { items.push_back({{"label", name}, {"kind", kind}}); };
        if (!before.empty() && before[0] == '[' && word(before.substr(1))) {
            for (const SectionType* t : section_types) add(t->name, 7);
        } else if (word(before)) {
            bool in_section = false;
            for (int i = 0; i < line; ++i)
                in_section = in_section || (!lines[i].empty() && lines[i][0] == '[');
            if (in_section) {
                for (const char* k : SECTION_KEYWORDS) add(k, 14);
            } else {
                for (const ConfigVar& v : config_vars) add(v.name, 10);
            }
        }
        return items;
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

    // The checker's problems on a private copy of the demo's scripts with the open documents'
    // texts; line ends become "\n" so that its line numbers are the editor's.
    std::vector<CheckProblem> check() {
        std::map<std::string, std::string> scripts;  // relative path -> text
        std::error_code ec;
        fs::recursive_directory_iterator it(root_, fs::directory_options::skip_permission_denied, ec);
        for (int walked = 0; !ec && it != fs::recursive_directory_iterator() &&
                             scripts.size() < MAX_SCRIPTS && ++walked < MAX_WALKED;
             it.increment(ec)) {
            const std::string name = it->path().filename().string();
            if (name.find(".tvl") == std::string::npos || !it->is_regular_file(ec)) continue;
            if (it->file_size(ec) > MAX_SCRIPT_FILE) continue;
            std::ifstream file(it->path(), std::ios::binary);
            scripts[it->path().lexically_relative(root_).string()] =
                std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
        }
        for (const auto& [uri, doc] : docs_) {
            if (!doc.relative.empty()) scripts[doc.relative] = doc.text;
        }
        std::string pattern = (fs::temp_directory_path(ec) / "tarvel-lsp-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) return {};
        const fs::path copy = pattern;
        for (const auto& [relative, text] : scripts) {
            fs::create_directories((copy / relative).parent_path(), ec);
            std::ofstream out(copy / relative, std::ios::binary);
            std::string plain;
            for (const std::string& l : lines_of(text)) plain += l + "\n";
            out << plain;
        }
        std::vector<CheckProblem> problems;
        if (chdir(copy.c_str()) == 0) {
            problems = demo_check(false);
            if (chdir(root_.c_str()) != 0) std::fputs("tarvel: lsp: cannot return to the folder\n", stderr);
        }
        fs::remove_all(copy, ec);
        return problems;
    }

    void publish_all() {
        dirty_ = false;
        if (root_.empty()) return;
        std::map<std::string, long long> versions;
        for (const auto& [uri, doc] : docs_) versions[uri] = doc.version;
        std::vector<CheckProblem> problems = check();
        for (const auto& [uri, doc] : docs_) {
            // A newer text has come meanwhile: its own check will follow.
            if (doc.version != versions[uri]) continue;
            std::vector<std::string> lines = lines_of(doc.text);
            json diagnostics = json::array();
            for (const CheckProblem& p : problems) {
                std::string script = p.script.rfind("./", 0) == 0 ? p.script.substr(2) : p.script;
                if (doc.relative.empty() || script != doc.relative) continue;
                int line = std::clamp(p.line - 1, 0, static_cast<int>(lines.size()) - 1);
                int severity = p.severity == Severity::Error ? 1 : p.severity == Severity::Warning ? 2 : 4;
                diagnostics.push_back(
                    {{"range", range_of(line, 0, p.line > 0 ? utf16_length(lines[line]) : 0)},
                     {"severity", severity},
                     {"source", "tarvel"},
                     {"message", p.message}});
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
    fs::path root_;
    std::map<std::string, Document> docs_;
};

}  // namespace

int lsp_run() {
    // Only the protocol goes to standard output: anything else printed meanwhile goes to standard
    // error.
    const int out_fd = dup(1);
    if (out_fd < 0 || dup2(2, 1) < 0) return 1;
    Input in(0);
    Server server(out_fd);
    const int status = server.run(in);
    close(out_fd);
    return status;
}
