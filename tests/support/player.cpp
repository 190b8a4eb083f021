#include "player.h"

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <X11/Xlib.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <regex>
#include <sstream>

#include "web_client.h"

#ifndef TARVEL_PLAYER
#error "TARVEL_PLAYER must name the player binary"
#endif

namespace fs = std::filesystem;

namespace {

std::string quoted(const std::string& s) {
    std::string out = "'";
    for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

int fixture(const std::string& action, const std::string& file, const std::string& more = "") {
    return std::system((quoted(TARVEL_SOURCE_DIR "/tests/support/xvfb-fixture") + " " + action + " " +
                        quoted(file) + more + " > /dev/null")
                           .c_str());
}

// The shell command that runs the player in `dir` with `args`, the environment changed by `env` (a
// value of "" removes the variable) and `wrapper` before it.
std::string player_command(const std::string& dir, const std::vector<std::string>& args,
                           const std::map<std::string, std::string>& env, const std::string& wrapper = "") {
    std::string command = "cd " + quoted(dir) + " && exec env";
    for (const auto& [key, value] : env)
        if (value.empty()) command += " -u " + key;
    for (const auto& [key, value] : env)
        if (!value.empty()) command += " " + quoted(key + "=" + value);
    command += wrapper + " " + quoted(TARVEL_PLAYER);
    for (const std::string& a : args) command += " " + quoted(a);
    return command;
}

int exit_code(int status) {
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::string display_in(const std::string& file) {
    const std::string number = read_file(file);
    return number.empty() ? "" : ":" + number.substr(0, number.find(' '));
}

// A server of this process's own, stopped at exit, or when this process is killed, by the
// fixture's watcher.
std::string own_file, chosen_display;

std::string own_display() {
    if (own_file.empty()) {
        own_file = fs::temp_directory_path() / ("tarvel-display-" + std::to_string(getpid()));
        if (fixture("start", own_file, " " + std::to_string(getpid())) == 0)
            std::atexit([] { fixture("stop", own_file); });
    }
    return chosen_display = display_in(own_file);
}

std::vector<std::string> watch_args(const Demo& demo, std::vector<std::string> args) {
    demo.write();
    args.insert(args.begin(), "--watch");
    return args;
}

// Sets the limit and returns the one it replaces.
rlim_t file_size_limit(rlim_t bytes) {
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    std::swap(limit.rlim_cur, bytes);
    setrlimit(RLIMIT_FSIZE, &limit);
    return bytes;
}

}  // namespace

std::string player_display() {
    const char* shared = std::getenv("TARVEL_TEST_DISPLAY_FILE");
    if (chosen_display.empty())
        chosen_display = shared && fs::exists(shared) ? display_in(shared) : own_display();
    return chosen_display;
}

PlayerResult player_run(const std::string& dir, const PlayerOptions& options) {
    std::map<std::string, std::string> env = {{"SDL_AUDIODRIVER", "dummy"}, {"DISPLAY", player_display()}};
    if (!options.path_prefix.empty()) env["PATH"] = options.path_prefix + ":" + std::getenv("PATH");
    for (const auto& [key, value] : options.env) env[key] = value;
    // timeout runs the player in a process group of its own and ends the whole group.
    const std::string timeout = " /usr/bin/timeout -k 5 " + std::to_string(options.timeout_seconds);
    const int status = std::system(
        (player_command(dir, options.args, env, timeout) + " < /dev/null > .player-stdout 2> .player-stderr")
            .c_str());
    PlayerResult r{exit_code(status), read_file(dir + "/.player-stdout"), read_file(dir + "/.player-stderr")};
    fs::remove(dir + "/.player-stdout");
    fs::remove(dir + "/.player-stderr");
    return r;
}

PlayerProcess::PlayerProcess(const std::string& dir, const std::vector<std::string>& args,
                             const std::string& display, const std::string& err_name) {
    // A player that died makes the next command fail, not this process.
    signal(SIGPIPE, SIG_IGN);
    std::map<std::string, std::string> env = {{"DISPLAY", display}};
    if (std::getenv("SDL_AUDIODRIVER") == nullptr) env["SDL_AUDIODRIVER"] = "dummy";  // or the test's own
    const std::string command = player_command(dir, args, env) + " 2> " + quoted(err_name);
    int in[2], out[2];
    if (pipe(in) != 0 || pipe(out) != 0) throw std::runtime_error("pipe");
    pid = fork();
    if (pid == 0) {
        dup2(in[0], 0);
        dup2(out[1], 1);
        for (int fd : {in[0], in[1], out[0], out[1]}) close(fd);
        execl("/bin/sh", "sh", "-c", command.c_str(), nullptr);
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    to = in[1];
    from = out[0];
}

PlayerProcess::~PlayerProcess() {
    if (pid > 0 && wait_exit(0) == -1) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    close(to);
    close(from);
}

int PlayerProcess::wait_exit(double seconds) {
    int status = 0;
    if (pid <= 0 || !wait_until([&] { return waitpid(pid, &status, WNOHANG) == pid; }, seconds)) return -1;
    pid = -1;
    return exit_code(status);
}

MakerSession::MakerSession(const Demo& demo, const std::vector<std::string>& args)
    : dir_(demo.dir.path), player_(demo.dir.path, watch_args(demo, args), player_display()) {}

std::string MakerSession::ask(const std::string& command, double seconds) {
    const std::string line = command + "\n";
    if (write(player_.to, line.data(), line.size()) != static_cast<ssize_t>(line.size())) return "";
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(static_cast<long>(seconds * 1000));
    size_t feed;
    while ((feed = pending_.find('\n')) == std::string::npos)
        if (!read_some(player_.from, pending_, deadline)) return "";
    std::string answer = pending_.substr(0, feed);
    pending_.erase(0, feed + 1);
    return answer;
}

TgaPicture MakerSession::screenshot(const std::string& name) {
    EXPECT_EQ(ask("screenshot " + name), "ok") << err();
    return read_picture(dir_ + "/" + name);
}

std::string MakerSession::death(double seconds) {
    const int status = wait_exit(seconds);
    if (status == -1 && player_.pid > 0) return "";
    return "the player ended with status " + std::to_string(status) + "; standard error:\n" + err();
}

TgaPicture cold_still(const Demo& demo, const std::string& seconds) {
    demo.write();
    Demo cold;
    cold.settings = demo.settings;
    cold.sections = demo.sections;
    for (const auto& entry : fs::directory_iterator(demo.dir.path)) {
        const std::string name = entry.path().filename();
        if (name != "video" && name[0] != '.')
            fs::copy(entry.path(), cold.dir.file(name),
                     fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    }
    MakerSession player(cold);
    EXPECT_EQ(player.ask("pause"), "ok") << player.death();
    EXPECT_EQ(player.ask("seek " + seconds), "ok") << player.death();
    TgaPicture still = player.screenshot("cold.tga");
    EXPECT_EQ(player.ask("quit"), "ok") << player.err();
    return still;
}

long PlayerProcess::memory_kb(bool peak) const {
    const std::string status = read_file("/proc/" + std::to_string(pid) + "/status");
    const size_t at = status.find(peak ? "VmHWM:" : "VmRSS:");
    return at == std::string::npos ? -1 : std::atol(status.c_str() + at + 6);
}

void write_dialog_stub(const std::string& dir, const std::string& name, const std::string& log,
                       const std::string& then) {
    write_file(dir + "/" + name, "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\" >> " + quoted(log) +
                                     "; done\n" + then + "\nexit 0\n");
    chmod((dir + "/" + name).c_str(), 0755);
}

void expect_clean_exit(const PlayerResult& r) {
    EXPECT_EQ(r.exit_status, 0) << r.err;
    EXPECT_EQ(r.err, "");
}

std::string output_of(const std::string& dir, const std::string& command) {
    std::string out;
    if (FILE* p = popen(("cd " + quoted(dir) + " && " + command).c_str(), "r")) {
        char buffer[4096];
        for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, p)) > 0;) out.append(buffer, n);
        pclose(p);
    }
    return out;
}

std::vector<std::string> frame_hashes(const std::string& dir, const std::string& video) {
    std::vector<std::string> hashes;
    std::istringstream lines(output_of(dir, "ffmpeg -v error -i " + video + " -map 0:v -f framemd5 -"));
    for (std::string line; std::getline(lines, line);)
        if (!line.empty() && line[0] != '#') hashes.push_back(line.substr(line.rfind(',') + 1));
    return hashes;
}

// --- Pictures ---

std::string quadrant_rgb(int width, int height, Rgb top_left, Rgb top_right, Rgb bottom_left,
                         Rgb bottom_right) {
    std::string out;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const Rgb& c = y < height / 2 ? (x < width / 2 ? top_left : top_right)
                                          : (x < width / 2 ? bottom_left : bottom_right);
            out.append(reinterpret_cast<const char*>(c.data()), 3);
        }
    return out;
}

