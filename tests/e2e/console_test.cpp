// The maker's console without a browser: its WebSocket speaks the standard-input protocol and
// pushes the show's events, its time line is served as JSON and SVG, and nobody without the
// run's token, from another host name or another page gets in.
#include <gmock/gmock.h>
#include <nlohmann/json.hpp>
#include <unistd.h>

#include <algorithm>
#include <regex>
#include <thread>

#include "player.h"
#include "media_files.h"
#include "sound_media.h"
#include "web_client.h"

namespace {

using ::testing::StartsWith;

const Rgb grey{128, 128, 128};

// A player in the maker's mode with its console on a free port.
struct Served {
    Demo& demo;
    MakerSession player;
    int port = 0;
    std::string token;

    explicit Served(Demo& d, const std::string& serve = "--serve=0") : demo(d), player(d, {serve}) {
        std::string err;
        std::smatch m;
        const std::regex url("Console: http://\\S+:([0-9]+)/\\?token=([0-9a-f]+)\n");
        EXPECT_TRUE(wait_until([&] { return std::regex_search(err = player.err(), m, url); })) << err;
        if (m.empty()) return;
        port = std::stoi(m[1]);
        token = m[2];
    }
    std::unique_ptr<WebSocketClient> socket(std::map<std::string, std::string> headers = {},
                                            const std::string& query = "", int receive_buffer = 0) {
        if (headers.empty()) headers = {{"Origin", "http://127.0.0.1:" + std::to_string(port)}};
        return std::make_unique<WebSocketClient>(port, "/ws" + (query.empty() ? "?token=" + token : query),
                                                 headers, receive_buffer);
    }
    nlohmann::json timeline() {
        return nlohmann::json::parse(http_get(port, "/timeline.json?token=" + token).body, nullptr, false);
    }
};

}  // namespace

