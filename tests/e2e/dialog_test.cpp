// How a fatal error reaches the viewer: one line on standard error, status 255, and an error box
// from the first dialog program found (zenity, then kdialog, then xmessage), none without a display.
#include <filesystem>

#include "player.h"

namespace {

// A script whose file name holds markup characters and that fails at its first line.
const char* const SCRIPT = "a<b>&c.tvl";
const char* const MESSAGE = "Unknown variable (script './a<b>&c.tvl', line 1)";

struct Broken {
    TempDir demo;
    TempDir bin;
    Broken() { write_file(demo.file(SCRIPT), "oops\n"); }
    std::string log(const std::string& program) const { return bin.file(program + ".log"); }
    void stub(const std::string& program, const std::string& then = "") const {
        write_dialog_stub(bin.path, program, log(program), then);
    }
    // Runs with only the stubs' directory on PATH.
    PlayerResult run(PlayerOptions options = {}) const {
        options.env["PATH"] = bin.path;
        PlayerResult r = player_run(demo.path, options);
        EXPECT_FALSE(r.timed_out);
        EXPECT_EQ(r.exit_status, 255);
        EXPECT_EQ(r.err, std::string("Error: ") + MESSAGE + "\n");
        EXPECT_EQ(r.out, "");
        return r;
    }
};

bool exists(const std::string& path) {
    return std::filesystem::exists(path);
}

}  // namespace

TEST(ErrorBox, FallsBackFromZenityToKdialogToXmessageShowingMarkupLiterally) {
    Broken b;
    b.stub("zenity");
    b.stub("kdialog");
    // xmessage gets the text on standard input, where no word of it can pass for an option.
    b.stub("xmessage",
           "printf 'stdin:' >> '" + b.log("xmessage") + "'; /bin/cat >> '" + b.log("xmessage") + "'");

    b.run();
    EXPECT_EQ(read_file(b.log("zenity")),
              std::string("--error\n--no-markup\n--title=Error\n--text=") + MESSAGE + "\n");
    EXPECT_FALSE(exists(b.log("kdialog")));

    std::filesystem::remove(b.bin.file("zenity"));
    b.run();
    EXPECT_EQ(
        read_file(b.log("kdialog")),
        "--title\nError\n--error\n<qt>Unknown variable (script './a&lt;b&gt;&amp;c.tvl', line 1)</qt>\n");
    EXPECT_FALSE(exists(b.log("xmessage")));

    std::filesystem::remove(b.bin.file("kdialog"));
    b.run();
    EXPECT_EQ(
        read_file(b.log("xmessage")),
        std::string("-center\n-title\nError\n-buttons\nOK\n-default\nOK\n-file\n-\nstdin:") + MESSAGE + "\n");

    std::filesystem::remove(b.bin.file("xmessage"));
    b.run();
}

TEST(ErrorBox, NeedsADisplayAndKeepsItsChatterOffStandardError) {
    Broken b;
    b.stub("zenity", "echo 'Gtk-Message: mapped without a transient parent' >&2; echo 1; exit 1");
    PlayerOptions no_display;
    no_display.env["DISPLAY"] = "";
    no_display.env["WAYLAND_DISPLAY"] = "";
    b.run(no_display);
    EXPECT_FALSE(exists(b.log("zenity")));

    // A Wayland session alone is enough; what the program prints stays its own.
    no_display.env["WAYLAND_DISPLAY"] = "wayland-0";
    b.run(no_display);
    EXPECT_TRUE(exists(b.log("zenity")));
}
