// Damaged 3DS models drawn by the real player in every render mode, which the fuzz targets (that
// only read them) cannot reach: our generator's models and those of Debian's assimp-testmodels,
// cut short and with bytes flipped from fixed seeds. Every run must end by itself with status 0,
// or with 255 and an "Error: " line; never by a signal, never by the time limit.
#include <algorithm>
#include <filesystem>

#include "media_files.h"
#include "mesh_writer.h"
#include "player.h"
#include "resources/mesh.h"

namespace fs = std::filesystem;

namespace {

struct Model {
    std::string name;
    std::string bytes;
};

std::vector<Model> models() {
    MaterialDraft skin{"skin"}, mapped{"skin"};
    mapped.map_name = "skin.tga";
    std::vector<Model> out = {
        {"GeneratedCube", mesh_write_3ds({mapped}, {mesh_draft_cube("Cube", 2, "skin")})},
        {"GeneratedTorus", mesh_write_3ds({skin}, {mesh_draft_torus("Torus", 1.5f, 0.5f, 12, 8, "skin")})}};
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator("/usr/share/assimp/models/3DS"))
        if ((entry.path().extension() == ".3ds" || entry.path().extension() == ".3DS") &&
            entry.file_size() > 0)
            files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    for (const fs::path& f : files) {
        std::string name = f.stem().string();
        for (char& c : name) c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
        out.push_back({name, read_file(f.string())});
    }
    return out;
}

// Plays the model in all seven modes at once, with a stand-in picture for every map it names.
PlayerResult play(const std::string& intact, const std::string& bytes) {
    Demo demo;
    for (const char* s : {"gl_width 160", "gl_height 120", "gl_rttWidth 128", "gl_rttHeight 64",
                          "record_fps 10", "demo_end 0.05"})
        demo.set(s);
    demo.file("data/model.3ds", bytes);
    demo.picture("data/map.tga", 8, 8, Rgb{128, 128, 128});
    Mesh mesh;
    if (mesh_parse(reinterpret_cast<const unsigned char*>(intact.data()), intact.size(), "", mesh, nullptr))
        for (const Material* m = mesh.materials; m != nullptr; m = m->next)
            if (m->map_name[0] != '\0')
                demo.file(std::string("data/") + m->map_name,
                          media::bmp(8, 8, solid_rgb(8, 8, 128, 128, 128), 24));
    demo.section("[camera]\n" + span(0, 1, 0));
    for (const char* mode : {"Wireframe", "Color", "Flat", "Shaded", "Texture", "Environment", "Cell"})
        demo.section("[object]\n" + span(0, 1, 1) + "string " + mode +
                     "\nstring data/\nstring model.3ds\nstring data/map.tga\nparam 1 0 1 1 1 0 1\n");
    PlayerOptions options;
    options.timeout_seconds = 25;
    return demo.run(options);
}

class DamagedModel : public testing::TestWithParam<Model> {};

}  // namespace

TEST_P(DamagedModel, EndsWithStatusZeroOrAMessageInEveryMode) {
    const std::string& model = GetParam().bytes;
    PlayerResult intact = play(model, model);
    EXPECT_EQ(intact.exit_status, 0) << intact.err;

    std::vector<std::pair<std::string, std::string>> damaged;
    for (size_t cut : {size_t{3}, model.size() / 3, model.size() - 1})
        damaged.push_back({"cut at " + std::to_string(cut), model.substr(0, cut)});
    uint32_t state = static_cast<uint32_t>(model.size());
    for (int flips : {1, 4, 7}) {
        // Past the main chunk's header, so that the flips reach the chunks inside.
        std::string bytes = model;
        for (int i = 0; i < flips; ++i) {
            state = state * 1664525u + 1013904223u;
            const size_t at = 6 + (state >> 8) % (bytes.size() - 6);
            bytes[at] = static_cast<char>(bytes[at] ^ (1 + (state >> 4) % 255));
        }
        damaged.push_back({std::to_string(flips) + " bytes flipped", bytes});
    }
    for (const auto& [what, bytes] : damaged) {
        PlayerResult r = play(model, bytes);
        EXPECT_TRUE(r.exit_status == 0 ||
                    (r.exit_status == 255 && ("\n" + r.err).find("\nError: ") != std::string::npos))
            << what << ": status " << r.exit_status << "\n"
            << r.err;
    }
}

INSTANTIATE_TEST_SUITE_P(Models, DamagedModel, testing::ValuesIn(models()),
                         [](const testing::TestParamInfo<Model>& info) { return info.param.name; });
