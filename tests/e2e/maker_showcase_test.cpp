// The showcase, which uses every section type at once, in the maker's mode: reloads in every
// scene, and a seeded random run of commands and edits, each picture compared with what a fresh
// session shows at the same time.
//
// The random run plays TARVEL_SOAK_SEED's sequence (a fixed one by default). With
// TARVEL_SOAK_SECONDS it goes on with fresh seeds until that many seconds have passed (make soak),
// and a failure names the seed that replays it.
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "media_files.h"
#include "player.h"

namespace {

namespace fs = std::filesystem;

void showcase(Demo& demo) {
    demo.use_example("showcase");
    demo.set("record 0");
}

// A time in each scene, away from the cuts.
const char* const scene_times[] = {"3", "13", "30", "35", "44", "53", "59", "70"};

// One file as an edit leaves it: its content then ("" and `remove`: gone), and whether the demo
// still loads.
struct FileEdit {
    const char* path;
    std::string (*content)(const std::string& original);
    bool loads;
};

std::string replaced(const std::string& text, const std::string& from, const std::string& to) {
    std::string out = text;
    const size_t at = out.find(from);
    if (at != std::string::npos) out.replace(at, from.size(), to);
    return out;
}

std::string first_key_twice(const std::string& spline) {
    size_t at = 0;
    while (at < spline.size() && spline[at] == ';') at = spline.find('\n', at) + 1;
    const std::string key = spline.substr(at, spline.find('\n', at) - at);
    return key + "\n" + key + "\n";
}

std::string orange_picture(const std::string&) {
    return media::tga(16, 16, solid_rgb(16, 16, 250, 120, 20), 24);
}

const FileEdit file_edits[] = {
    {"1_dawn.tvl", [](const std::string& s) { return replaced(s, "param 36 1", "param 20 1"); }, true},
    {"4_liquid.tvl", [](const std::string& s) { return replaced(s, "param 0 1\n", "param 1 0.2\n"); }, true},
    {"3_swarm.tvl", [](const std::string& s) { return s + "bogus 1\n"; }, false},
    {"2_forge.tvl", [](const std::string& s) { return replaced(s, "string Wireframe", "string Wirefram"); },
     false},
    {"5_bloom.tvl", [](const std::string&) { return std::string(); }, true},
    {"data/splines/logo_arrive.spl", first_key_twice, true},
    {"data/splines/swarm_camera.spl", [](const std::string&) { return std::string("1 2\n1 2\n"); }, false},
    {"data/images/ring.tga", orange_picture, true},
    {"data/images/flare.tga", [](const std::string&) { return std::string("not a picture"); }, false},
    {"data/images/stars.tga", [](const std::string&) { return std::string(); }, false},
    {"data/meshes/knot.3ds", [](const std::string&) { return std::string(); }, false},
};

// Files emptied by an edit are removed instead.
void apply(const Demo& demo, const FileEdit& edit, const std::string& original) {
    const std::string content = edit.content(original);
    if (content.empty()) {
        fs::remove(demo.dir.file(edit.path));
    } else {
        demo.file(edit.path, content);
    }
}

// What fresh sessions show at the scene times, the files whole: the same for every run.
std::map<std::string, TgaPicture> cold_pictures;

const TgaPicture& cold_at(const Demo& demo, const std::string& t) {
    auto it = cold_pictures.find(t);
    if (it == cold_pictures.end()) it = cold_pictures.emplace(t, cold_still(demo, t)).first;
    return it->second;
}

// `steps` random commands and edits against the showcase from `seed`.
void random_run(uint32_t seed, int steps) {
    std::mt19937 random(seed);
    auto pick = [&](size_t n) { return static_cast<size_t>(random() % n); };
    Demo demo;
    showcase(demo);
    demo.write();
    std::vector<std::string> originals;
    for (const FileEdit& edit : file_edits) originals.push_back(read_file(demo.dir.file(edit.path)));
    std::vector<bool> standing(std::size(file_edits), false);
    MakerSession player(demo);
    // A loop shows in the status line under the picture: pictures are compared without one.
    bool playing = true, time_known = false, synced = true, looping = false;
    std::string at;
    const std::regex time_answer("ok [0-9]+\\.[0-9]{3} (paused|playing)");
    auto count_standing = [&] { return std::count(standing.begin(), standing.end(), true); };
    auto all_load = [&] {
        for (size_t i = 0; i < standing.size(); ++i)
            if (standing[i] && !file_edits[i].loads) return false;
        return true;
    };
    for (int step = 0; step < steps && !testing::Test::HasFailure(); ++step) {
        std::string command, done;
        const size_t kind = pick(13);
        if (kind < 3) {
            at = scene_times[pick(std::size(scene_times))];
            command = "seek " + at;
            time_known = !playing;
        } else if (kind < 5) {
            command = "pause";
            time_known = time_known && !playing;
            playing = false;
        } else if (kind == 5) {
            command = "play";
            playing = true;
            time_known = false;
        } else if (kind == 6) {
            const int from = static_cast<int>(pick(70));
            command =
                "loop " + std::to_string(from) + " " + std::to_string(from + 1 + static_cast<int>(pick(6)));
            looping = true;
        } else if (kind == 7) {
            command = "loop off";
            looping = false;
        } else if (kind == 8) {
            command = "screenshot shot.tga";
        } else {
            // A reload, after an edit made or taken back (one time in four: none). Edits are taken
            // back as often as made, so that the files are often whole.
            if (kind > 9) {
                size_t i = pick(standing.size());
                if (count_standing() > 0 && pick(2) == 0)
                    while (!standing[i]) i = (i + 1) % standing.size();
                if (standing[i]) {
                    demo.file(file_edits[i].path, originals[i]);
                    done = "took back the edit of ";
                } else {
                    apply(demo, file_edits[i], originals[i]);
                    done = "edited ";
                }
                done += std::string(file_edits[i].path) + ", then ";
                standing[i] = !standing[i];
            }
            command = "reload";
        }
        SCOPED_TRACE("seed " + std::to_string(seed) + ", step " + std::to_string(step) + ": " + done +
                     command);
        const std::string answer = player.ask(command);
        if (command == "reload" && !all_load()) {
            EXPECT_EQ(answer.rfind("error ", 0), 0u) << "'" << answer << "'";
        } else {
            EXPECT_EQ(answer, "ok") << player.err();
        }
        if (command == "reload") synced = answer == "ok" && count_standing() == 0;
        // Exactly one answer: the next command's is its own.
        const std::string time = player.ask("time");
        EXPECT_TRUE(std::regex_match(time, time_answer)) << "'" << time << "'";
        ASSERT_EQ(player.death(time.empty() ? 2 : 0), "");
        if (synced && !playing && time_known && !looping && !at.empty()) {
            EXPECT_SAME_PICTURE(player.screenshot("check.tga"), cold_at(demo, at)) << "at " << at;
        }
    }
    EXPECT_EQ(player.ask("quit"), "ok");
    EXPECT_EQ(player.wait_exit(), 0);
}

}  // namespace