TgaPicture read_picture(const std::string& path) {
    TgaPicture picture;
    const std::string problem = tga_decode(read_file(path), picture);
    if (!problem.empty()) ADD_FAILURE() << path << ": " << problem;
    return picture;
}

int pixels_differ(const TgaPicture& a, const TgaPicture& b) {
    if (a.width != b.width || a.height != b.height) return std::max(a.width * a.height, b.width * b.height);
    int n = 0;
    for (size_t i = 0; i + 2 < a.rgb.size(); i += 3)
        n += a.rgb[i] != b.rgb[i] || a.rgb[i + 1] != b.rgb[i + 1] || a.rgb[i + 2] != b.rgb[i + 2];
    return n;
}

Rgb colour_at(const TgaPicture& p, float fx, float fy) {
    return p.rgb.empty() ? Rgb{} : p.at(static_cast<int>(fx * p.width), static_cast<int>(fy * p.height));
}

bool near(const Rgb& a, const Rgb& b, int tolerance) {
    return std::abs(a[0] - b[0]) <= tolerance && std::abs(a[1] - b[1]) <= tolerance &&
           std::abs(a[2] - b[2]) <= tolerance;
}

std::string show(const Rgb& c) {
    return "(" + std::to_string(c[0]) + ", " + std::to_string(c[1]) + ", " + std::to_string(c[2]) + ")";
}

