#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "../script/script_fixture.h"
#include "core/config.h"
#include "core/error.h"

namespace {

// Collects what is written to standard error while it is alive.
class StderrCapture {
  public:
    StderrCapture() : file_(std::tmpfile()) {
        std::fflush(stderr);
        saved_ = dup(2);
        dup2(fileno(file_), 2);
    }
    ~StderrCapture() { finish(); }
    std::string finish() {
        if (saved_ < 0) return text_;
        std::fflush(stderr);
        dup2(saved_, 2);
        close(saved_);
        saved_ = -1;
        std::rewind(file_);
        char buffer[4096];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, file_)) > 0) text_.append(buffer, n);
        std::fclose(file_);
        return text_;
    }

  private:
    FILE* file_;
    int saved_ = -1;
    std::string text_;
};

}  // namespace

using Config = ScriptTest;

TEST_F(Config, TableNamesEveryVariableInOrder) {
    struct Row {
        const char* name;
        int type;
        const void* target;
    };
    const Row expected[CONFIG_VAR_COUNT] = {
        {"demo_name", 2, &demo_name},
        {"fps", 0, &fps},
        {"timing", 0, &timing},
        {"debug", 0, &debug},
        {"record", 0, &record},
        {"record_fps", 1, &record_fps},
        {"compress_tga", 0, &compress_tga},
        {"loop", 0, &loop},
        {"sound", 0, &sound},
        {"bench", 0, &bench},
        {"demo_start", 1, &demo_start},
        {"demo_end", 1, &demo_end},
        {"gl_fullscreen", 0, &gl_fullscreen},
        {"gl_panoramic", 0, &gl_panoramic},
        {"gl_info", 0, &gl_info},
        {"gl_extensions", 0, &gl_extensions},
        {"gl_width", 0, &gl_width},
        {"gl_height", 0, &gl_height},
        {"gl_bpp", 0, &gl_bpp},
        {"gl_zbuffer", 0, &gl_zbuffer},
        {"gl_stencil", 0, &gl_stencil},
        {"gl_rttWidth", 0, &gl_rttWidth},
        {"gl_rttHeight", 0, &gl_rttHeight},
        {"texture_detail", 0, &texture_detail},
    };
    for (int i = 0; i < CONFIG_VAR_COUNT; ++i) {
        EXPECT_STREQ(config_vars[i].name, expected[i].name) << i;
        EXPECT_EQ(config_vars[i].type, expected[i].type) << expected[i].name;
        EXPECT_EQ(config_vars[i].target, expected[i].target) << expected[i].name;
        EXPECT_EQ(config_find(expected[i].name), &config_vars[i]);
    }
    EXPECT_EQ(config_find("gl_rttwidth"), nullptr);
    EXPECT_EQ(config_find("FPS"), nullptr);
    EXPECT_EQ(config_find(""), nullptr);
}

TEST_F(Config, DefaultsRestoreEveryVariable) {
    // Dirty everything through the table, then reset.
    for (const ConfigVar& var : config_vars) {
        if (var.type == CONFIG_INT) *static_cast<int32_t*>(var.target) = -7;
        if (var.type == CONFIG_FLOAT) *static_cast<float*>(var.target) = -7;
        if (var.type == CONFIG_STRING) *static_cast<std::string*>(var.target) = "dirty";
    }
    display_aspect = 1;
    section_new();
    config_reset_defaults();

    EXPECT_EQ(demo_name, "Tarvel");
    for (int32_t* v : {&fps, &timing, &debug, &record, &compress_tga, &loop, &bench, &gl_fullscreen, &gl_info,
                       &gl_extensions, &gl_stencil}) {
        EXPECT_EQ(*v, 0);
    }
    EXPECT_EQ(record_fps, 25.0f);
    EXPECT_EQ(sound, 1);
    EXPECT_EQ(demo_start, 0.0f);
    EXPECT_EQ(demo_end, 0.0f);
    EXPECT_EQ(gl_panoramic, 1);
    EXPECT_EQ(gl_width, 800);
    EXPECT_EQ(gl_height, 600);
    EXPECT_EQ(gl_bpp, 32);
    EXPECT_EQ(gl_zbuffer, 16);
    EXPECT_EQ(gl_rttWidth, 512);
    EXPECT_EQ(gl_rttHeight, 512);
    EXPECT_EQ(texture_detail, 5);
    uint32_t bits;
    std::memcpy(&bits, &display_aspect, sizeof bits);
    EXPECT_EQ(bits, 0x3FE38E39u);
    EXPECT_EQ(section_list, nullptr);
}

TEST_F(Config, SetDefaultsThenParsesTheWorkingDirectory) {
    section_new();
    gl_height = 1;
    write_file(dir.file("demo/settings.tvl"), "gl_width 320\nrecord_fps 12.5\n[loading]\n");
    config_set_defaults();
    EXPECT_EQ(gl_height, 600);
    EXPECT_EQ(gl_width, 320);
    EXPECT_EQ(record_fps, 12.5f);
    ASSERT_EQ(parsed_sections().size(), 1u);
    EXPECT_EQ(section_list->type, 0);
}

TEST_F(Config, AVariableSetInTwoFilesKeepsTheLastParsed) {
    write_file(dir.file("one/a.tvl"), "demo_name One\ngl_width 100\n[image]\nstring One\n");
    write_file(dir.file("two/b.tvl"), "demo_name Two\ngl_width 200\n[image]\nstring Two\n");
    ASSERT_EQ(discover(), "");
    // The list of all sections starts with the section of the file parsed last.
    ASSERT_NE(section_list, nullptr);
    const std::string last = section_list->strings[0];
    EXPECT_EQ(demo_name, last);
    EXPECT_EQ(gl_width, last == "One" ? 100 : 200);
}

TEST(FatalError, MessageIsCutAt1023Characters) {
    std::string long_text(2000, 'x');
    std::string message = fatal_message_of([&] { fatal_error("<%s>", long_text.c_str()); });
    EXPECT_EQ(message, "<" + std::string(1022, 'x'));

    std::string fits(1023, 'y');
    EXPECT_EQ(fatal_message_of([&] { fatal_error("%s", fits.c_str()); }), fits);
    EXPECT_EQ(fatal_message_of([] { fatal_error("File '%s' not found", "a.tga"); }),
              "File 'a.tga' not found");
}

TEST(FatalError, ScriptErrorTemplate) {
    EXPECT_EQ(fatal_message_of([] { script_error("Invalid start", "./a.tvl", 4); }),
              "Invalid start (script './a.tvl', line 4)");
    // A long path is cut with the rest of the message, never overrunning the buffer.
    std::string path = "./" + std::string(1100, 'p');
    std::string message = fatal_message_of([&] { script_error("Unknown section", path.c_str(), 9); });
    EXPECT_EQ(message.size(), 1023u);
    EXPECT_EQ(message.rfind("Unknown section (script './pp", 0), 0u);
}

TEST(Warning, OneLineOnStandardErrorAndGoesOn) {
    StderrCapture capture;
    warning_message("OpenGL error %d: %s", 1282, "invalid operation");
    std::string long_text(1500, 'w');
    warning_message("%s", long_text.c_str());
    std::string text = capture.finish();
    EXPECT_EQ(text,
              "Warning: OpenGL error 1282: invalid operation\nWarning: " + std::string(1023, 'w') + "\n");
}
