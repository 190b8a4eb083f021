// The maker's mode as text and as files: commands, status line, wrapping, folder changes, and
// the files written on a person's word.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "maker/maker_commands.h"
#include "maker/maker_files.h"
#include "maker/watch.h"
#include "test_support.h"

namespace {

std::string described(const MakerCommand& c) {
    if (!c.error.empty()) return "error " + c.error;
    const char* names[] = {"seek",       "pause",      "play",       "loop", "loop off",
                           "reload",     "time",       "screenshot", "quit", "key set",
                           "key insert", "key delete", "key bias",   "undo", "redo"};
    std::string out = names[static_cast<int>(c.kind)];
    if (c.kind >= MakerCommandKind::KeySet && c.kind <= MakerCommandKind::KeyBias)
        out += " [" + c.file + "] " + std::to_string(c.key) + " " + std::to_string(c.channel) + " " +
               std::to_string(c.value) + " " + std::to_string(c.key_to);
    for (const auto& [channel, value] : c.also)
        out += " +" + std::to_string(channel) + " " + std::to_string(value);
    if (c.kind == MakerCommandKind::Seek || c.kind == MakerCommandKind::Loop)
        out += " " + std::to_string(c.from);
    if (c.kind == MakerCommandKind::Loop) out += " " + std::to_string(c.to);
    if (c.kind == MakerCommandKind::Screenshot) out += " [" + c.file + "]";
    return out;
}

}  // namespace

TEST(MakerCommands, LinesToCommandsOrTheReasonTheyAreNot) {
    const char* set_usage = "error key set needs FILE KEY CHANNEL VALUE [CHANNEL VALUE]... (finite numbers)";
    const std::pair<const char*, const char*> rows[] = {
        {"  seek\t0 \r", "seek 0.000000"},
        {"pause", "pause"},
        {"play", "play"},
        {"loop 1 2.25", "loop 1.000000 2.250000"},
        {"loop off", "loop off"},
        {"reload", "reload"},
        {"time", "time"},
        {"quit", "quit"},
        {"screenshot shots/a b.tga ", "screenshot [shots/a b.tga]"},
        {"", "error empty command"},
        {"seek", "error seek needs one time in seconds, 0 or more"},
        {"seek -1", "error seek needs one time in seconds, 0 or more"},
        {"seek 1e999", "error seek needs one time in seconds, 0 or more"},
        {"seek 2s", "error seek needs one time in seconds, 0 or more"},
        {"loop 2 2", "error loop needs TO after FROM"},
        {"loop 1", "error loop needs FROM and TO in seconds, or off"},
        {"screenshot", "error screenshot needs a file name"},
        {"Seek 1", "error unknown command 'Seek'"},
        {"key set a.spl 2 15 -0.5 3 4", "key set [a.spl] 2 15 -0.500000 -1 +3 4.000000"},
        {"key insert a.spl 0", "key insert [a.spl] 0 0 0.000000 -1"},
        {"key delete a.spl 3", "key delete [a.spl] 3 0 0.000000 -1"},
        {"key bias a.spl 1 2.5", "key bias [a.spl] 0 1 2.500000 -1"},
        {"key bias a.spl 1 -1 4 6", "key bias [a.spl] 4 1 -1.000000 6"},
        {"undo", "undo"},
        {"redo again", "error redo takes no argument"},
        {"key set a.spl 0 0 1 -1 2", set_usage},
        {"key set a.spl 0 0 1 1 1e39", set_usage},
        {"key set a.spl 0 0 1 2", set_usage},
        {"key set a.spl 0 0 1 0 1 0 1 0 1 0 1 0 1 0 1 0 1 0 1 0 1 0 1 0 1 0 1 0 1 0 1 0 1 0 1", set_usage},
        {"key insert a.spl", "error key insert needs FILE AT"},
        {"key bias a.spl 0 1 2", "error key bias needs FILE CHANNEL DELTA [FROM TO]"},
        {"key move a.spl 0", "error key needs set, insert, delete or bias"},
        {"seek 17:1", "error no tempo: set bpm to use bars"},
    };
    for (const auto& [line, want] : rows)
        EXPECT_EQ(described(maker_command_parse(line, Tempo{})), want) << line;

    // At 120 bpm and 4 beats a bar, a beat is 0.5 s and a bar 2 s: bar 9 begins at 16 s.
    const std::pair<const char*, const char*> bar_rows[] = {
        {"seek 9:2.5", "seek 16.750000"},  // 8 bars and 1.5 beats
        {"loop 9:1 13:1", "loop 16.000000 24.000000"},
        {"loop 1:3 3.5", "loop 1.000000 3.500000"},
        {"seek 0:1", "error bars count from 1"},
        {"seek 1:5", "error a bar of 4 beats has beats from 1 to below 5"},
        {"seek 1:0.5", "error a bar of 4 beats has beats from 1 to below 5"},
        {"seek 2.5:1", "error '2.5:1' is not BAR:BEAT, e.g. 17:1 or 9:2.5"},
        {"seek 5000002:1", "error bar 5000002 lies past 10000000 seconds"},
    };
    for (const auto& [line, want] : bar_rows)
        EXPECT_EQ(described(maker_command_parse(line, Tempo{120, 4})), want) << line;
}

