#include "player.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <thread>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#ifndef TARVEL_PLAYER
#error "TARVEL_PLAYER must name the player binary"
#endif

namespace fs = std::filesystem;

namespace {

std::string fixture(const std::string& action, const std::string& file) {
    return "'" TARVEL_SOURCE_DIR "/tests/support/xvfb-fixture' " + action + " '" + file + "' > /dev/null";
}

// A server of this process's own, stopped at exit.
std::string own_display_file;

void stop_own_xvfb() {
    if (std::system(fixture("stop", own_display_file).c_str()) != 0)
        std::fprintf(stderr, "Xvfb left running\n");
}

std::string display_in(const std::string& file) {
    std::ifstream in(file);
    std::string number;
    return in >> number ? ":" + number : "";
}

std::string chosen_display;

}  // namespace

std::string own_display() {
    if (own_display_file.empty()) {
        own_display_file = fs::temp_directory_path() / ("tarvel-display-" + std::to_string(getpid()));
        if (std::system(fixture("start", own_display_file).c_str()) == 0) std::atexit(stop_own_xvfb);
    }
    return chosen_display = display_in(own_display_file);
}

std::string xvfb_display() {
    if (chosen_display.empty()) {
        const char* shared = std::getenv("TARVEL_TEST_DISPLAY_FILE");
        chosen_display = shared != nullptr && fs::exists(shared) ? display_in(shared) : own_display();
    }
    return chosen_display;
}

PlayerResult player_run(const std::string& dir, const PlayerOptions& options) {
    const std::string display = xvfb_display();
    const std::string out_path = dir + "/.player-stdout", err_path = dir + "/.player-stderr";
    std::vector<std::string> argv_strings = {TARVEL_PLAYER};
    argv_strings.insert(argv_strings.end(), options.args.begin(), options.args.end());
    std::vector<char*> argv;
    for (std::string& a : argv_strings) argv.push_back(a.data());
    argv.push_back(nullptr);

    pid_t pid = fork();
    if (pid == 0) {
        if (chdir(dir.c_str()) != 0) _exit(126);
        int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int in = open("/dev/null", O_RDONLY);
        dup2(out, 1), dup2(err, 2), dup2(in, 0);
        close(out), close(err), close(in);
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        if (!display.empty()) setenv("DISPLAY", display.c_str(), 1);
        for (const auto& [key, value] : options.env) {
            if (value.empty()) {
                unsetenv(key.c_str());
            } else {
                setenv(key.c_str(), value.c_str(), 1);
            }
        }
        if (!options.path_prefix.empty()) {
            const char* path = std::getenv("PATH");
            setenv("PATH", (options.path_prefix + ":" + (path ? path : "/usr/bin:/bin")).c_str(), 1);
        }
        setpgid(0, 0);
        execv(TARVEL_PLAYER, argv.data());
        _exit(127);
    }

    PlayerResult result;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(options.timeout_seconds);
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) != pid) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(-pid, SIGKILL);
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            result.timed_out = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (WIFEXITED(status)) result.exit_status = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) result.exit_status = 128 + WTERMSIG(status);
    result.out = read_file(out_path);
    result.err = read_file(err_path);
    unlink(out_path.c_str());
    unlink(err_path.c_str());
    return result;
}

void write_dialog_stub(const std::string& dir, const std::string& name, const std::string& log,
                       const std::string& then) {
    const std::string path = dir + "/" + name;
    write_file(path, "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\" >> '" + log + "'; done\n" + then +
                         "\nexit 0\n");
    chmod(path.c_str(), 0755);
}

void expect_clean_exit(const PlayerResult& r) {
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.exit_status, 0) << r.err;
    EXPECT_EQ(r.err, "");
}

// --- Pictures ---

std::string quadrant_rgb(int width, int height, Rgb top_left, Rgb top_right, Rgb bottom_left,
                         Rgb bottom_right) {
    std::string out;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const Rgb& c = y < height / 2 ? (x < width / 2 ? top_left : top_right)
                                          : (x < width / 2 ? bottom_left : bottom_right);
            out.append(reinterpret_cast<const char*>(c.data()), 3);
        }
    }
    return out;
}

TgaPicture read_picture(const std::string& path) {
    TgaPicture picture;
    const std::string problem = tga_decode(read_file(path), picture);
    if (!problem.empty()) ADD_FAILURE() << path << ": " << problem;
    return picture;
}

Rgb colour_at(const TgaPicture& p, float fx, float fy) {
    if (p.rgb.empty()) return {};
    return p.at(static_cast<int>(fx * p.width), static_cast<int>(fy * p.height));
}

bool near(const Rgb& a, const Rgb& b, int tolerance) {
    for (int i = 0; i < 3; ++i)
        if (std::abs(a[i] - b[i]) > tolerance) return false;
    return true;
}

std::string show(const Rgb& c) {
    return "(" + std::to_string(c[0]) + ", " + std::to_string(c[1]) + ", " + std::to_string(c[2]) + ")";
}

