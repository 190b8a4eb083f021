// The settings' defaults and the name table the script parser searches.
#include "base/config.h"

#include <cstring>

namespace {
constexpr ConfigVar int_var(const char* name, int32_t Config::*member) {
    return {name, CONFIG_INT, member, nullptr, nullptr};
}
constexpr ConfigVar float_var(const char* name, float Config::*member) {
    return {name, CONFIG_FLOAT, nullptr, member, nullptr};
}
}  // namespace

const ConfigVar config_vars[CONFIG_VAR_COUNT] = {
    {"demo_name", CONFIG_STRING, nullptr, nullptr, &Config::demo_name},
    int_var("fps", &Config::fps),
    int_var("timing", &Config::timing),
    int_var("debug", &Config::debug),
    int_var("record", &Config::record),
    float_var("record_fps", &Config::record_fps),
    int_var("compress_tga", &Config::compress_tga),
    int_var("loop", &Config::loop),
    int_var("sound", &Config::sound),
    int_var("bench", &Config::bench),
    float_var("demo_start", &Config::demo_start),
    float_var("demo_end", &Config::demo_end),
    int_var("gl_fullscreen", &Config::gl_fullscreen),
    int_var("gl_panoramic", &Config::gl_panoramic),
    int_var("gl_info", &Config::gl_info),
    int_var("gl_extensions", &Config::gl_extensions),
    int_var("gl_width", &Config::gl_width),
    int_var("gl_height", &Config::gl_height),
    int_var("gl_bpp", &Config::gl_bpp),
    int_var("gl_zbuffer", &Config::gl_zbuffer),
    int_var("gl_stencil", &Config::gl_stencil),
    int_var("gl_rttWidth", &Config::gl_rttWidth),
    int_var("gl_rttHeight", &Config::gl_rttHeight),
    int_var("texture_detail", &Config::texture_detail),
    float_var("bpm", &Config::bpm),
    int_var("beats_per_bar", &Config::beats_per_bar),
};

const ConfigVar* config_find(const char* name) {
    for (const ConfigVar& var : config_vars) {
        if (std::strcmp(var.name, name) == 0) return &var;
    }
    return nullptr;
}
