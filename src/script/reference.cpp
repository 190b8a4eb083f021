// The table of every name of the script language, its lookups and the hover paragraph.
#include "script/reference.h"

namespace {

constexpr ReferenceKind TYPE = ReferenceKind::Type;
constexpr ReferenceKind KEYWORD = ReferenceKind::Keyword;
constexpr ReferenceKind SETTING = ReferenceKind::Setting;

const ReferenceEntry entries[] = {
    // Section types.
    {"loading", TYPE,
     "params: bar red, green, blue, alpha; strings: background picture, picture faded in; needs no times",
     "the loading screen shown while the demo loads; every demo needs one"},
    {"efxBlackWhite", TYPE, "params: opacity at the start and at the end",
     "blends a grey-scale copy of the frame drawn so far over it"},
    {"efxColor", TYPE, "params: red, green, blue, and optionally alpha", "tints everything drawn after it"},
    {"efxDeform", TYPE,
     "params: n (an n × n grid of control points), mesh steps across and along; splines: any number, "
     "each moving one point: column, row, offset x, y, z in window pixels; blend",
     "bends the frame like a rubber sheet through a grid pulled by splines"},
    {"efxFader", TYPE, "params: red, green, blue, alpha at the start and at the end",
     "fades the whole frame to or from a colour"},
    {"efxInverse", TYPE, "no params, strings or splines", "inverts the colours of the frame"},
    {"efxRadialBlur", TYPE,
     "params: passes, strength and zoom step at the start, strength and zoom step at the end, centre x "
     "and y (0 to 1) at the start, centre x and y at the end",
     "smears the frame outward from a centre point"},
    {"efxRenderMesh", TYPE,
     "params: distortion (0 shift, 1 zoom, 2 warp, 3 swirl, 4 twirl, 5 shimmer, 6 wave, 7 pulse, 8 "
     "ripple), alpha at the start and at the end, 1 to keep the frame under the grid (0 replaces it); "
     "blend",
     "feeds the frame back through a distorted grid (trails, tunnels, ripples)"},
    {"efxRepeat", TYPE,
     "params: period, length of each repetition, start offset into it, then the inner section's "
     "params; strings: the inner type's name, then its strings; splines: passed on",
     "restarts another section type at a fixed period"},
    {"ray", TYPE,
     "params: mode (0: each segment starts where the last ended; 1: the joints jitter about the "
     "straight line), segments; splines: the bolts (start x y z, end x y z, jitter, glow: line width and "
     "passes, re-roll chance per frame, number of bolts), colour (red, green, blue); always added",
     "jagged glowing lightning bolts between two moving points"},
    {"background", TYPE, "strings: the picture; blend and alpha", "one picture over the whole frame"},
    {"object", TYPE,
     "strings: render mode (`Wireframe`, `Color`, `Flat`, `Shaded`, `Texture`, `Environment`, `Cell`), "
     "the model's folder (ending in `/`), the model's file, and for `Environment` and `Cell` a picture; "
     "params: line width, option, red, green, blue, built fraction at the start and at the end; "
     "splines: any number of transforms, applied in order; blend",
     "a 3D mesh from a 3DS file, in one of seven render styles"},
    {"objectMatrix", TYPE,
     "strings: environment picture, model folder, model file, mode (`Environment` or `Color`); params: "
     "copies, then for `Color` red, green, blue and 1 to draw through everything; splines: base "
     "transform, step transform; blend",
     "many copies of a 3D mesh, each further transformed"},
    {"camera", TYPE,
     "splines: one camera spline (without one: at (0, 0, 5) looking towards −z); no params, no strings",
     "the viewpoint for the 3D sections drawn after it"},
    {"image", TYPE, "strings: the picture; splines: one transform; blend and alpha",
     "a picture on a quad, moved, turned and scaled by a spline"},
    {"imageMatrix", TYPE,
     "params: number of copies, modulation (1: the colour spline tints each copy; 0: it sets only the "
     "alpha of 24-bit pictures); strings: the picture; splines: base transform, step transform, colour; "
     "blend and alpha",
     "many copies of a picture forming a trail, fan or tunnel"},
    {"particleMatrix", TYPE,
     "params: number of sprites, modulation (1: the colour spline tints the sprite); strings: the "
     "sprite; splines: the first sprite's position (x, y, z), the chain (step, turn, climb, "
     "sprite half-size), colour; blend",
     "camera-facing sprites laid out along a winding chain"},
    {"macroBox", TYPE,
     "params: layers, alpha at the start and at the end; strings: the picture; blend and alpha; needs a "
     "camera on a lower layer",
     "a textured sky box around the camera"},
    {"particleTex", TYPE,
     "strings: the picture, the sprite; params: spacing, sprite half-size, scatter range (whole units, "
     "at least 1), centre x, y, z, alpha at the start and at the end; always added",
     "a picture that gathers out of a cloud of particles"},
    {"pathway", TYPE,
     "params: sparks per second, sprite size, red, green, blue; strings: the sprite; splines: the path "
     "(x, y, z); always added",
     "a trail of glowing particles behind a point flying along a spline"},
    {"sound", TYPE, "strings: the music file", "the music track"},

    // Section keywords.
    {"start", KEYWORD, "seconds", "when the section starts; must not be negative"},
    {"end", KEYWORD, "seconds",
     "when it ends; the length is `end` minus the `start` given so far and must be positive, so write "
     "`start` first"},
    {"layer", KEYWORD, "integer", "drawing order: lower layers are drawn first, higher ones on top"},
    {"sync", KEYWORD, "seconds", "a sync time (up to 32)"},
    {"param", KEYWORD, "numbers",
     "one or more numbers, e.g. `1 2 3` or `{0.5, -1, 2}`; lines add up, 32 at most"},
    {"spline", KEYWORD, "file [seconds]",
     "a spline file and the time its keys are spread over (default: the section's length as set by an "
     "earlier `end` line); 32 at most"},
    {"string", KEYWORD, "text", "a text, usually a file name; the whole rest of the line; 32 at most"},
    {"blend", KEYWORD, "two names", "blending with a source and a destination factor"},
    {"alpha", KEYWORD, "name [from [to]]",
     "alpha test with a function and a reference that runs from `from` to `to` over the section"},

    // Settings.
    {"demo_name", SETTING, "text, default Tarvel", "window caption"},
    {"fps", SETTING, "integer, default 0", "non-zero: show the frame-rate line (key F toggles it)"},
    {"timing", SETTING, "integer, default 0",
     "non-zero (with `fps` 0): show the full statistics overlay (key T toggles it)"},
    {"debug", SETTING, "integer, default 0", "non-zero: debug axes and a free-flying debug camera"},
    {"record", SETTING, "integer, default 0",
     "non-zero: play at a fixed step of 1/`record_fps` and write every frame as a numbered TGA file "
     "under `video/`"},
    {"record_fps", SETTING, "float, default 25.0", "frames per second of demo time while recording"},
    {"compress_tga", SETTING, "integer, default 0",
     "non-zero: screenshots and recorded frames are run-length encoded"},
    {"loop", SETTING, "integer, default 0", "non-zero: when the demo ends it starts again from `demo_start`"},
    {"sound", SETTING, "integer, default 1", "non-zero: music on; zero: no sound system at all"},
    {"bench", SETTING, "integer, default 0", "non-zero: show a benchmark score at the end"},
    {"demo_start", SETTING, "float, default 0.0",
     "demo time (seconds) at which playback starts; sections ending by then are dropped"},
    {"demo_end", SETTING, "float, default 0.0",
     "if not 0: sections starting at or after it are dropped; if greater than 0: playback ends there"},
    {"gl_fullscreen", SETTING, "integer, default 0", "non-zero: full screen"},
    {"gl_panoramic", SETTING, "integer, default 1", "non-zero: 16:9 picture; zero: 4:3"},
    {"gl_info", SETTING, "integer, default 0",
     "non-zero: print the OpenGL driver description on standard output"},
    {"gl_extensions", SETTING, "integer, default 0", "accepted for older scripts; no effect"},
    {"gl_width", SETTING, "integer, default 800", "window width in pixels"},
    {"gl_height", SETTING, "integer, default 600", "window height in pixels"},
    {"gl_bpp", SETTING, "integer, default 32", "colour depth in full screen (a window uses the desktop's)"},
    {"gl_zbuffer", SETTING, "integer, default 16", "depth-buffer bits"},
    {"gl_stencil", SETTING, "integer, default 0", "stencil bits"},
    {"gl_rttWidth", SETTING, "integer, default 512", "width of the frame the sections draw into"},
    {"gl_rttHeight", SETTING, "integer, default 512", "height of that frame"},
    {"texture_detail", SETTING, "integer, default 5",
     "limit on the largest image side when loading textures"},
    {"bpm", SETTING, "float, default 0.0",
     "the music's tempo in beats per minute, counted from demo time 0; 0: no tempo. With one, the "
     "maker's mode takes and shows bars and beats and the time line draws bar lines. Negative or not "
     "finite: an error"},
    {"beats_per_bar", SETTING, "integer, default 4", "beats in a bar of that tempo; 1 or more"},
};

// A sentence of the paragraph: the text with a full stop, unless it has one.
std::string sentence(const char* text) {
    std::string s = text;
    if (s.empty() || s.back() != '.') s += '.';
    return s;
}

}  // namespace

