#include <gtest/gtest.h>

#include "player_run.h"
#include "test_support.h"

TEST(PlayerErrors, BrokenScriptReportsLineAndExits255WithDialog) {
    TempDir demo;
    TempDir bin;
    write_file(demo.file("x.tvl"), "demo_name Test\n[image]\nstart 5\nend 5\n");
    std::string log = bin.file("dialog.log");
    write_dialog_stub(bin.path, "zenity", log);

    PlayerOptions options;
    options.path_prefix = bin.path;
    PlayerResult r = player_run(demo.path, options);

    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.exit_status, 255);
    EXPECT_EQ(r.err, "Error: Invalid duration (script './x.tvl', line 4)\n");
    std::string args = read_file(log);
    EXPECT_NE(args.find("--title=Error"), std::string::npos) << args;
    EXPECT_NE(args.find("--text=Invalid duration (script './x.tvl', line 4)"), std::string::npos) << args;
}