TEST(Console, TheSocketSpeaksTheProtocolTellsTheEventsLetsNobodyElseInAndNoClientStallsTheShow) {
    Demo demo;
    demo.set("record 0");
    demo.picture("data/grey.tga", 8, 8, grey);
    demo.background("data/grey.tga", 0, 10);
    demo.section("[efxInverse]\n" + span(2, 4, 3));
    Served served(demo);
    MakerSession& player = served.player;
    auto ws = served.socket();
    ASSERT_EQ(ws->status(), 101);
    EXPECT_EQ(ws->ask("hello"),
              "ok tarvel 3 seek pause play loop reload time screenshot quit hello key undo redo");
    // Each command is answered as standard input answers it, and standard input goes on working.
    for (const char* command : {"pause", "seek 2.5", "time", "loop 1 2", "bogus", "seek -1", "loop 3 1"})
        EXPECT_EQ(ws->ask(command), player.ask(command)) << command;
    EXPECT_EQ(ws->ask("screenshot here.tga"), "ok");
    demo.file("notes.txt", "the maker's");  // which standard input could replace
    EXPECT_EQ(ws->ask("screenshot notes.txt"),
              "error cannot write 'notes.txt': it exists and the player did not write it");
    EXPECT_TRUE(std::filesystem::exists(demo.dir.file("here.tga")));
    EXPECT_THAT(ws->ask("screenshot a/../../x.tga"),
                StartsWith("error the console writes screenshots inside the demo folder"));

    // Events: the loop as set, the time when it changes while paused, and often while playing.
    auto fresh = served.socket();
    EXPECT_EQ(fresh->wait_for("event loop"), "event loop 1.000 2.000");
    EXPECT_EQ(fresh->ask("loop off"), "ok");
    EXPECT_EQ(fresh->wait_for("event loop"), "event loop off");
    EXPECT_EQ(fresh->ask("seek 3.25"), "ok");
    EXPECT_EQ(fresh->wait_for("event time"), "event time 3.250 paused");
    EXPECT_EQ(player.ask("play"), "ok");
    std::vector<float> playing;
    for (const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(1);
         std::chrono::steady_clock::now() < until;)
        if (const std::string e = fresh->wait_for("event time", 1); e.ends_with(" playing"))
            playing.push_back(std::stof(e.substr(11)));
    EXPECT_GE(playing.size(), 10u);
    EXPECT_TRUE(std::is_sorted(playing.begin(), playing.end())) << testing::PrintToString(playing);

    // A reload tells its outcome, and the time line's problems follow it.
    EXPECT_EQ(fresh->ask("pause"), "ok");
    demo.sections.back() += "bogus 1\n";
    demo.write();
    EXPECT_THAT(fresh->wait_for("event reload", 15),
                StartsWith("event reload error Unknown section variable"));
    nlohmann::json t = served.timeline();
    ASSERT_EQ(t["problems"].size(), 1u) << t.dump();
    EXPECT_EQ(t["problems"][0]["severity"], "error");
    // The settings' 7 lines, the loading's 4, the background's 5, then the effect's 4 before it.
    EXPECT_EQ(t["problems"][0]["line"], 21);
    demo.sections.back().erase(demo.sections.back().find("bogus 1\n"));
    demo.set("bpm 90");  // and a tempo with the fix
    demo.write();
    EXPECT_EQ(fresh->wait_for("event reload", 15), "event reload ok");
    t = served.timeline();
    EXPECT_EQ(t["problems"].size(), 0u) << t.dump();

    // The time line after the reload: the tempo, the lines moved, and the picture --timeline draws.
    EXPECT_EQ(t["tempo"], (nlohmann::json{{"bpm", 90.0}, {"beats_per_bar", 4}}));
    ASSERT_EQ(t["sections"].size(), 2u);
    EXPECT_EQ(t["sections"][1]["line"], 18);  // the effect's header, after 8 settings lines now
    EXPECT_EQ(t["loading"]["type"], "loading");
    EXPECT_EQ(t["demo_end"], 10.0);
    HttpReply svg = http_get(served.port, "/timeline.svg?token=" + served.token);
    Demo copy;
    copy.settings = demo.settings;
    copy.sections = demo.sections;
    copy.picture("data/grey.tga", 8, 8, grey);
    ASSERT_EQ(copy.run({.args = {"--timeline", copy.dir.file("t.svg")}}).exit_status, 0);
    EXPECT_EQ(svg.body, read_file(copy.dir.file("t.svg")));

    // The loudness follows the music, also when only its file changed: silence, then a sweep.
    auto loudest = [&] {
        const std::vector<double> levels = served.timeline()["loudness"]["levels"];
        return levels.empty() ? -1 : *std::max_element(levels.begin(), levels.end());
    };
    demo.file("data/music.wav", media::wav(24000, 1, 24000, [](int64_t, int) { return int16_t{0}; }));
    demo.section("[sound]\n" + span(1, 4, 5) + "string data/music.wav\n");
    demo.write();
    EXPECT_EQ(fresh->wait_for("event reload", 15), "event reload ok");
    EXPECT_EQ(loudest(), 0.0);
    demo.file("data/music.wav", sweep_wav(24000, 1));
    EXPECT_EQ(fresh->wait_for("event reload", 15), "event reload ok");
    EXPECT_GT(loudest(), 0.1);
    fresh.reset();

    // Nobody else gets in.
    const int port = served.port;
    const std::string good = "/timeline.json?token=" + served.token,
                      host = "127.0.0.1:" + std::to_string(port);
    ASSERT_EQ(player.ask("pause"), "ok");  // standing still
    const long memory_before = player.memory_kb();
    // Hostile requests, each refused with its status and no body: without the token, naming
    // another host (or two), not HTTP, a head past 8 KB, a socket with a bad key (which must not
    // take one of the eight places: they are all taken below).
    const std::string ws_head =
        "GET /ws?token=" + served.token + " HTTP/1.1\r\nHost: " + host + "\r\nOrigin: http://" + host +
        "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\nSec-WebSocket-Version: 13\r\n";
    auto get = [](const std::string& target, const std::string& lines) {
        return "GET " + target + " HTTP/1.1\r\n" + lines + "\r\n";
    };
    const std::pair<std::string, int> requests[] = {
        {get("/timeline.json", "Host: " + host + "\r\n"), 403},
        {get("/timeline.json?token=" + served.token.substr(1) + "0", "Host: " + host + "\r\n"), 403},
        {get("/?token=", "Host: " + host + "\r\n"), 403},
        {get(good, "Host: attacker.example:" + std::to_string(port) + "\r\n"), 403},
        {get(good, "Host: 127.0.0.1:1\r\n"), 403},
        {get(good, ""), 403},
        {"NONSENSE\r\n\r\n", 400},
        {get(good, "Host: " + host + "\r\n" + std::string(40000, 'x') + "\r\n"), 431},
        {ws_head + "Sec-WebSocket-Key: " + std::string(70, 'A') + "\r\n\r\n", 400},
    };
    for (const auto& [request, status] : requests) {
        HttpReply r = http_exchange(port, request, 3);
        EXPECT_EQ(r.status, status) << request.substr(0, 200);
        EXPECT_EQ(r.body, "") << request.substr(0, 200);
    }
    EXPECT_EQ(served.socket({}, "?token=0")->status(), 403);
    EXPECT_EQ(served.socket({{"Origin", "http://attacker.example"}})->status(), 403);
    EXPECT_EQ(served.socket({{"X-No-Origin", "1"}})->status(), 403);
    // Forty requests that never finish their heads hold nothing up: a good one is answered at once.
    std::vector<int> slow_heads;
    for (int i = 0; i < 40; ++i) {
        slow_heads.push_back(connect_local(port));
        send_all(slow_heads.back(), "GET " + good + " HTTP/1.1\r\nHost: ");
    }
    EXPECT_EQ(http_exchange(port, get(good, "Host: " + host + "\r\n"), 2).status, 200);
    for (int fd : slow_heads) close(fd);

    // A frame that claims a gigabyte is answered before its payload and read past, not kept.
    auto big = served.socket();
    const std::string gigabyte("\x81\xff\0\0\0\0\x40\0\0\0\x11\x11\x11\x11", 14);  // 2^30, then the mask
    ASSERT_TRUE(big->send_raw(gigabyte + std::string(100 << 20, 'x'), 20));
    EXPECT_EQ(big->wait_for("error"), "error frame over 65536 bytes");
    big.reset();
    EXPECT_LT(player.memory_kb() - memory_before, 64 * 1024 * SANITIZER_MEMORY_FACTOR);

    // Frames a command never comes in: answered with an error, the socket kept.
    EXPECT_EQ(ws->ask(std::string(70000, 't')), "error frame over 65536 bytes");
    ASSERT_TRUE(ws->send("time", 2));
    EXPECT_EQ(ws->reply(), "error commands come in whole text frames");
    EXPECT_EQ(ws->ask(std::string(65536, ' ')), "error empty command");

    // Eight clients at once, no ninth; one gone makes room.
    std::vector<std::unique_ptr<WebSocketClient>> clients;
    for (int i = 0; i < 7; ++i) clients.push_back(served.socket());
    for (auto& c : clients) EXPECT_EQ(c->status(), 101);
    EXPECT_EQ(served.socket()->status(), 503);
    // A client gone makes room; the one that comes asks much and reads nothing: the show plays
    // on, standard input and the others are answered.
    clients.pop_back();
    std::unique_ptr<WebSocketClient> slow;
    ASSERT_TRUE(wait_until([&] { return (slow = served.socket({}, "", 2048))->status() == 101; }, 10));
    for (int i = 0; i < 4000 && slow->send("time " + std::string(200, ' ')); ++i) {
    }
    EXPECT_EQ(player.ask("seek 0"), "ok");
    EXPECT_EQ(player.ask("play"), "ok");
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    const std::string later = player.ask("time");
    EXPECT_GT(std::stof(later.substr(3)), 0.3f) << later;
    EXPECT_THAT(clients.front()->ask("hello"), StartsWith("ok tarvel 3 "));

    // A port taken is an error before any window opens.
    Demo other;
    PlayerResult taken =
        other.run({.args = {"--watch", "--serve=" + std::to_string(port)}, .timeout_seconds = 20});
    EXPECT_EQ(taken.exit_status, 255);
    EXPECT_EQ(taken.err, "Error: cannot serve the console at 127.0.0.1:" + std::to_string(port) +
                             " (address not available or port in use)\n");

    // Served on every address, the console warns, and takes only a Host in figures with its
    // port: a page of another site, its name bound to this machine, stays out.
    Served open(other, "--serve=0.0.0.0:0");
    EXPECT_TRUE(wait_until([&] {
        return open.player.err().find(
                   "Warning: the console is served beyond this machine: anyone on the "
                   "network can reach its port, and the token travels in clear\n") != std::string::npos;
    })) << open.player.err();
    const std::string page = "/?token=" + open.token, open_port = ":" + std::to_string(open.port);
    EXPECT_EQ(http_get(open.port, page, "rebound.example" + open_port).status, 403);
    EXPECT_EQ(http_get(open.port, page, "127.0.0.1" + open_port).status, 200);
    EXPECT_EQ(open.player.ask("quit"), "ok");
    EXPECT_EQ(ws->ask("quit"), "ok");
    EXPECT_EQ(player.wait_exit(), 0);
}

