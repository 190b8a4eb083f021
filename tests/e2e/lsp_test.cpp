// tarvel --lsp driven as an editor drives it, through pipes and without a display: diagnostics
// of the text being typed, completion, the sections, and malformed input answered, not fatal.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <gmock/gmock.h>
#include <nlohmann/json.hpp>
#include <regex>
#include <thread>

#include "base/io.h"
#include "media_files.h"
#include "player.h"
#include "web_client.h"

using json = nlohmann::json;
using ::testing::AllOf, ::testing::Contains, ::testing::ElementsAre, ::testing::HasSubstr, ::testing::IsEmpty,
    ::testing::Not, ::testing::SizeIs, ::testing::StartsWith, ::testing::UnorderedElementsAre;

namespace {

std::string framed(const std::string& body) {
    return "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

class Client {
  public:
    explicit Client(const std::string& dir) : player(dir, {"--lsp"}, "", ".lsp-stderr"), dir_(dir) {}
    void raw(const std::string& bytes) { fd_write_all(player.to, bytes); }
    void send(const json& m) { raw(framed(m.dump())); }
    void notify(const std::string& method, const json& params) {
        send({{"jsonrpc", "2.0"}, {"method", method}, {"params", params}});
    }
    // The answer to a request (messages before it are kept for `until`).
    json ask(const std::string& method, const json& params) {
        const int id = ++last_id_;
        send({{"jsonrpc", "2.0"}, {"id", id}, {"method", method}, {"params", params}});
        return until([&](const json& m) { return m.value("id", json()) == id; });
    }
    // The next message that `wanted` accepts ({} after 30 s without one).
    json until(const std::function<bool(const json&)>& wanted) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        for (;;) {
            auto it = std::find_if(kept_.begin(), kept_.end(), wanted);
            if (it != kept_.end()) {
                json m = std::move(*it);
                kept_.erase(it);
                return m;
            }
            const size_t end = pending_.find("\r\n\r\n");
            const size_t length =
                end == std::string::npos ? 0 : std::stoul(pending_.substr(pending_.find(':') + 1));
            if (end != std::string::npos && pending_.size() >= end + 4 + length) {
                kept_.push_back(json::parse(pending_.substr(end + 4, length)));
                pending_.erase(0, end + 4 + length);
            } else if (!read_some(player.from, pending_, deadline)) {
                return {};
            }
        }
    }
    std::string err() const { return read_file(dir_ + "/.lsp-stderr"); }

    PlayerProcess player;

  private:
    std::string dir_;
    int last_id_ = 0;
    std::string pending_;
    std::vector<json> kept_;
};

// "LINE:SEVERITY:FROM-TO" for each diagnostic, in order.
std::vector<std::string> places(const json& published) {
    std::vector<std::string> out;
    for (const json& d : published["params"]["diagnostics"]) {
        const json& r = d["range"];
        out.push_back(std::to_string(r["start"]["line"].get<int>()) + ":" +
                      std::to_string(d["severity"].get<int>()) + ":" +
                      std::to_string(r["start"]["character"].get<int>()) + "-" +
                      std::to_string(r["end"]["character"].get<int>()));
    }
    return out;
}

const char* const SCRIPT =
    "demo_strat 1\n"
    "[imagee]\n"
    "start 0\n"
    "end 2\n"
    "[background]\n"
    "start 2\n"
    "end 10\n"
    "string data/bb.tga\n"
    "[image]\n"
    "start 0\n"
    "end 2\n"
    "string pack/c.tga\n"
    "spline data/path.spl\n";

// The script a message is about ("" when none).
std::string uri_of(const json& m) {
    return m.contains("params") ? m["params"].value("uri", "") : "";
}

// What textDocument/didOpen says of `text` at `uri`, its first version.
json opening(const std::string& uri, const std::string& text) {
    return {{"textDocument", {{"uri", uri}, {"languageId", "tarvel"}, {"version", 1}, {"text", text}}}};
}

}  // namespace

