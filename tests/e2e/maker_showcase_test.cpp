// The showcase, which uses every section type at once, in the maker's mode: a seeded random run
// of commands and every kind of edit, each picture compared with what a fresh session shows at
// the same time.
//
// The random run plays TARVEL_SOAK_SEED's sequence (a fixed one by default). With
// TARVEL_SOAK_SECONDS it goes on with fresh seeds until that many seconds have passed (make soak),
// and a failure names the seed that replays it.
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <numeric>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "media_files.h"
#include "player.h"
#include "resources/spline_text.h"

namespace {

namespace fs = std::filesystem;

// A time in each scene, away from the cuts.
const char* const scene_times[] = {"3", "13", "30", "35", "44", "53", "59", "70"};

// One file as an edit leaves it: its content then ("": gone), whether the demo still loads, and
// a time at which its change shows.
struct FileEdit {
    const char* path;
    std::string (*content)(const std::string& original);
    bool loads;
    const char* at;
};

std::string replaced(const std::string& text, const std::string& from, const std::string& to) {
    std::string out = text;
    const size_t at = out.find(from);
    if (at != std::string::npos) out.replace(at, from.size(), to);
    return out;
}

const FileEdit file_edits[] = {
    {"1_dawn.tvl", [](const std::string& s) { return replaced(s, "param 36 1", "param 20 1"); }, true, "3"},
    {"4_liquid.tvl", [](const std::string& s) { return replaced(s, "param 0 1\n", "param 1 0.2\n"); }, true,
     "53"},
    {"3_swarm.tvl", [](const std::string& s) { return s + "bogus 1\n"; }, false, "30"},
    {"2_forge.tvl", [](const std::string& s) { return replaced(s, "string Wireframe", "string Wirefram"); },
     false, "13"},
    {"5_bloom.tvl", [](const std::string&) { return std::string(); }, true, "59"},
    {"data/splines/logo_arrive.spl",  // its first key, past the comments, twice
     [](const std::string& s) {
         size_t at = 0;
         while (at < s.size() && s[at] == ';') at = s.find('\n', at) + 1;
         const std::string key = s.substr(at, s.find('\n', at) - at);
         return key + "\n" + key + "\n";
     },
     true, "3"},
    {"data/splines/swarm_camera.spl", [](const std::string&) { return std::string("1 2\n1 2\n"); }, false,
     "30"},
    {"data/images/ring.tga",
     [](const std::string&) { return media::tga(16, 16, solid_rgb(16, 16, 250, 120, 20), 24); }, true, "44"},
    {"data/images/flare.tga", [](const std::string&) { return std::string("not a picture"); }, false, "35"},
    {"data/images/stars.tga", [](const std::string&) { return std::string(); }, false, "35"},
    {"data/meshes/knot.3ds", [](const std::string&) { return std::string(); }, false, "13"},
};

// What fresh sessions show at the scene times, the files whole: the same for every run.
std::map<std::string, TgaPicture> cold_pictures;

const TgaPicture& cold_at(const Demo& demo, const std::string& t) {
    auto it = cold_pictures.find(t);
    if (it == cold_pictures.end()) it = cold_pictures.emplace(t, cold_still(demo, t)).first;
    return it->second;
}

// Every edit once, in an order drawn from `seed`, each among random commands. After an edit that
// loads (at a time where it shows), and after each is taken back (at a scene time, every scene in
// turn), the picture is compared with what a fresh session shows of the files as they are then.
void random_run(uint32_t seed) {
    std::mt19937 random(seed);
    auto pick = [&](size_t n) { return static_cast<size_t>(random() % n); };
    Demo demo;
    demo.use_example("showcase");
    demo.set("record 0");
    demo.write();
    std::vector<size_t> order(std::size(file_edits));
    std::iota(order.begin(), order.end(), 0);
    std::shuffle(order.begin(), order.end(), random);
    for (const char* t : scene_times) cold_at(demo, t);  // while the files are whole
    MakerSession player(demo);
    const std::regex time_answer("ok [0-9]+\\.[0-9]{3} (paused|playing)");
    std::string done;
    // Exactly one answer a command: the next command's is its own.
    auto ask = [&](const std::string& command, const std::string& want) {
        SCOPED_TRACE("seed " + std::to_string(seed) + ": " + done + command);
        const std::string answer = player.ask(command);
        // "error " stands for any error.
        EXPECT_EQ(want == "error " ? answer.substr(0, want.size()) : answer, want) << player.err();
        const std::string time = player.ask("time");
        EXPECT_TRUE(std::regex_match(time, time_answer)) << "'" << time << "'";
        EXPECT_EQ(player.death(time.empty() ? 2 : 0), "");
    };
    // Paused at a scene time without a loop, which shows in the status line under the picture.
    size_t scene = pick(std::size(scene_times)), compared = 0;
    auto compare = [&](bool edited, const std::string& at) {
        for (const char* command : {"pause", "loop off"}) ask(command, "ok");
        ask("seek " + at, "ok");
        const TgaPicture fresh = edited ? cold_still(demo, at) : cold_at(demo, at);
        EXPECT_SAME_PICTURE(player.screenshot("check.tga"), fresh)
            << "seed " << seed << ", at " << at << " " << done;
        if (edited) {
            EXPECT_GT(pixels_differ(fresh, cold_at(demo, at)), 0)
                << done << "the edit does not show at " << at;
        }
        ++compared;
    };
    size_t loading = 0;
    for (size_t e : order) {
        const FileEdit& edit = file_edits[e];
        for (size_t n = pick(3); n > 0 && !testing::Test::HasFailure(); --n) {
            const size_t kind = pick(6);
            const int from = static_cast<int>(pick(70));
            const std::string commands[] = {
                "seek " + std::string(scene_times[pick(std::size(scene_times))]),
                "pause",
                "play",
                "loop " + std::to_string(from) + " " + std::to_string(from + 1 + static_cast<int>(pick(6))),
                "screenshot shot.tga",
                "reload"};
            ask(commands[kind], "ok");
        }
        const std::string original = read_file(demo.dir.file(edit.path));
        // Files emptied by an edit are removed instead.
        if (const std::string content = edit.content(original); content.empty())
            fs::remove(demo.dir.file(edit.path));
        else
            demo.file(edit.path, content);
        done = std::string("after an edit of ") + edit.path + ", ";
        ask("reload", edit.loads ? "ok" : "error ");
        if (edit.loads) {
            compare(true, edit.at);
            ++loading;
        }
        demo.file(edit.path, original);
        done = std::string("after the edit of ") + edit.path + " taken back, ";
        ask("reload", "ok");
        compare(false, scene_times[scene++ % std::size(scene_times)]);
        if (testing::Test::HasFailure()) return;
        done.clear();
    }
    EXPECT_EQ(compared, std::size(file_edits) + loading);
    EXPECT_EQ(player.ask("quit"), "ok");
    EXPECT_EQ(player.wait_exit(), 0);
}

}  // namespace

