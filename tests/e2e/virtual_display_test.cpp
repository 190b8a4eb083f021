// The virtual X server of the end-to-end tests lives no longer than the process that started it:
// a suite interrupted before its stop step leaves no server behind.
#include <gtest/gtest.h>
#include <sys/types.h>
#include <sys/wait.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "test_support.h"

namespace {

// Whether the process exists and is not a zombie that its parent has yet to collect.
bool running(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line)) return false;
    const size_t name_end = line.rfind(')');
    return name_end != std::string::npos && name_end + 2 < line.size() && line[name_end + 2] != 'Z';
}

}  // namespace

TEST(VirtualDisplay, TheServerEndsWithTheProcessThatStartedIt) {
    TempDir dir;
    const std::string fixture = TARVEL_SOURCE_DIR "/tests/support/xvfb-fixture";
    // A stand-in for CTest: a shell that starts the server as the fixture does, then is killed.
    write_file(dir.file("suite.sh"), "'" + fixture + "' start display > /dev/null\nkill -9 $$\n");
    // The shell reports its killed child as 128 + 9.
    const int status = std::system(("cd '" + dir.path + "' && sh suite.sh 2> /dev/null").c_str());
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 128 + SIGKILL) << status;
    std::istringstream started(read_file(dir.file("display")));
    int display = -1;
    pid_t server = 0;
    started >> display >> server;
    ASSERT_GT(server, 0) << "the server's number and process: " << started.str();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (running(server) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(running(server)) << "Xvfb on :" << display << " outlived its suite";
    EXPECT_EQ(std::system(("'" + fixture + "' stop '" + dir.file("display") + "'").c_str()), 0);
}