TEST(Lsp, DiagnosticsCompletionDefinitionAndSectionsOfTheTextBeingTyped) {
    Demo demo;
    demo.picture("data/b.tga", 4, 4, blue);
    // Pictures in an archive are decoded on every check, so these big ones make each take a while.
    for (int i = 0; i < 20; ++i) demo.background("pack/big.tga", static_cast<float>(i), i + 1.0f);
    demo.file("data/path.spl", "1 1 1 0 0 0 0 0 0\n1 1 1 0 0 0 0 0 1\n");
    TempDir packed;
    write_tga(packed.file("c.tga"), 2, 2, solid_rgb(2, 2, 0, 255, 0));
    write_tga(packed.file("big.tga"), 1024, 1024, solid_rgb(1024, 1024, 0, 0, 255));
    ASSERT_TRUE(media::zip_directory(packed.path, demo.dir.file("pack.zip")));
    demo.write();
    const std::string uri = "file://" + demo.dir.file("show.tvl");
    Client c(demo.dir.path);
    json init = c.ask("initialize", {{"processId", nullptr}, {"rootUri", "file://" + demo.dir.path}});
    EXPECT_EQ(init["result"]["capabilities"]["textDocumentSync"], 1) << init << c.err();
    c.notify("initialized", json::object());

    // The unsaved text is checked with the demo on disk, where the file is empty.
    write_file(demo.dir.file("show.tvl"), "");
    c.notify("textDocument/didOpen", opening(uri, SCRIPT));
    json d =
        c.until([](const json& m) { return m.value("method", "") == "textDocument/publishDiagnostics"; });
    EXPECT_EQ(d["params"]["uri"], uri) << d << c.err();
    EXPECT_EQ(d["params"]["version"], 1);
    // Each hint covers what its error does.
    EXPECT_THAT(places(d), ElementsAre("0:1:0-10", "0:4:0-10", "1:1:1-7", "1:4:1-7", "7:1:7-18", "7:4:7-18"));
    EXPECT_EQ(d["params"]["diagnostics"][3]["message"], "did you mean 'image'?") << d;
    EXPECT_EQ(d["params"]["diagnostics"][5]["message"], "did you mean 'data/b.tga'?") << d;

    // A script not saved yet is part of the demo too. A line with no key is marked whole, a
    // header at its type name up to the first blank.
    const std::string fresh = "file://" + demo.dir.file("scenes/new.tvl");
    c.notify("textDocument/didOpen", opening(fresh, " x\n[bogus ]\ncurve data/path.spl\n"));
    d = c.until([&](const json& m) { return uri_of(m) == fresh; });
    EXPECT_THAT(places(d), ElementsAre("0:1:0-2", "0:4:0-2", "1:1:1-6")) << d;
    // A key read by its first letter names a file as its keyword does (a c... key is a spline).
    json found = c.ask("textDocument/definition",
                       {{"textDocument", {{"uri", fresh}}}, {"position", {{"line", 2}, {"character", 8}}}});
    EXPECT_EQ(found["result"]["uri"], "file://" + demo.dir.file("data/path.spl")) << found;
    c.notify("textDocument/didClose", {{"textDocument", {{"uri", fresh}}}});

    // Fixed, with the line ends of another system, while the broken text is being checked (the
    // big pictures make that take a while): only the newest text gets diagnostics.
    std::string fixed = std::regex_replace(SCRIPT, std::regex("\n"), "\r\n");
    fixed.replace(fixed.find("demo_strat"), 10, "demo_start");
    auto change = [&](int version, const std::string& text) {
        c.notify("textDocument/didChange", {{"textDocument", {{"uri", uri}, {"version", version}}},
                                            {"contentChanges", {{{"text", text}}}}});
    };
    change(2, SCRIPT);
    std::this_thread::sleep_for(std::chrono::milliseconds(60));  // into the check of version 2
    change(3, fixed);
    d = c.until([&](const json& m) { return uri_of(m) == uri && m["params"]["version"] != 1; });
    EXPECT_EQ(d["params"]["version"], 3) << d;
    EXPECT_THAT(places(d), ElementsAre("1:1:1-7", "1:4:1-7", "7:1:7-18", "7:4:7-18"));

    // The result of the request textDocument/METHOD about the place LINE:CHARACTER of the script.
    auto at = [&](const std::string& method, int line, int character) {
        return c.ask("textDocument/" + method,
                     {{"textDocument", {{"uri", uri}}},
                      {"position", {{"line", line}, {"character", character}}}})["result"];
    };
    auto labels = [&](int line, int character) {
        std::vector<std::string> out;
        for (const json& item : at("completion", line, character)) out.push_back(item["label"]);
        return out;
    };
    EXPECT_THAT(labels(1, 1), AllOf(SizeIs(21), Contains("image")));
    EXPECT_THAT(labels(0, 4), Contains("demo_start"));
    EXPECT_THAT(labels(3, 0), Contains("start"));
    EXPECT_THAT(labels(3, 4), IsEmpty());  // a value, not a name
    // File names: pictures for a string (also inside the archive), the rest for a spline.
    EXPECT_THAT(labels(7, 7),
                UnorderedElementsAre("data/b.tga", "data/fonts/font.tga", "data/loading_back.tga",
                                     "data/loading_front.tga", "pack/big.tga", "pack/c.tga"));
    EXPECT_THAT(labels(12, 9), AllOf(Contains("data/path.spl"), Not(Contains("data/b.tga"))));

    // Hover: what the word means where it stands (the table's own wording is tested with it).
    EXPECT_THAT(at("hover", 4, 3).dump(), HasSubstr(R"("value":"**background** (section type): )"));
    EXPECT_THAT(at("hover", 9, 2).dump(), HasSubstr(R"("value":"**start** (section keyword): )"));
    EXPECT_THAT(at("hover", 0, 10).dump(), HasSubstr(R"("value":"**demo_start** (setting): )"));
    EXPECT_EQ(at("hover", 7, 10), nullptr);  // a file name
    EXPECT_EQ(at("hover", 1, 3), nullptr);   // no such type

    EXPECT_EQ(at("definition", 12, 12)["uri"], "file://" + demo.dir.file("data/path.spl"));
    EXPECT_EQ(at("definition", 12, 3), nullptr);   // on the key
    EXPECT_EQ(at("definition", 11, 10), nullptr);  // inside an archive
    EXPECT_EQ(at("definition", 7, 10), nullptr);   // no such file

    json symbols = c.ask("textDocument/documentSymbol", {{"textDocument", {{"uri", uri}}}})["result"];
    ASSERT_EQ(symbols.size(), 3u) << symbols;
    EXPECT_EQ(symbols[0]["name"], "imagee 0-2");
    EXPECT_EQ(symbols[0]["range"]["start"]["line"], 1);
    EXPECT_EQ(symbols[0]["range"]["end"]["line"], 3);
    EXPECT_EQ(symbols[1]["name"], "background 2-10");

    // Play from here, over each section with a start while a player serves the folder: the 20
    // backgrounds of demo.tvl, starting at 0, 1, 2..., and not its loading section.
    const std::string script = demo.dir.file("demo.tvl"), script_uri = "file://" + script;
    c.notify("textDocument/didOpen", opening(script_uri, read_file(script)));
    auto lenses = [&] {
        return c.ask("textDocument/codeLens", {{"textDocument", {{"uri", script_uri}}}})["result"];
    };
    auto play = [&](const json& command) {
        return c.ask("workspace/executeCommand",
                     {{"command", command["command"]}, {"arguments", command["arguments"]}})["result"];
    };
    EXPECT_EQ(lenses(), json::array());  // no player serves the folder
    json command;
    {
        MakerSession maker(demo, {"--serve=0"});
        ASSERT_EQ(maker.ask("pause"), "ok") << maker.err();
        json shown = lenses();
        ASSERT_EQ(shown.size(), 20u) << shown << c.err();
        const std::string text = read_file(script);
        const auto header =
            std::count(text.begin(), text.begin() + text.find("[background]\nstart 3."), '\n');
        EXPECT_EQ(shown[3]["range"]["start"]["line"], header) << shown;
        command = shown[3]["command"];
        EXPECT_EQ(play(command), "ok") << c.err();
        EXPECT_EQ(maker.ask("time"), "ok 3.000 paused");
        maker.ask("quit");
        EXPECT_EQ(maker.wait_exit(), 0) << maker.err();
    }
    EXPECT_EQ(lenses(), json::array());  // its note went with it
    write_file(demo.dir.file(".tarvel-console"), "http://192.0.2.1:80/?token=00\n");
    EXPECT_EQ(lenses(), json::array());  // a console elsewhere is not this machine's player
    EXPECT_EQ(play(command), nullptr);
    EXPECT_THAT(c.until([](const json& m) { return m.value("method", "") == "window/showMessage"; }).dump(),
                HasSubstr("no player serves this folder"));

    EXPECT_EQ(c.ask("shutdown", nullptr)["result"], nullptr);
    c.notify("exit", nullptr);
    EXPECT_EQ(c.player.wait_exit(10), 0) << c.err();
    EXPECT_EQ(read_file(demo.dir.file("show.tvl")), "");
}

TEST(Lsp, ProblemsOfTheWholeDemoGoOnTheFirstScriptOpenAndHostileInputIsAnswered) {
    TempDir dir;
    write_file(dir.file("b.tvl"), "");
    write_file(dir.file("data/unused.spl"), "1\n");
    {
        Client early(dir.path);
        json r = early.ask("textDocument/documentSymbol", {{"textDocument", {{"uri", "file:///x.tvl"}}}});
        EXPECT_EQ(r["error"]["code"], -32002) << r << early.err();
        early.notify("exit", nullptr);
        EXPECT_EQ(early.player.wait_exit(10), 1);  // no shutdown first
    }
    Client c(dir.path);
    EXPECT_TRUE(c.ask("initialize", {{"rootUri", "file://" + dir.path}}).contains("result"));
    auto open = [&](const char* name) {
        const std::string uri = "file://" + dir.file(name);
        c.notify("textDocument/didOpen", opening(uri, "; nothing\n"));
        return c.until([&](const json& m) { return uri_of(m) == uri; });
    };
    auto messages = [](const json& d) {
        std::vector<std::string> out;
        for (const json& p : d["params"]["diagnostics"]) out.push_back(p["message"]);
        return out;
    };
    json b = open("b.tvl");
    // No font and no loading section, at the top of the only script; the unused spline's warning
    // is about no script.
    const std::vector<std::string> whole = messages(b);
    EXPECT_THAT(whole, ElementsAre(StartsWith("data/fonts/font.tga: Font 'data/fonts/font.tga' not found"),
                                   "Loading section not found"));
    EXPECT_THAT(places(b), ElementsAre("0:1:0-0", "0:1:0-0"));
    // A script that sorts first takes them over.
    EXPECT_EQ(messages(open("a.tvl")), whole);
    b = c.until([&](const json& m) { return uri_of(m).ends_with("/b.tvl"); });
    EXPECT_EQ(b["params"]["diagnostics"], json::array()) << b;
    // The font made on disk, with no word from the editor: its error goes (a look may catch the
    // file half written, and the next one whole).
    write_demo_font(dir.path);
    json a = c.until([&](const json& m) {
        return uri_of(m).ends_with("/a.tvl") && m["params"]["diagnostics"].size() == 1;
    });
    EXPECT_THAT(messages(a), ElementsAre("Loading section not found"));

    // Each row is answered as stated; after it the server still answers, and its memory has never
    // been 64 MB above what it started with (a message may cost a small multiple of its size,
    // never more).
    const long start_kb = c.player.memory_kb(true);
    auto error = [](const json& id, int code) {
        return [=](const json& m) {
            return m.value("id", json()) == id && m.contains("error") && m["error"]["code"] == code;
        };
    };
    auto deep = [](size_t n) { return std::string(n, '[') + std::string(n, ']'); };
    std::string objects = "{\"jsonrpc\":\"2.0\",\"id\":6,\"method\":\"x\",\"params\":[{}";
    while (objects.size() < (16u << 20) - 8) objects += ",{}";
    struct Row {
        const char* what;
        std::string bytes;
        std::function<bool(const json&)> answer;
        std::function<void()> make = {};
    };
    const Row rows[] = {
        {"a bad header (dropped), then a body not JSON", "Content-Length: x\r\n\r\n" + framed("{bad}"),
         error(nullptr, -32700)},
        {"a body over 16 MB",
         framed("{\"id\":77,\"method\":\"x\",\"pad\":\"" + std::string(17 << 20, 'a') + "\"}"),
         error(77, -32600)},
        // Past the bound in depth only, then in values too.
        {"params nested 90,000 deep",
         framed("{\"jsonrpc\":\"2.0\",\"id\":5,\"method\":\"textDocument/hover\",\"params\":" + deep(90000) +
                "}"),
         error(5, -32600)},
        {"an id nested 100,000 deep",
         framed("{\"jsonrpc\":\"2.0\",\"method\":\"x\",\"id\":" + deep(100000) + "}"),
         error(nullptr, -32600)},
        {"16 MB of small objects", framed(objects + "]}"), error(6, -32600)},
        // Play from here reads the console's note: a FIFO there would hold a reader other than the
        // note's own (whose test has the other kinds).
        {"the note a FIFO",
         framed(R"({"jsonrpc":"2.0","id":7,"method":"workspace/executeCommand",)"
                R"("params":{"command":"tarvel.playFromHere","arguments":[1]}})"),
         [](const json& m) { return m.value("id", json()) == 7 && m.contains("result"); },
         [&] { ASSERT_EQ(mkfifo(dir.file(".tarvel-console").c_str(), 0600), 0); }},
        // The folder is read no more, and the user is told.
        {"a folder of more than 20,000 files",
         framed(json({{"jsonrpc", "2.0"},
                      {"method", "textDocument/didOpen"},
                      {"params", opening("file://" + dir.file("a.tvl"), "")}})
                    .dump()),
         [](const json& m) {
             return m.value("method", "") == "window/showMessage" &&
                    m["params"]["message"].get<std::string>().find("more than 20000 files") !=
                        std::string::npos;
         },
         [&] {
             for (int i = 0; i <= 20000; ++i)
                 close(creat(dir.file("many/" + std::to_string(i)).c_str(), 0644));
         }},
    };
    std::filesystem::create_directory(dir.file("many"));
    for (const Row& row : rows) {
        if (row.make) row.make();
        c.raw(row.bytes);
        EXPECT_FALSE(c.until(row.answer).is_null()) << row.what << c.err();
        json r = c.ask("textDocument/documentSymbol", {{"textDocument", {{"uri", "file:///nowhere.tvl"}}}});
        EXPECT_EQ(r["result"], json::array()) << row.what << r << c.err();
        EXPECT_LT(c.player.memory_kb(true), start_kb + 64 * 1024 * SANITIZER_MEMORY_FACTOR) << row.what;
    }
    EXPECT_EQ(c.ask("no/such", json::object())["error"]["code"], -32601);
    EXPECT_EQ(c.ask("textDocument/completion", {{"textDocument", 3}})["error"]["code"], -32602);
    c.send({{"jsonrpc", "2.0"}, {"method", "no/such/notification"}});
    c.send(json::array({1, 2}));
    EXPECT_EQ(c.until([](const json& m) { return m.contains("error"); })["error"]["code"], -32600);
    EXPECT_EQ(c.ask("shutdown", nullptr)["result"], nullptr);
    c.notify("exit", nullptr);
    EXPECT_EQ(c.player.wait_exit(10), 0) << c.err();
}