TEST(MakersModeShowcase, RandomCommandsAndEditsKeepOneAnswerEachAndTheFreshPicture) {
    const char* seed_text = std::getenv("TARVEL_SOAK_SEED");
    const char* seconds_text = std::getenv("TARVEL_SOAK_SECONDS");
    const bool fresh_seeds = seed_text == nullptr || *seed_text == '\0';
    const double seconds = seconds_text != nullptr ? std::atof(seconds_text) : 0;
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    uint32_t seed = fresh_seeds ? 1984u : static_cast<uint32_t>(std::strtoul(seed_text, nullptr, 10));
    for (int run = 0;; ++run) {
        if (run > 0 || (seconds > 0 && fresh_seeds)) seed = std::random_device{}();
        random_run(seed);
        if (HasFailure()) {
            std::printf("The random run failed: TARVEL_SOAK_SEED=%u replays it.\n", seed);
            return;
        }
        if (!fresh_seeds || std::chrono::steady_clock::now() >= end) break;
    }
}

TEST(MakersModeShowcase, RandomSplineEditsUndoneGiveEveryFileAndThePictureBack) {
    Demo demo;
    demo.use_example("showcase");
    demo.set("record 0");
    demo.write();
    std::vector<std::string> files;
    std::map<std::string, std::string> original;
    for (const char* name :
         {"1_dawn.tvl", "2_forge.tvl", "3_swarm.tvl", "4_liquid.tvl", "5_bloom.tvl", "6_finale.tvl"}) {
        const std::string script = read_file(demo.dir.file(name));
        const std::regex spline_line("\nspline (\\S+)");
        for (auto it = std::sregex_iterator(script.begin(), script.end(), spline_line);
             it != std::sregex_iterator(); ++it)
            if (original.emplace((*it)[1], read_file(demo.dir.file((*it)[1]))).second)
                files.push_back((*it)[1]);
    }
    ASSERT_GE(files.size(), 30u);
    const char* at = "35";
    const TgaPicture before = cold_at(demo, at);
    MakerSession player(demo);
    ASSERT_EQ(player.ask("pause"), "ok") << player.err();
    ASSERT_EQ(player.ask("seek " + std::string(at)), "ok");
    std::mt19937 random(31);
    auto pick = [&](size_t n) { return static_cast<size_t>(random() % n); };
    int edits = 0;
    for (int i = 0; i < 60; ++i) {
        const std::string& file = files[pick(files.size())];
        const std::string text = read_file(demo.dir.file(file));
        SplineText keys_of;
        ASSERT_EQ(spline_text_parse(text, keys_of), "") << file;
        const size_t keys = keys_of.keys.size(), channels = static_cast<size_t>(keys_of.channels);
        const std::string value = std::to_string(static_cast<int>(pick(2001)) - 1000) + ".25";
        const std::string commands[] = {
            "key set " + file + " " + std::to_string(pick(keys)) + " " + std::to_string(pick(channels)) +
                " " + value,
            "key insert " + file + " " + std::to_string(pick(keys + 1)),
            "key delete " + file + " " + std::to_string(pick(keys)),
            "key bias " + file + " " + std::to_string(pick(channels)) + " " + value};
        const std::string& command = commands[keys > 1 ? pick(4) : pick(2)];
        ASSERT_EQ(player.ask(command), "ok") << command << player.err();
        edits += read_file(demo.dir.file(file)) != text;
    }
    EXPECT_GT(edits, 50);
    const TgaPicture edited = player.screenshot("edited.tga");
    EXPECT_SAME_PICTURE(edited, cold_still(demo, at));
    EXPECT_GT(pixels_differ(edited, before), 0) << "the edits do not show at " << at;
    for (int i = 0; i < edits; ++i) ASSERT_EQ(player.ask("undo"), "ok") << i;
    EXPECT_EQ(player.ask("undo"), "error nothing to undo");
    for (const auto& [file, bytes] : original) EXPECT_EQ(read_file(demo.dir.file(file)), bytes) << file;
    EXPECT_SAME_PICTURE(player.screenshot("undone.tga"), before);
    EXPECT_EQ(player.ask("quit"), "ok");
}
