#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "player_run.h"
#include "test_support.h"

namespace {

// A dialog stub that logs its arguments and then its standard input, so that a test sees the
// text whichever way the player hands it over.
void write_reading_stub(const std::string& dir, const std::string& name, const std::string& log) {
    std::string path = dir + "/" + name;
    write_file(path, "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\" >> '" + log +
                         "'; done\nprintf 'stdin:' >> '" + log + "'\n/bin/cat >> '" + log + "'\nexit 0\n");
    chmod(path.c_str(), 0755);
}

bool exists(const std::string& path) {
    return std::filesystem::exists(path);
}

// A demo whose one script fails at line 4, and the line the player must print for it.
const char* const broken_script = "demo_name Test\n[image]\nstart 5\nend 5\n";
const char* const broken_message = "Invalid duration (script './x.tvl', line 4)";

// Runs the player on the broken demo with only `bin` on PATH.
PlayerResult run_broken(const std::string& bin, PlayerOptions options = {}) {
    TempDir demo;
    write_file(demo.file("x.tvl"), broken_script);
    options.env["PATH"] = bin;
    return player_run(demo.path, options);
}

}  // namespace

TEST(PlayerErrors, BrokenScriptReportsLineAndExits255WithDialog) {
    TempDir bin;
    std::string log = bin.file("zenity.log");
    write_dialog_stub(bin.path, "zenity", log);

    PlayerResult r = run_broken(bin.path);

    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.exit_status, 255);
    EXPECT_EQ(r.err, std::string("Error: ") + broken_message + "\n");
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(read_file(log),
              std::string("--error\n--no-markup\n--title=Error\n--text=") + broken_message + "\n");
}

TEST(PlayerErrors, MarkupCharactersReachTheDialogAsPlainText) {
    TempDir demo;
    TempDir bin;
    std::string numbers;
    for (int i = 1; i <= 33; ++i) numbers += std::to_string(i) + " ";
    std::string value = numbers + "<b>bold</b> & \"more\"";
    write_file(demo.file("fx.tvl"), "[efxFader]\nparam " + value + "\n");
    std::string log = bin.file("zenity.log");
    write_dialog_stub(bin.path, "zenity", log);
    PlayerOptions options;
    options.path_prefix = bin.path;

    PlayerResult r = player_run(demo.path, options);

    std::string message = "Script: too many floats in vector '" + value + "'";
    EXPECT_EQ(r.exit_status, 255);
    EXPECT_EQ(r.err, "Error: " + message + "\n");
    std::string args = read_file(log);
    EXPECT_NE(args.find("--no-markup\n"), std::string::npos) << args;
    EXPECT_NE(args.find("--text=" + message + "\n"), std::string::npos) << args;
}

TEST(PlayerErrors, DialogFallsBackFromZenityToKdialogToXmessage) {
    TempDir bin;
    std::string zenity_log = bin.file("zenity.log");
    std::string kdialog_log = bin.file("kdialog.log");
    std::string xmessage_log = bin.file("xmessage.log");
    write_dialog_stub(bin.path, "zenity", zenity_log);
    write_dialog_stub(bin.path, "kdialog", kdialog_log);
    write_reading_stub(bin.path, "xmessage", xmessage_log);

    EXPECT_EQ(run_broken(bin.path).exit_status, 255);
    EXPECT_TRUE(exists(zenity_log));
    EXPECT_FALSE(exists(kdialog_log));
    EXPECT_FALSE(exists(xmessage_log));

    std::filesystem::remove(bin.file("zenity"));
    EXPECT_EQ(run_broken(bin.path).exit_status, 255);
    EXPECT_EQ(read_file(kdialog_log),
              std::string("--title\nError\n--error\n<qt>") + broken_message + "</qt>\n");
    EXPECT_FALSE(exists(xmessage_log));

    std::filesystem::remove(bin.file("kdialog"));
    PlayerResult r = run_broken(bin.path);
    EXPECT_EQ(r.exit_status, 255);
    EXPECT_EQ(r.err, std::string("Error: ") + broken_message + "\n");
    // The text arrives on standard input, where no word of it can pass for an option.
    EXPECT_EQ(read_file(xmessage_log),
              std::string("-center\n-title\nError\n-buttons\nOK\n-default\nOK\n-file\n-\nstdin:") +
                  broken_message + "\n");

    std::filesystem::remove(bin.file("xmessage"));
    r = run_broken(bin.path);
    EXPECT_EQ(r.exit_status, 255);
    EXPECT_EQ(r.err, std::string("Error: ") + broken_message + "\n");
}

TEST(PlayerErrors, KdialogShowsMarkupCharactersLiterally) {
    TempDir demo;
    TempDir bin;
    write_file(demo.file("a<b>&c.tvl"), "oops\n");
    std::string log = bin.file("kdialog.log");
    write_dialog_stub(bin.path, "kdialog", log);
    PlayerOptions options;
    options.env["PATH"] = bin.path;

    PlayerResult r = player_run(demo.path, options);

    EXPECT_EQ(r.exit_status, 255);
    EXPECT_EQ(r.err, "Error: Unknown variable (script './a<b>&c.tvl', line 1)\n");
    EXPECT_EQ(
        read_file(log),
        "--title\nError\n--error\n<qt>Unknown variable (script './a&lt;b&gt;&amp;c.tvl', line 1)</qt>\n");
}

TEST(PlayerErrors, NoDialogWithoutADisplay) {
    TempDir bin;
    std::string log = bin.file("zenity.log");
    write_dialog_stub(bin.path, "zenity", log);
    PlayerOptions options;
    options.env["DISPLAY"] = "";
    options.env["WAYLAND_DISPLAY"] = "";

    PlayerResult r = run_broken(bin.path, options);
    EXPECT_EQ(r.exit_status, 255);
    EXPECT_EQ(r.err, std::string("Error: ") + broken_message + "\n");
    EXPECT_FALSE(exists(log));

    // A Wayland session alone is enough.
    options.env["WAYLAND_DISPLAY"] = "wayland-0";
    r = run_broken(bin.path, options);
    EXPECT_EQ(r.exit_status, 255);
    EXPECT_TRUE(exists(log));
}

TEST(PlayerErrors, DialogChatterStaysOffStandardError) {
    TempDir bin;
    std::string path = bin.file("zenity");
    write_file(path,
               "#!/bin/sh\necho 'Gtk-Message: mapped without a transient parent' >&2\necho 1\nexit 1\n");
    chmod(path.c_str(), 0755);

    PlayerResult r = run_broken(bin.path);
    EXPECT_EQ(r.exit_status, 255);
    EXPECT_EQ(r.err, std::string("Error: ") + broken_message + "\n");
    EXPECT_EQ(r.out, "");
}