TEST(MakersModeShowcase, ReloadsInEverySceneShowWhatAFreshSessionShows) {
    Demo demo;
    showcase(demo);
    MakerSession player(demo);
    ASSERT_EQ(player.ask("pause"), "ok") << player.err();
    for (const char* t : scene_times) {
        SCOPED_TRACE(std::string("at ") + t);
        if (std::string(t) == "44") {
            // A failed reload in the middle, at another time, then the fix.
            const std::string script = read_file(demo.dir.file("4_liquid.tvl"));
            demo.file("4_liquid.tvl", script + "bogus 1\n");
            EXPECT_EQ(player.ask("reload").rfind("error Unknown section variable", 0), 0u) << player.death();
            EXPECT_EQ(player.ask("seek 44"), "ok");
            demo.file("4_liquid.tvl", script);
        } else {
            ASSERT_EQ(player.ask(std::string("seek ") + t), "ok") << player.death();
        }
        const std::string answer = player.ask("reload");
        EXPECT_EQ(answer, "ok");
        ASSERT_EQ(player.death(answer.empty() ? 2 : 0), "");
        if (answer == "ok") {
            EXPECT_SAME_PICTURE(player.screenshot("reloaded.tga"), cold_still(demo, t));
        }
    }
}

TEST(MakersModeShowcase, RandomCommandsAndEditsKeepOneAnswerEachAndTheFreshPicture) {
    const char* seed_text = std::getenv("TARVEL_SOAK_SEED");
    const char* seconds_text = std::getenv("TARVEL_SOAK_SECONDS");
    const bool fresh_seeds = seed_text == nullptr || *seed_text == '\0';
    const double seconds = seconds_text != nullptr ? std::atof(seconds_text) : 0;
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    uint32_t seed = fresh_seeds ? 1984u : static_cast<uint32_t>(std::strtoul(seed_text, nullptr, 10));
    for (int run = 0;; ++run) {
        if (run > 0 || (seconds > 0 && fresh_seeds)) seed = std::random_device{}();
        random_run(seed, 40);
        if (HasFailure()) {
            std::printf("The random run failed: TARVEL_SOAK_SEED=%u replays it.\n", seed);
            return;
        }
        if (!fresh_seeds || std::chrono::steady_clock::now() >= end) break;
    }
}