TEST(Console, SplineEditsAreWrittenBackShownAtOnceAndUndone) {
    // Spline files of several forms: commas and CR LF, braces and comments over 16 channels (named
    // "./data/image.spl" by its section), one channel, and one packed in an archive.
    Demo demo;
    demo.set("record 0");
    const std::map<std::string, std::string> original = {
        {"data/eye.spl",
         "0, 1, 6, 0, 0, 0, 0, 0, 0, 70, 0.1, 100\r\n2, 1, 5, 0, 0, 0, 0, 0, 0, 60, 0.1, 100\r\n"},
        {"data/image.spl",
         "; the picture\n{1 1 1 0 0 0 0 0 0 0 0 0 0 0 0 0}\n\n{1 1 1 0 0 90 0 0 0 0 0 0 0 0 0 0} ; turned\n"},
        {"data/level.spl", "1\n2\n3\n"}};
    for (const auto& [file, bytes] : original) demo.file(file, bytes);
    TempDir packed;
    write_file(packed.file("packed.spl"), "1 2\n");
    ASSERT_TRUE(media::zip_directory(packed.path, demo.dir.file("pack.zip")));
    write_tga(demo.dir.file("data/quad.tga"), 16, 16, quadrant_rgb(16, 16, red, green, blue, yellow));
    demo.section("[camera]\n" + span(0, 4, 0) + "spline data/eye.spl\n");
    demo.section("[image]\n" + span(0, 4, 1) + "string data/quad.tga\nspline ./data/image.spl\n");
    demo.section("[efxInverse]\n" + span(3.9f, 4, 3) + "spline data/level.spl\nspline pack/packed.spl\n");
    Served served(demo);
    MakerSession& player = served.player;
    auto ws = served.socket();
    ASSERT_EQ(player.ask("pause"), "ok") << player.err();
    ASSERT_EQ(player.ask("seek 1.5"), "ok");

    // The curves as the player evaluates them: two keys follow their chord, so halfway through
    // the camera's 4 seconds the eye's z lies halfway between 6 and 5.
    nlohmann::json splines = nlohmann::json::parse(
        http_get(served.port, "/splines.json?token=" + served.token).body, nullptr, false);
    ASSERT_EQ(splines["files"].size(), 4u) << splines.dump();
    const nlohmann::json& eye = splines["files"][0];
    EXPECT_EQ(eye["file"], "data/eye.spl");
    EXPECT_EQ(eye["channels"], 12);
    EXPECT_EQ(eye["keys"][1][9], 60.0);
    const nlohmann::json& use = eye["uses"][0];
    EXPECT_EQ(use["type"], "camera");
    EXPECT_EQ(use["seconds"], 4.0);
    EXPECT_EQ(use["names"][9], "field of view");
    ASSERT_EQ(use["samples"].size(), 17u);
    EXPECT_EQ(use["samples"][8][0], 2.0);
    EXPECT_EQ(use["samples"][8][3], 5.5);
    EXPECT_EQ(splines["files"][3]["archive"], "pack.zip");
    EXPECT_EQ(splines["files"][3]["uses"][0]["names"][1], "channel 1");

    struct Row {
        std::string command, answer, file, bytes;  // the file's bytes after it ("": as they were)
    };
    const Row rows[] = {
        {"key set data/eye.spl 1 0 1.5 2 4.5", "ok", "data/eye.spl",
         "0, 1, 6, 0, 0, 0, 0, 0, 0, 70, 0.1, 100\r\n1.5, 1, 4.5, 0, 0, 0, 0, 0, 0, 60, 0.1, 100\r\n"},
        {"key bias data/image.spl 5 -45", "ok", "data/image.spl",
         "; the picture\n{1 1 1 0 0 -45 0 0 0 0 0 0 0 0 0 0}\n\n{1 1 1 0 0 45 0 0 0 0 0 0 0 0 0 0} ; "
         "turned\n"},
        // Keys 1 to 1 of three; then the cubic halfway between 1 and 2.5 with the tangents 1.5
        // (the first segment's) and (3 - 1) / 2, and the key after it gone: each stacks on the last.
        {"key bias data/level.spl 0 0.5 1 1", "ok", "data/level.spl", "1\n2.5\n3\n"},
        {"key insert ./data/level.spl 1", "ok", "data/level.spl", "1\n1.8125\n2.5\n3\n"},
        {"key delete data/level.spl 2", "ok", "data/level.spl", "1\n1.8125\n3\n"},
        {"key set data/none.spl 0 0 1", "error no section of the demo uses the spline file 'data/none.spl'",
         "data/eye.spl", ""},
        {"key set pack/packed.spl 0 0 1", "error pack/packed.spl is inside pack.zip: unpack it to edit",
         "pack.zip", ""},
    };
    int edits = 0;
    for (const Row& row : rows) {
        const std::string before = read_file(demo.dir.file(row.file));
        EXPECT_EQ(player.ask(row.command), row.answer) << row.command;
        EXPECT_EQ(read_file(demo.dir.file(row.file)), row.bytes.empty() ? before : row.bytes) << row.command;
        if (row.answer != "ok") continue;
        ++edits;
        EXPECT_EQ(ws->wait_for("event spline"), "event spline " + row.file) << row.command;
        // The player's own write is not taken for a change to reload (the pictures below rewrite
        // the script, which does reload).
        if (edits == 1) {
            EXPECT_EQ(ws->wait_for("event reload", 1.5), "");
            EXPECT_EQ(player.ask("time"), "ok 1.500 paused");
        }
        EXPECT_SAME_PICTURE(player.screenshot("edited.tga"), cold_still(demo, "1.5")) << row.command;
    }

    // Undone over the socket as on standard input (where the showcase checks the bytes and the
    // picture undone).
    for (int i = 0; i < edits; ++i) EXPECT_EQ(ws->ask("undo"), "ok") << i;
    EXPECT_EQ(ws->ask("undo"), "error nothing to undo");
    EXPECT_EQ(read_file(demo.dir.file("data/level.spl")), original.at("data/level.spl"));
    EXPECT_EQ(player.ask("redo"), "ok");
    EXPECT_EQ(read_file(demo.dir.file("data/eye.spl")), rows[0].bytes);

    // The maker's own edit in an editor wins: the player reads the file again and edits nothing.
    demo.file("data/eye.spl", "9 1 6 0 0 0 0 0 0 70 0.1 100\n");
    EXPECT_EQ(player.ask("key set data/eye.spl 0 0 3"),
              "error data/eye.spl changed on disk since the player read it: read again, nothing edited");
    EXPECT_EQ(player.ask("undo"), "error data/eye.spl changed since that edit: the history stops there");
    EXPECT_EQ(read_file(demo.dir.file("data/eye.spl")), "9 1 6 0 0 0 0 0 0 70 0.1 100\n");
    EXPECT_EQ(player.ask("key set data/eye.spl 0 0 3"), "ok");
    EXPECT_EQ(read_file(demo.dir.file("data/eye.spl")), "3 1 6 0 0 0 0 0 0 70 0.1 100\n");
    EXPECT_SAME_PICTURE(player.screenshot("edited.tga"), cold_still(demo, "1.5"));
    EXPECT_EQ(player.ask("quit"), "ok");
}