int count_colour(const TgaPicture& p, Rgb colour, int tolerance, int x0, int x1, int y0, int y1) {
    x1 = x1 < 0 ? p.width - 1 : std::min(x1, p.width - 1);
    y1 = y1 < 0 ? p.height - 1 : std::min(y1, p.height - 1);
    int n = 0;
    for (int y = std::max(y0, 0); y <= y1; ++y)
        for (int x = std::max(x0, 0); x <= x1; ++x) n += near(p.at(x, y), colour, tolerance);
    return n;
}

// --- Demos ---

Demo::Demo() {
    write_demo_font(dir.path);
    fs::create_directories(dir.file("video"));
    write_dialog_stub(bin.path, "zenity", bin.file("dialog.log"));
    settings = {"gl_width 320",     "gl_height 240", "gl_rttWidth 256",
                "gl_rttHeight 128", "record 1",      "sound 0"};
    picture("data/loading_back.tga", 8, 8, Rgb{40, 40, 40});
    picture("data/loading_front.tga", 8, 8, Rgb{90, 90, 90});
    section("[loading]\nparam 1 1 1 1\nstring data/loading_back.tga\nstring data/loading_front.tga\n");
}

std::string span(float start, float end, int layer) {
    return "start " + std::to_string(start) + "\nend " + std::to_string(end) + "\nlayer " +
           std::to_string(layer) + "\n";
}

void Demo::background(const std::string& image, float start, float end, int layer) {
    section("[background]\n" + span(start, end, layer) + "string " + image + "\n");
}