TEST(MakerCommands, StatusLineAndWrappedMessages) {
    // 83.456 s is 1 minute, 23 seconds and 45 hundredths (truncated, not rounded).
    EXPECT_EQ(maker_status_text(83.456f, false, false, 0, 0, Tempo{}), "01:23.45  playing");
    EXPECT_EQ(maker_status_text(-2, true, true, 10, 3725.5f, Tempo{}),
              "00:00.00  paused  loop 00:10.00 - 62:05.50");
    // 35.9 s at 120 bpm is 71.8 beats: bar 18 (from 68 beats), beat 4 and a fraction left out.
    EXPECT_EQ(maker_status_text(35.9f, true, false, 0, 0, Tempo{120, 4}), "00:35.90  bar 18.4  paused");
    EXPECT_EQ(maker_time_text(0.29f), "00:00.29");
    const std::vector<std::string> lines = {"File 'a b' not", "found", "", "x"};
    EXPECT_EQ(maker_wrap("File 'a b' not found\n\nx", 14), lines);
    EXPECT_EQ(maker_wrap("abcdefgh", 3), (std::vector<std::string>{"abc", "def", "gh"}));
}

TEST(FolderWatch, ChangesBetweenSnapshotsLeaveOutThePlayersOwnFiles) {
    TempDir dir;
    // The demo's own files, two of them merely named like screenshots.
    for (const char* own : {"demo.tvl", "data/pic.tga", "screen1.tga", "data/screen07.tga"})
        write_file(dir.file(own), "a");
    for (const char* output :
         {"video/00000001.tga", "screen07.tga", ".demo.tvl.swp", "data/.git/x", "demo.tvl~", "shot.tga"})
        write_file(dir.file(output), "x");
    const FileSnapshot before = watch_scan(dir.path, {"shot.tga"});
    EXPECT_EQ(before.size(), 4u);
    EXPECT_EQ(before.at("data/pic.tga").size, 1);

    write_file(dir.file("data/pic.tga"), "bb");
    write_file(dir.file("data/new.spl"), "c");
    std::filesystem::remove(dir.file("demo.tvl"));
    write_file(dir.file("screen08.tga"), "x");
    const std::vector<std::string> changed = {"data/new.spl", "data/pic.tga", "demo.tvl"};
    EXPECT_EQ(watch_changes(before, watch_scan(dir.path, {"shot.tga"})), changed);
}

