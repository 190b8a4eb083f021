// Sends key presses and the window manager's close request to the player's window on the test's
// virtual X server, the way a viewer would. Xlib is opened at run time so that the test targets
// need no extra link flags. Header-only.
#pragma once

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <dlfcn.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>

class X11Input {
  public:
    explicit X11Input(const std::string& display_name) {
        lib_ = dlopen("libX11.so.6", RTLD_NOW | RTLD_LOCAL);
        if (lib_ == nullptr) return;
        bool ok = load(open_, "XOpenDisplay") && load(close_, "XCloseDisplay") &&
                  load(query_tree_, "XQueryTree") && load(fetch_name_, "XFetchName") &&
                  load(free_, "XFree") && load(keycode_, "XKeysymToKeycode") && load(send_, "XSendEvent") &&
                  load(sync_, "XSync") && load(intern_, "XInternAtom") &&
                  load(set_error_handler_, "XSetErrorHandler");
        if (!ok) return;
        // A window can go away between finding it and sending to it (the player replaces its
        // first window when it sets the video mode); the default handler would end the test.
        set_error_handler_(ignore_error);
        display_ = open_(display_name.c_str());
    }
    ~X11Input() {
        if (display_ != nullptr) close_(display_);
        if (lib_ != nullptr) dlclose(lib_);
    }
    X11Input(const X11Input&) = delete;
    X11Input& operator=(const X11Input&) = delete;

    bool ready() const { return display_ != nullptr; }

    // The window with this title now, or 0.
    Window window(const std::string& title) { return find(DefaultRootWindow(display_), title, 2); }

    // Waits up to `seconds` for a top-level window with this title; 0 when none appeared.
    Window wait_for_window(const std::string& title, double seconds) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        while (std::chrono::steady_clock::now() < deadline) {
            Window w = window(title);
            if (w != 0) return w;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return 0;
    }

    void key(Window w, KeySym sym) {
        XEvent e{};
        e.xkey.type = KeyPress;
        e.xkey.display = display_;
        e.xkey.window = w;
        e.xkey.root = DefaultRootWindow(display_);
        e.xkey.same_screen = True;
        e.xkey.keycode = keycode_(display_, sym);
        send_(display_, w, True, KeyPressMask, &e);
        e.xkey.type = KeyRelease;
        send_(display_, w, True, KeyReleaseMask, &e);
        sync_(display_, False);
    }

    // What a window manager sends when the viewer closes the window.
    void close_window(Window w) {
        XEvent e{};
        e.xclient.type = ClientMessage;
        e.xclient.window = w;
        e.xclient.message_type = intern_(display_, "WM_PROTOCOLS", False);
        e.xclient.format = 32;
        e.xclient.data.l[0] = static_cast<long>(intern_(display_, "WM_DELETE_WINDOW", False));
        e.xclient.data.l[1] = CurrentTime;
        send_(display_, w, False, NoEventMask, &e);
        sync_(display_, False);
    }

  private:
    static int ignore_error(Display*, XErrorEvent*) { return 0; }

    template <typename F>
    bool load(F& fn, const char* name) {
        fn = reinterpret_cast<F>(dlsym(lib_, name));
        return fn != nullptr;
    }

    Window find(Window parent, const std::string& title, int depth) {
        Window root_return = 0;
        Window parent_return = 0;
        Window* children = nullptr;
        unsigned int count = 0;
        if (query_tree_(display_, parent, &root_return, &parent_return, &children, &count) == 0) return 0;
        Window found = 0;
        for (unsigned int i = 0; i < count && found == 0; ++i) {
            char* name = nullptr;
            if (fetch_name_(display_, children[i], &name) != 0 && name != nullptr) {
                if (title == name) found = children[i];
                free_(name);
            }
            if (found == 0 && depth > 0) found = find(children[i], title, depth - 1);
        }
        if (children != nullptr) free_(children);
        return found;
    }

    void* lib_ = nullptr;
    Display* display_ = nullptr;
    Display* (*open_)(const char*) = nullptr;
    int (*close_)(Display*) = nullptr;
    Status (*query_tree_)(Display*, Window, Window*, Window*, Window**, unsigned int*) = nullptr;
    Status (*fetch_name_)(Display*, Window, char**) = nullptr;
    int (*free_)(void*) = nullptr;
    KeyCode (*keycode_)(Display*, KeySym) = nullptr;
    Status (*send_)(Display*, Window, Bool, long, XEvent*) = nullptr;
    int (*sync_)(Display*, Bool) = nullptr;
    Atom (*intern_)(Display*, const char*, Bool) = nullptr;
    XErrorHandler (*set_error_handler_)(XErrorHandler) = nullptr;
};