void Demo::use_example(const std::string& name, int music_seconds) {
    const std::string source = TARVEL_SOURCE_DIR "/examples/";
    // The example's own loading section replaces the builder's, and its pictures with it.
    sections.clear();
    fs::remove(dir.file("data/loading_back.tga"));
    fs::remove(dir.file("data/loading_front.tga"));
    const std::regex gl_line("^gl_.*\n?", std::regex::multiline);
    for (const auto& entry : fs::directory_iterator(source + name))
        if (entry.path().extension() == ".tvl")
            file(entry.path().filename().string(), std::regex_replace(read_file(entry.path()), gl_line, ""));
    const std::string command = quoted(source + "make-media") + " " + quoted(TARVEL_TOOLS_DIR) + " " + name +
                                " " + quoted(dir.file("data")) +
                                (name == "showcase" ? " " + std::to_string(music_seconds) : "") +
                                " > /dev/null";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
}

void Demo::write() const {
    std::string script;
    for (const std::string& s : settings) script += s + "\n";
    for (const std::string& s : sections) script += s;
    file("demo.tvl", script);
}

PlayerResult Demo::run(PlayerOptions options) const {
    write();
    if (options.path_prefix.empty()) options.path_prefix = bin.path;
    return player_run(dir.path, options);
}

std::vector<std::string> Demo::frames() const {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(dir.file("video"), ec))
        names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

std::string Demo::frame_path(int number) const {
    char name[32];
    std::snprintf(name, sizeof name, "video/%08d.tga", number);
    return dir.file(name);
}

// --- The viewer ---

Viewer::Viewer() {
    // A window can go away between finding it and sending to it: no X error may end the test.
    XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
    display_ = XOpenDisplay(own_display().c_str());
}

Viewer::~Viewer() {
    if (display_ != nullptr) XCloseDisplay(static_cast<Display*>(display_));
}

// The window titled "Tarvel" now (the player replaces its first window when it sets the video
// mode), or 0.
unsigned long Viewer::window(unsigned long parent, int depth) {
    auto* d = static_cast<Display*>(display_);
    Window root = 0, up = 0, *children = nullptr, found = 0;
    unsigned int count = 0;
    if (d == nullptr ||
        XQueryTree(d, parent ? parent : DefaultRootWindow(d), &root, &up, &children, &count) == 0)
        return 0;
    for (unsigned int i = 0; i < count && found == 0; ++i) {
        char* name = nullptr;
        if (XFetchName(d, children[i], &name) != 0 && name != nullptr) {
            if (std::string(name) == "Tarvel") found = children[i];
            XFree(name);
        }
        if (found == 0 && depth > 0) found = window(children[i], depth - 1);
    }
    if (children != nullptr) XFree(children);
    return found;
}

void Viewer::send(const char* key_name) {
    auto* d = static_cast<Display*>(display_);
    const Window w = window();
    XEvent e{};
    if (key_name != nullptr) {
        e.xkey = {KeyPress, 0, True, d, w, DefaultRootWindow(d), 0, CurrentTime, 0, 0, 0, 0, 0, 0, True};
        e.xkey.keycode = XKeysymToKeycode(d, XStringToKeysym(key_name));
        XSendEvent(d, w, True, KeyPressMask, &e);
        e.xkey.type = KeyRelease;
        XSendEvent(d, w, True, KeyReleaseMask, &e);
    } else {  // what a window manager sends when the viewer closes the window
        e.xclient = {ClientMessage, 0, True, d, w, XInternAtom(d, "WM_PROTOCOLS", False), 32, {}};
        e.xclient.data.l[0] = static_cast<long>(XInternAtom(d, "WM_DELETE_WINDOW", False));
        XSendEvent(d, w, False, NoEventMask, &e);
    }
    XSync(d, False);
}

PlayerResult run_with_viewer(const Demo& demo, const std::function<void(Viewer&)>& interact,
                             PlayerOptions options) {
    Viewer viewer;
    if (options.timeout_seconds == 60) options.timeout_seconds = 40;
    auto player = std::async(std::launch::async, [&] { return demo.run(options); });
    if (wait_until([&] { return viewer.window_open(); }))
        interact(viewer);
    else
        ADD_FAILURE() << "no player window";
    return player.get();
}

FileSizeLimit::FileSizeLimit(unsigned long bytes) : saved(file_size_limit(bytes)) {}

FileSizeLimit::~FileSizeLimit() {
    file_size_limit(saved);
}