TEST(MakerFiles, HostileTargetsAreRefusedAndLeaveEveryFileAsItWas) {
    namespace fs = std::filesystem;
    TempDir demo, elsewhere;
    ScopedChdir cd(demo.path);
    write_file("demo.tvl", "[image]\n");
    write_file("data/pic.tga", "picture");
    write_file("notes.txt", "the maker's own");
    write_file("pack.zip", "an archive the demo reads pack/a.spl from");
    write_file(elsewhere.file("victim.txt"), "not the player's");
    fs::create_directory_symlink(elsewhere.path, "out");
    fs::create_symlink(elsewhere.file("victim.txt"), "shot.tga");
    fs::create_hard_link(elsewhere.file("victim.txt"), "hard.tga");
    fs::create_hard_link("data/pic.tga", elsewhere.file("pic-again.tga"));
    WriteGuard guard{
        fs::canonical(".").string(), write_identities({"./demo.tvl", "data/pic.tga", "pack/a.spl"}), {}};
    auto everything = [&] {
        std::map<std::string, std::string> files;
        for (const std::string& root : {demo.path, elsewhere.path})
            for (const auto& e : fs::recursive_directory_iterator(root))
                if (!e.is_symlink() && e.is_regular_file()) files[e.path()] = read_file(e.path());
        return files;
    };
    const auto before = everything();
    std::string inside_as;
    auto put = [&](const std::string& path, WriteAsker who) {
        inside_as = "?";
        return write_file_guarded(path, {'T', 'G', 'A'}, who, guard, inside_as);
    };
    const std::string outside = "it lies outside the demo folder", demo_file = "it is a file of the demo";
    const std::tuple<std::string, WriteAsker, std::string> refused[] = {
        {"out/escaped.tga", WriteAsker::Console, outside},
        {"shot.tga", WriteAsker::Console, "it is a symbolic link"},
        {"shot.tga", WriteAsker::Terminal, "it is a symbolic link"},
        {"hard.tga", WriteAsker::Console, "it exists and the player did not write it"},
        {"demo.tvl", WriteAsker::Console, demo_file},
        {"pack.zip", WriteAsker::Console, demo_file},
        {elsewhere.file("pic-again.tga"), WriteAsker::Terminal, demo_file},
        {"data/new.tvl", WriteAsker::Terminal,
         "the player would read it as a script (its name holds '.tvl')"},
        {"data", WriteAsker::Console, "it is not a regular file"},
        {"no/such/x.tga", WriteAsker::Terminal, "No such file or directory"},
        {"shot.tga", WriteAsker::Edit, "it is a symbolic link"},
        {"out/../escaped.tga", WriteAsker::Edit, outside},  // lexically inside, really not
        {"notes.txt", WriteAsker::Edit, "it is not a file of the demo"},
        {"demo.tvl", WriteAsker::Edit, "it is a script"},
    };
    for (const auto& [path, who, why] : refused) {
        EXPECT_EQ(put(path, who), "cannot write '" + path + "': " + why);
        EXPECT_EQ(inside_as, "");
        EXPECT_EQ(everything(), before) << path;
    }
    // A new file, and the same one again as the player's own; then a file put in its place by
    // someone else is no longer the player's.
    for (int round = 0; round < 2; ++round) {
        ASSERT_EQ(
            put("out/../" + fs::path(demo.path).filename().string() + "/data/shot.tga", WriteAsker::Console),
            "");
        EXPECT_EQ(inside_as, "data/shot.tga");
        EXPECT_EQ(read_file("data/shot.tga"), "TGA");
    }
    fs::remove("data/shot.tga");
    write_file("data/shot.tga", "theirs");
    EXPECT_NE(put("data/shot.tga", WriteAsker::Console), "");
    EXPECT_EQ(read_file("data/shot.tga"), "theirs");
    // The maker's terminal may write a new file outside, and replace one that is not the demo's.
    EXPECT_EQ(put(elsewhere.file("new.tga"), WriteAsker::Terminal), "");
    EXPECT_EQ(inside_as, "");
    EXPECT_EQ(put("notes.txt", WriteAsker::Terminal), "");
    EXPECT_EQ(read_file(elsewhere.file("new.tga")) + read_file("notes.txt"), "TGATGA");
    EXPECT_EQ(read_file(elsewhere.file("victim.txt")), "not the player's");
    // An edit replaces the demo's own file, keeping its mode; a link to it elsewhere keeps the old.
    fs::permissions("data/pic.tga", fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(put("data/pic.tga", WriteAsker::Edit), "");
    EXPECT_EQ(read_file("data/pic.tga") + read_file(elsewhere.file("pic-again.tga")), "TGApicture");
    EXPECT_EQ(fs::status("data/pic.tga").permissions(), fs::perms::owner_read | fs::perms::owner_write);
}
