// The configuration variables: plain globals set to their defaults at start-up and
// assigned by script lines before anything else starts. Every other module reads them.
#pragma once

#include <cstdint>
#include <string>

// The 24 variables, in the order of the name table.
extern std::string demo_name;
extern int32_t fps;
extern int32_t timing;
extern int32_t debug;
extern int32_t record;
extern float record_fps;
extern int32_t compress_tga;
extern int32_t loop;
extern int32_t sound;
extern int32_t bench;
extern float demo_start;
extern float demo_end;
extern int32_t gl_fullscreen;
extern int32_t gl_panoramic;
extern int32_t gl_info;
extern int32_t gl_extensions;
extern int32_t gl_width;
extern int32_t gl_height;
extern int32_t gl_bpp;
extern int32_t gl_zbuffer;
extern int32_t gl_stencil;
extern int32_t gl_rttWidth;
extern int32_t gl_rttHeight;
extern int32_t texture_detail;

// 16/9 until the video mode settles it.
extern float display_aspect;

enum ConfigType { CONFIG_INT = 0, CONFIG_FLOAT = 1, CONFIG_STRING = 2 };

struct ConfigVar {
    const char* name;
    int type;      // ConfigType
    void* target;  // int32_t*, float* or std::string*
};

inline constexpr int CONFIG_VAR_COUNT = 24;
extern const ConfigVar config_vars[CONFIG_VAR_COUNT];

// Exact, case-sensitive lookup; null when the name is not a variable.
const ConfigVar* config_find(const char* name);

// Assigns every default (config_reset_defaults in script/parser.h also empties the sections).
void config_reset_values();

// Argument count and vector as main received them (the options are read by core/cli).
extern int program_argc;
extern char** program_argv;