TEST(Console, ThePageShowsTheShowAndDrivesIt) {
    // Chromium, through chromedriver, on the page; the script checks it against demo.tvl and
    // asks the player on standard input.
    Demo demo;
    demo.set("record 0");
    demo.picture("data/grey.tga", 8, 8, grey);
    demo.background("data/grey.tga", 0, 10);
    demo.picture("data/white.tga", 8, 8, white);
    demo.file("data/image.spl", "0.5 0.5 0.5 0 0 0 0 0 0\n0.5 0.5 0.5 0 0 0 0 0 0\n");
    demo.section("[camera]\n" + span(0, 10, 0));
    demo.section("[image]\n" + span(0, 10, 1) + "string data/white.tga\nspline data/image.spl\n");
    demo.file("data/eye.spl", "0 1 4 0 0 0 0 0 0 60 0.1 100\n1 2 3 0 0 0 0 0 0 60 0.1 100\n");
    demo.section("[camera]\n" + span(6, 7, 3) + "spline data/eye.spl\n");
    demo.section("[efxInverse]\n" + span(5, 6, 2));
    demo.write();
    const std::string log = demo.dir.file(".page-log");
    const std::string command =
        "DISPLAY=" + player_display() +
        " SDL_AUDIODRIVER=dummy /usr/bin/timeout -k 5 240 /usr/bin/python3 " TARVEL_SOURCE_DIR
        "/tests/e2e/console_page.py " TARVEL_PLAYER " '" +
        demo.dir.path + "' > '" + log + "' 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0)
        << read_file(log) << read_file(demo.dir.file(".console-stderr"));
}
