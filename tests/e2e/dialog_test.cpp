// How a fatal error reaches the viewer: one line on standard error, status 255, and an error box
// from the first dialog program found (zenity, then kdialog, then xmessage), none without a display.
#include <filesystem>

#include "player.h"

namespace {

// A script whose file name holds markup characters and that fails at its first line, run with only
// the stub dialogs' directory on PATH.
const std::string MESSAGE = "Unknown variable (script './a<b>&c.tvl', line 1)";

struct Broken {
    TempDir demo, bin;
    Broken() { write_file(demo.file("a<b>&c.tvl"), "oops\n"); }
    std::string log(const std::string& program) const { return bin.file(program + ".log"); }
    void stub(const std::string& program, const std::string& then = "") const {
        write_dialog_stub(bin.path, program, log(program), then);
    }
    void run(PlayerOptions options = {}) const {
        options.env["PATH"] = bin.path;
        PlayerResult r = player_run(demo.path, options);
        EXPECT_EQ(r.exit_status, 255);
        EXPECT_EQ(r.err, "Error: " + MESSAGE + "\n");
        EXPECT_EQ(r.out, "");
    }
    bool shown(const std::string& program) const { return std::filesystem::exists(log(program)); }
};

}  // namespace

TEST(ErrorBox, FallsBackFromZenityToKdialogToXmessageShowingMarkupLiterally) {
    Broken b;
    b.stub("zenity");
    b.stub("kdialog");
    // xmessage gets the text on standard input, where no word of it can pass for an option.
    b.stub("xmessage",
           "printf 'stdin:' >> '" + b.log("xmessage") + "'; /bin/cat >> '" + b.log("xmessage") + "'");
    b.run();
    EXPECT_EQ(read_file(b.log("zenity")), "--error\n--no-markup\n--title=Error\n--text=" + MESSAGE + "\n");
    EXPECT_FALSE(b.shown("kdialog"));

    std::filesystem::remove(b.bin.file("zenity"));
    b.run();
    EXPECT_EQ(
        read_file(b.log("kdialog")),
        "--title\nError\n--error\n<qt>Unknown variable (script './a&lt;b&gt;&amp;c.tvl', line 1)</qt>\n");
    EXPECT_FALSE(b.shown("xmessage"));

    std::filesystem::remove(b.bin.file("kdialog"));
    b.run();
    EXPECT_EQ(read_file(b.log("xmessage")),
              "-center\n-title\nError\n-buttons\nOK\n-default\nOK\n-file\n-\nstdin:" + MESSAGE + "\n");

    std::filesystem::remove(b.bin.file("xmessage"));
    b.run();
}

// A Wayland session alone is display enough; what the program prints stays its own.
TEST(ErrorBox, NeedsOnlyAWaylandSessionAndKeepsItsChatterOffStandardError) {
    Broken b;
    b.stub("zenity", "echo 'Gtk-Message: mapped without a transient parent' >&2; echo 1; exit 1");
    PlayerOptions options;
    options.env = {{"DISPLAY", ""}, {"WAYLAND_DISPLAY", "wayland-0"}};
    b.run(options);
    EXPECT_TRUE(b.shown("zenity"));
}