std::span<const ReferenceEntry> reference_table() {
    return entries;
}

const ReferenceEntry* reference_find(std::string_view name, ReferenceKind kind) {
    for (const ReferenceEntry& e : entries) {
        if (e.kind == kind && name == e.name) return &e;
    }
    return nullptr;
}

const ReferenceEntry* reference_find(std::string_view name) {
    for (const ReferenceEntry& e : entries) {
        if (name == e.name) return &e;
    }
    return nullptr;
}

std::vector<std::string_view> reference_names(ReferenceKind kind) {
    std::vector<std::string_view> names;
    for (const ReferenceEntry& e : entries) {
        if (e.kind == kind) names.push_back(e.name);
    }
    return names;
}

const char* reference_kind_name(ReferenceKind kind) {
    switch (kind) {
        case ReferenceKind::Type:
            return "section type";
        case ReferenceKind::Keyword:
            return "section keyword";
        default:
            return "setting";
    }
}

std::string reference_hover(const ReferenceEntry& entry) {
    return std::string("**") + entry.name + "** (" + reference_kind_name(entry.kind) +
           "): " + sentence(entry.meaning) + " Takes: " + sentence(entry.takes);
}

std::string reference_hover(std::string_view word, ScriptPlace place) {
    const ReferenceKind kind = place == ScriptPlace::Header    ? ReferenceKind::Type
                               : place == ScriptPlace::Section ? ReferenceKind::Keyword
                                                               : ReferenceKind::Setting;
    const ReferenceEntry* entry = reference_find(word, kind);
    return entry == nullptr ? "" : reference_hover(*entry);
}
