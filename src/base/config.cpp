// Configuration variables, their defaults and the name table the script parser searches.
#include "base/config.h"

#include <cstring>

std::string demo_name = "Tarvel";
int32_t fps = 0;
int32_t timing = 0;
int32_t debug = 0;
int32_t record = 0;
float record_fps = 25.0f;
int32_t compress_tga = 0;
int32_t loop = 0;
int32_t sound = 1;
int32_t bench = 0;
float demo_start = 0.0f;
float demo_end = 0.0f;
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
int32_t texture_detail = 5;

float display_aspect = 16.0f / 9.0f;

int program_argc = 0;
char** program_argv = nullptr;

const ConfigVar config_vars[CONFIG_VAR_COUNT] = {
    {"demo_name", CONFIG_STRING, &demo_name},
    {"fps", CONFIG_INT, &fps},
    {"timing", CONFIG_INT, &timing},
    {"debug", CONFIG_INT, &debug},
    {"record", CONFIG_INT, &record},
    {"record_fps", CONFIG_FLOAT, &record_fps},
    {"compress_tga", CONFIG_INT, &compress_tga},
    {"loop", CONFIG_INT, &loop},
    {"sound", CONFIG_INT, &sound},
    {"bench", CONFIG_INT, &bench},
    {"demo_start", CONFIG_FLOAT, &demo_start},
    {"demo_end", CONFIG_FLOAT, &demo_end},
    {"gl_fullscreen", CONFIG_INT, &gl_fullscreen},
    {"gl_panoramic", CONFIG_INT, &gl_panoramic},
    {"gl_info", CONFIG_INT, &gl_info},
    {"gl_extensions", CONFIG_INT, &gl_extensions},
    {"gl_width", CONFIG_INT, &gl_width},
    {"gl_height", CONFIG_INT, &gl_height},
    {"gl_bpp", CONFIG_INT, &gl_bpp},
    {"gl_zbuffer", CONFIG_INT, &gl_zbuffer},
    {"gl_stencil", CONFIG_INT, &gl_stencil},
    {"gl_rttWidth", CONFIG_INT, &gl_rttWidth},
    {"gl_rttHeight", CONFIG_INT, &gl_rttHeight},
    {"texture_detail", CONFIG_INT, &texture_detail},
};

const ConfigVar* config_find(const char* name) {
    for (const ConfigVar& var : config_vars) {
        if (std::strcmp(var.name, name) == 0) return &var;
    }
    return nullptr;
}

void config_reset_values() {
    demo_name = "Tarvel";
    fps = timing = debug = record = 0;
    record_fps = 25.0f;
    loop = 0;
    sound = 1;
    bench = 0;
    demo_start = demo_end = 0.0f;
    gl_fullscreen = 0;
    gl_panoramic = 1;
    gl_info = gl_extensions = gl_stencil = 0;
    gl_width = 800;
    gl_height = 600;
    gl_bpp = 32;
    gl_zbuffer = 16;
    display_aspect = 16.0f / 9.0f;
    gl_rttWidth = gl_rttHeight = 512;
    compress_tga = 0;
    texture_detail = 5;
}
