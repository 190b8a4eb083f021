// The settings: the value a reading of the scripts assigns (then the command line's options),
// in two parts with different owners, and the name table that maps a variable line onto it.
#pragma once

#include <cstdint>
#include <map>
#include <string>

// Where a script assigned a variable.
struct ConfigPlace {
    std::string script;
    int line = 0;
};

// What the scripts give the show: a reload (the maker's mode) may change any of it, so it
// belongs to the demo that was read with it.
struct ShowSettings {
    int32_t fps = 0;
    int32_t timing = 0;
    int32_t debug = 0;
    int32_t record = 0;
    float record_fps = 25.0f;
    int32_t compress_tga = 0;
    int32_t loop = 0;
    int32_t bench = 0;
    float demo_start = 0.0f;
    float demo_end = 0.0f;
    int32_t texture_detail = 5;
    float bpm = 0.0f;  // the music's tempo in beats a minute; 0: none
    int32_t beats_per_bar = 4;
};

// What only a restart changes: the window, its GL context and the sound device, fixed when
// they open. A script edited while they are open changes nothing here.
struct WindowSettings {
    std::string demo_name = "Tarvel";
    int32_t sound = 1;
    int32_t gl_fullscreen = 0;
    int32_t gl_panoramic = 1;
    int32_t gl_info = 0;
    int32_t gl_extensions = 0;
    int32_t gl_width = 800;
    int32_t gl_height = 600;
    int32_t gl_bpp = 32;
    int32_t gl_zbuffer = 16;
    int32_t gl_stencil = 0;
    int32_t gl_rttWidth = 512;
    int32_t gl_rttHeight = 512;
    // 16/9 until the video mode settles it.
    float display_aspect = 16.0f / 9.0f;
};

// One reading of the scripts: the 26 variables, defaults where no line set them, and where
// each was set. Each part goes to its owner once the read is done.
struct Config : ShowSettings, WindowSettings {
    // The script and line of each variable's last assignment, by name.
    std::map<std::string, ConfigPlace> places;
};

enum ConfigType { CONFIG_INT = 0, CONFIG_FLOAT = 1, CONFIG_STRING = 2 };

// One row of the name table: the member of Config that the name sets (the one of its type).
struct ConfigVar {
    const char* name;
    int type;  // ConfigType
    int32_t Config::*int_member;
    float Config::*float_member;
    std::string Config::*string_member;
};

inline constexpr int CONFIG_VAR_COUNT = 26;
extern const ConfigVar config_vars[CONFIG_VAR_COUNT];

// Exact, case-sensitive lookup; null when the name is not a variable.
const ConfigVar* config_find(const char* name);