int count_colour(const TgaPicture& p, Rgb colour, int tolerance, int x0, int x1, int y0, int y1) {
    if (x1 < 0) x1 = p.width - 1;
    if (y1 < 0) y1 = p.height - 1;
    int n = 0;
    for (int y = std::max(y0, 0); y <= std::min(y1, p.height - 1); ++y)
        for (int x = std::max(x0, 0); x <= std::min(x1, p.width - 1); ++x)
            n += near(p.at(x, y), colour, tolerance);
    return n;
}

Difference compare(const TgaPicture& a, const TgaPicture& b) {
    Difference d;
    if (a.width != b.width || a.height != b.height || a.rgb.size() != b.rgb.size() || a.rgb.empty()) return d;
    double sum = 0;
    size_t far = 0;
    for (size_t i = 0; i < a.rgb.size(); i += 3) {
        int worst = 0;
        for (size_t c = 0; c < 3; ++c) {
            int diff = std::abs(a.rgb[i + c] - b.rgb[i + c]);
            sum += diff;
            worst = std::max(worst, diff);
        }
        far += worst > 48;
    }
    d.mean = sum / static_cast<double>(a.rgb.size());
    d.far_share = static_cast<double>(far) / static_cast<double>(a.rgb.size() / 3);
    return d;
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

void Demo::picture(const std::string& path, int width, int height, Rgb colour) const {
    write_tga(dir.file(path), width, height, solid_rgb(width, height, colour[0], colour[1], colour[2]));
}

std::string span(float start, float end, int layer) {
    return "start " + std::to_string(start) + "\nend " + std::to_string(end) + "\nlayer " +
           std::to_string(layer) + "\n";
}

void Demo::background(const std::string& image, float start, float end, int layer) {
    section("[background]\n" + span(start, end, layer) + "string " + image + "\n");
}

void Demo::use_example(const std::string& name, int music_seconds) {
    const std::string source = std::string(TARVEL_SOURCE_DIR) + "/examples/";
    sections.clear();
    for (const auto& entry : fs::directory_iterator(source + name)) {
        if (entry.path().extension() != ".tvl") continue;
        std::ifstream in(entry.path());
        std::string kept;
        for (std::string line; std::getline(in, line);)
            if (line.rfind("gl_", 0) != 0) kept += line + "\n";
        file(entry.path().filename().string(), kept);
    }
    std::string command = "'" + source + "make-media' '" + TARVEL_TOOLS_DIR + "' " + name + " '" +
                          dir.file("data") + "'" +
                          (name == "showcase" ? " " + std::to_string(music_seconds) : "") + " > /dev/null";
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

bool wait_until(const std::function<bool()>& ready, double seconds) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < deadline) {
        if (ready()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

bool wait_for_picture(const std::string& path, double seconds) {
    return wait_until(
        [&] {
            TgaPicture p;
            return tga_decode(read_file(path), p).empty();
        },
        seconds);
}

namespace {

// The window titled "Tarvel" under `parent` now (the player replaces its first window when it
// sets the video mode), or 0.
Window find_window(Display* display, Window parent, int depth) {
    Window root = 0, up = 0, *children = nullptr, found = 0;
    unsigned int count = 0;
    if (XQueryTree(display, parent, &root, &up, &children, &count) == 0) return 0;
    for (unsigned int i = 0; i < count && found == 0; ++i) {
        char* name = nullptr;
        if (XFetchName(display, children[i], &name) != 0 && name != nullptr) {
            if (std::string(name) == "Tarvel") found = children[i];
            XFree(name);
        }
        if (found == 0 && depth > 0) found = find_window(display, children[i], depth - 1);
    }
    if (children != nullptr) XFree(children);
    return found;
}

// A window can go away between finding it and sending to it; the default handler would end the test.
int ignore_x_error(Display*, XErrorEvent*) {
    return 0;
}

}  // namespace

Viewer::Viewer() {
    XSetErrorHandler(ignore_x_error);
    display_ = XOpenDisplay(own_display().c_str());
}

Viewer::~Viewer() {
    if (display_ != nullptr) XCloseDisplay(static_cast<Display*>(display_));
}

bool Viewer::window_open() {
    auto* d = static_cast<Display*>(display_);
    return d != nullptr && find_window(d, DefaultRootWindow(d), 2) != 0;
}

void Viewer::send(const char* key_name) {
    auto* d = static_cast<Display*>(display_);
    XEvent e{};
    const Window w = find_window(d, DefaultRootWindow(d), 2);
    if (key_name != nullptr) {
        e.xkey = {KeyPress, 0, True, d, w, DefaultRootWindow(d), 0, CurrentTime, 0, 0, 0, 0, 0, 0, True};
        e.xkey.keycode = XKeysymToKeycode(d, XStringToKeysym(key_name));
        XSendEvent(d, w, True, KeyPressMask, &e);
        e.xkey.type = KeyRelease;
        XSendEvent(d, w, True, KeyReleaseMask, &e);
    } else {
        // What a window manager sends when the viewer closes the window.
        e.xclient.type = ClientMessage;
        e.xclient.window = w;
        e.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
        e.xclient.format = 32;
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
    if (!wait_until([&] { return viewer.window_open(); })) {
        ADD_FAILURE() << "no player window";
    } else {
        interact(viewer);
    }
    return player.get();
}
