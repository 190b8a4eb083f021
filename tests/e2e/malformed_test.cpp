// The real player on demos whose files are damaged: 3DS models cut short or with bytes flipped
// (our generator's and the models of Debian's assimp-testmodels), zip archives with broken
// central directories, images claiming absurd sizes, scripts of random bytes and spline files
// far larger than any demo's. Every run must end by itself with status 0, or with 255 and an
// "Error: " line; never by a signal, never by the time limit. Inputs are made from fixed seeds,
// so every run of the suite plays the same files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <filesystem>
#include <string>
#include <vector>

#include "demo_builder.h"
#include "media_files.h"
#include "resources/mesh.h"
#include "resources/mesh_writer.h"

namespace fs = std::filesystem;

namespace {

// Seconds one run may take; a run past it has hung.
constexpr int RUN_LIMIT = 25;

struct Lcg {
    uint32_t state;
    uint32_t next() {
        state = state * 1664525u + 1013904223u;
        return state >> 8;
    }
};

std::string flipped(std::string bytes, uint32_t seed, int flips, size_t from = 0) {
    Lcg rng{seed};
    if (bytes.size() <= from) return bytes;
    for (int i = 0; i < flips; ++i) {
        size_t at = from + rng.next() % (bytes.size() - from);
        bytes[at] = static_cast<char>(bytes[at] ^ (1 + rng.next() % 255));
    }
    return bytes;
}

void put16(std::string& s, size_t at, uint32_t v) {
    s[at] = static_cast<char>(v & 0xFF);
    s[at + 1] = static_cast<char>((v >> 8) & 0xFF);
}
void put32(std::string& s, size_t at, uint32_t v) {
    put16(s, at, v & 0xFFFF);
    put16(s, at + 2, v >> 16);
}
void append16(std::string& s, uint32_t v) {
    s.append(2, '\0');
    put16(s, s.size() - 2, v);
}
void append32(std::string& s, uint32_t v) {
    s.append(4, '\0');
    put32(s, s.size() - 4, v);
}

// Runs and the verdicts on them, for the summary each test prints.
struct Tally {
    const char* name;
    int runs = 0;
    int by_signal = 0;
    ~Tally() { std::printf("[malformed] %s: %d runs, %d ended by a signal\n", name, runs, by_signal); }

    void check(const PlayerResult& r, const std::string& what) {
        ++runs;
        bool signalled = !r.timed_out && r.exit_status > 128 && r.exit_status < 255;
        if (signalled) ++by_signal;
        // TARVEL_MALFORMED_VERBOSE=1 lists every run with how it ended.
        if (std::getenv("TARVEL_MALFORMED_VERBOSE") != nullptr) {
            std::printf("  %s: %s%d %s", what.c_str(), r.timed_out ? "timed out, " : "", r.exit_status,
                        r.err.empty() ? "\n" : r.err.substr(0, r.err.find('\n') + 1).c_str());
        }
        EXPECT_FALSE(r.timed_out) << what << ": no end within " << RUN_LIMIT << " s";
        EXPECT_TRUE(r.exit_status == 0 || r.exit_status == 255)
            << what << ": exit status " << r.exit_status << "\n"
            << r.err;
        if (r.exit_status == 255) {
            EXPECT_NE(("\n" + r.err).find("\nError: "), std::string::npos) << what << ": no message\n"
                                                                           << r.err;
        }
    }
};

// A recording demo in a tiny window that plays one frame past its start and ends.
struct SmallDemo : DemoBuilder {
    SmallDemo() {
        set("gl_width 160");
        set("gl_height 120");
        set("gl_rttWidth 128");
        set("gl_rttHeight 64");
        set("record_fps 10");
        set("demo_end 0.05");
    }
    PlayerResult run_limited() const {
        PlayerOptions options;
        options.timeout_seconds = RUN_LIMIT;
        return run(options);
    }
};

// --- 3DS models ---

// A 24-bit BMP of 8 x 8 grey pixels, which the image library recognises by its content whatever
// the file is called: it stands in for the textures the test models name.
std::string small_bmp() {
    const int side = 8;
    std::string bmp = "BM";
    append32(bmp, 54 + side * side * 3);
    append32(bmp, 0);
    append32(bmp, 54);
    append32(bmp, 40);
    append32(bmp, side);
    append32(bmp, side);
    append16(bmp, 1);
    append16(bmp, 24);
    for (int i = 0; i < 6; ++i) append32(bmp, 0);
    bmp.append(side * side * 3, static_cast<char>(0x80));
    return bmp;
}

// The texture map names of an intact model, so that its damaged copies find their textures.
std::vector<std::string> map_names(const std::string& model) {
    Mesh mesh;
    std::vector<std::string> names;
    if (!mesh_parse(reinterpret_cast<const unsigned char*>(model.data()), model.size(), "", mesh, nullptr))
        return names;
    for (const Material* m = mesh.materials; m != nullptr; m = m->next) {
        if (m->map_name[0] != '\0') names.push_back(m->map_name);
    }
    return names;
}

PlayerResult run_model(const std::string& bytes, const std::vector<std::string>& maps, const char* mode) {
    SmallDemo demo;
    write_file(demo.dir.file("data/model.3ds"), bytes);
    for (const std::string& name : maps) write_file(demo.dir.file("data/" + name), small_bmp());
    demo.section(std::string("[camera]\nstart 0\nend 1\n[object]\nstart 0\nend 1\nlayer 1\nstring ") + mode +
                 "\nstring data/\nstring model.3ds\nparam 1 0 1 1 1 0 1\n");
    return demo.run_limited();
}

// Each model cut short at several lengths and with bytes flipped at several seeds; the first
// run plays the intact model, which must play to its end.
void damage_model(Tally& tally, const std::string& label, const std::string& model, uint32_t seed) {
    std::vector<std::string> maps = map_names(model);
    const char* modes[] = {"Flat", "Shaded", "Texture", "Wireframe"};
    PlayerResult intact = run_model(model, maps, "Texture");
    tally.check(intact, label + " intact");
    EXPECT_EQ(intact.exit_status, 0) << label << " intact\n" << intact.err;

    const size_t cuts[] = {3, model.size() / 3, model.size() - 1};
    for (size_t cut : cuts) {
        if (cut >= model.size()) continue;
        tally.check(run_model(model.substr(0, cut), maps, modes[cut % 4]),
                    label + " cut at " + std::to_string(cut));
    }
    for (uint32_t k = 0; k < 3; ++k) {
        // Past the main chunk's header, so that the flips reach the chunks inside.
        tally.check(run_model(flipped(model, seed + k, 1 + 3 * static_cast<int>(k), 6), maps, modes[k]),
                    label + " flipped, seed " + std::to_string(seed + k));
    }
}

std::vector<fs::path> assimp_models() {
    std::vector<fs::path> models;
    const fs::path roots[] = {"/usr/share/assimp/models/3DS", "/usr/share/assimp-testmodels"};
    for (const fs::path& root : roots) {
        std::error_code ec;
        for (const auto& entry : fs::recursive_directory_iterator(root, ec)) {
            std::string ext = entry.path().extension().string();
            if (entry.is_regular_file() && (ext == ".3ds" || ext == ".3DS") && entry.file_size() > 0)
                models.push_back(entry.path());
        }
        if (!models.empty()) break;
    }
    std::sort(models.begin(), models.end());
    return models;
}

// --- Zip archives ---

// A zip of stored entries, written by hand so that every field of its central directory is
// known and can be damaged on purpose.
struct Zip {
    std::string bytes;
    size_t central = 0;           // offset of the central directory
    std::vector<size_t> entries;  // offsets of its entries
    size_t end_record = 0;        // offset of the end-of-directory record
};

Zip zip_stored(const std::vector<std::pair<std::string, std::string>>& files) {
    Zip zip;
    std::vector<size_t> local;
    for (const auto& [name, data] : files) {
        local.push_back(zip.bytes.size());
        append32(zip.bytes, 0x04034b50);
        append16(zip.bytes, 20);
        append16(zip.bytes, 0);
        append16(zip.bytes, 0);  // stored
        append16(zip.bytes, 0);
        append16(zip.bytes, 0x21);
        append32(zip.bytes, media::crc32(data));
        append32(zip.bytes, static_cast<uint32_t>(data.size()));
        append32(zip.bytes, static_cast<uint32_t>(data.size()));
        append16(zip.bytes, static_cast<uint32_t>(name.size()));
        append16(zip.bytes, 0);
        zip.bytes += name + data;
    }
    zip.central = zip.bytes.size();
    for (size_t i = 0; i < files.size(); ++i) {
        const auto& [name, data] = files[i];
        zip.entries.push_back(zip.bytes.size());
        append32(zip.bytes, 0x02014b50);
        append16(zip.bytes, 20);
        append16(zip.bytes, 20);
        append16(zip.bytes, 0);
        append16(zip.bytes, 0);
        append16(zip.bytes, 0);
        append16(zip.bytes, 0x21);
        append32(zip.bytes, media::crc32(data));
        append32(zip.bytes, static_cast<uint32_t>(data.size()));
        append32(zip.bytes, static_cast<uint32_t>(data.size()));
        append16(zip.bytes, static_cast<uint32_t>(name.size()));
        append16(zip.bytes, 0);
        append16(zip.bytes, 0);
        append16(zip.bytes, 0);
        append16(zip.bytes, 0);
        append32(zip.bytes, 0);
        append32(zip.bytes, static_cast<uint32_t>(local[i]));
        zip.bytes += name;
    }
    zip.end_record = zip.bytes.size();
    append32(zip.bytes, 0x06054b50);
    append16(zip.bytes, 0);
    append16(zip.bytes, 0);
    append16(zip.bytes, static_cast<uint32_t>(files.size()));
    append16(zip.bytes, static_cast<uint32_t>(files.size()));
    append32(zip.bytes, static_cast<uint32_t>(zip.end_record - zip.central));
    append32(zip.bytes, static_cast<uint32_t>(zip.central));
    append16(zip.bytes, 0);
    return zip;
}

// The archive media.dat holds a script showing a picture of the same archive, and a spline.
Zip media_archive() {
    std::string rgb = solid_rgb(4, 4, 200, 30, 30);
    std::string tga(18, '\0');
    tga[2] = 2;
    tga[12] = 4;
    tga[14] = 4;
    tga[16] = 24;
    for (size_t i = 0; i < rgb.size(); i += 3) tga += {rgb[i + 2], rgb[i + 1], rgb[i]};
    return zip_stored({
        {"scene.tvl", "[background]\nstart 0\nend 1\nstring media/pic.tga\n"},
        {"pic.tga", tga},
        {"dir/", ""},
        {"move.spl", "0 0 0\n1 1 1\n"},
    });
}

PlayerResult run_archive(const std::string& bytes) {
    SmallDemo demo;
    write_file(demo.dir.file("media.dat"), bytes);
    return demo.run_limited();
}

// --- Images ---

std::string tga_header(int type, int width, int height, int depth) {
    std::string h(18, '\0');
    h[2] = static_cast<char>(type);
    put16(h, 12, static_cast<uint32_t>(width));
    put16(h, 14, static_cast<uint32_t>(height));
    h[16] = static_cast<char>(depth);
    return h;
}

std::string bmp_header(int32_t width, int32_t height, int bits) {
    std::string bmp = "BM";
    append32(bmp, 0);
    append32(bmp, 0);
    append32(bmp, 54);
    append32(bmp, 40);
    append32(bmp, static_cast<uint32_t>(width));
    append32(bmp, static_cast<uint32_t>(height));
    append16(bmp, 1);
    append16(bmp, static_cast<uint32_t>(bits));
    for (int i = 0; i < 6; ++i) append32(bmp, 0);
    return bmp;
}

// A baseline JPEG header up to its frame: SOI, then SOF0 for 8-bit, three components.
std::string jpeg_frame(int width, int height) {
    std::string j = "\xFF\xD8\xFF\xC0";
    j += {0, 17, 8};
    j += {static_cast<char>(height >> 8), static_cast<char>(height & 0xFF)};
    j += {static_cast<char>(width >> 8), static_cast<char>(width & 0xFF)};
    j += {3, 1, 0x11, 0, 2, 0x11, 0, 3, 0x11, 0};
    return j;
}

PlayerResult run_picture(const std::string& name, const std::string& bytes) {
    SmallDemo demo;
    write_file(demo.dir.file("data/" + name), bytes);
    demo.background("data/" + name, 0, 1, 1);
    return demo.run_limited();
}

// --- Scripts and splines ---

std::string random_bytes(uint32_t seed, size_t size) {
    Lcg rng{seed};
    std::string out(size, '\0');
    for (char& c : out) c = static_cast<char>(rng.next() & 0xFF);
    return out;
}

// Lines made of the language's own words, numbers and stray bytes, so that the parser gets
// further than the first line.
std::string random_script(uint32_t seed, int lines) {
    const char* words[] = {
        "[image]",  "[background]", "[camera]", "[efxFader]", "start", "end",   "layer", "sync",
        "param",    "spline",       "string",   "blend",      "alpha", "float", "curve", "s",
        "demo_end", "record",       "{",        "}",          ";"};
    const char* values[] = {"0",
                            "1",
                            "-1",
                            "0.5",
                            "1e39",
                            "nan",
                            "SRC_ALPHA ONE",
                            "LESS 0.2",
                            "{1, 2, 3}",
                            "data/none.tga",
                            "x.spl 2",
                            "99999999999999999999"};
    Lcg rng{seed};
    // Opening with a header keeps the first lines from being refused as unknown variables.
    std::string out = words[rng.next() % 4];
    out += "\n";
    for (int i = 0; i < lines; ++i) {
        uint32_t r = rng.next();
        out += words[r % std::size(words)];
        if (r & 0x100) out += std::string(1 + (r >> 9) % 3, ' ') + values[(r >> 12) % std::size(values)];
        if ((r & 0xF000) == 0) out += static_cast<char>(rng.next() & 0xFF);
        out += (r & 0x10000) != 0 ? "\r\n" : "\n";
    }
    return out;
}

PlayerResult run_script(const std::string& text) {
    SmallDemo demo;
    write_file(demo.dir.file("extra.tvl"), text);
    return demo.run_limited();
}

// A camera section with two splines uses neither for its view, so a spline file of any shape
// is loaded and timed without the section refusing it.
PlayerResult run_spline(const std::string& text) {
    SmallDemo demo;
    write_file(demo.dir.file("data/big.spl"), text);
    demo.section("[camera]\nstart 0\nend 1\nspline data/big.spl 1\nspline data/big.spl 1\n");
    return demo.run_limited();
}

}  // namespace

TEST(Malformed, ModelsFromOurGeneratorCutShortAndFlipped) {
    Tally tally{"generated 3DS"};
    MaterialDraft material;
    material.name = "skin";
    material.map_name = "skin.tga";
    damage_model(tally, "cube", mesh_write_3ds({material}, {mesh_draft_cube("Cube", 2, "skin")}), 11);
    material.map_name.clear();
    damage_model(tally, "torus",
                 mesh_write_3ds({material}, {mesh_draft_torus("Torus", 1.5f, 0.5f, 12, 8, "skin")}), 23);
    EXPECT_EQ(tally.by_signal, 0);
}

TEST(Malformed, ModelsFromAssimpTestModelsCutShortAndFlipped) {
    std::vector<fs::path> models = assimp_models();
    if (models.empty()) GTEST_SKIP() << "assimp-testmodels is not installed";
    Tally tally{"assimp 3DS"};
    uint32_t seed = 101;
    for (const fs::path& path : models) {
        damage_model(tally, path.filename().string(), read_file(path.string()), seed);
        seed += 10;
    }
    EXPECT_EQ(tally.by_signal, 0);
}

TEST(Malformed, ArchivesWithBrokenCentralDirectories) {
    Tally tally{"zip archives"};
    const Zip good = media_archive();

    SmallDemo control;
    write_file(control.dir.file("media.dat"), good.bytes);
    PlayerResult intact = control.run_limited();
    tally.check(intact, "intact archive");
    ASSERT_EQ(intact.exit_status, 0) << intact.err;
    // The archive's picture reached the frame: its script and its image were read through it.
    EXPECT_EQ(colour_at(control.frame(0), 0.5f, 0.5f), (Rgb{200, 30, 30}));

    struct Damage {
        const char* what;
        std::string bytes;
    };
    std::vector<Damage> damages;
    auto with = [&](const char* what, auto change) {
        std::string b = good.bytes;
        change(b);
        damages.push_back({what, b});
    };
    with("entry count 65535", [&](std::string& b) {
        put16(b, good.end_record + 8, 0xFFFF);
        put16(b, good.end_record + 10, 0xFFFF);
    });
    with("directory offset past the end",
         [&](std::string& b) { put32(b, good.end_record + 16, 0x7FFFFFF0); });
    with("directory size past the end", [&](std::string& b) { put32(b, good.end_record + 12, 0xFFFFFF00); });
    with("directory size 0", [&](std::string& b) { put32(b, good.end_record + 12, 0); });
    with("name length 65535", [&](std::string& b) { put16(b, good.entries[0] + 28, 0xFFFF); });
    with("extra length past the directory", [&](std::string& b) { put16(b, good.entries[1] + 30, 0xFFF0); });
    with("local header offset past the end",
         [&](std::string& b) { put32(b, good.entries[1] + 42, 0xFFFFFFF0); });
    with("sizes of 4 GB, deflated", [&](std::string& b) {
        put16(b, good.entries[1] + 10, 8);
        put32(b, good.entries[1] + 20, 0xFFFFFFFF);
        put32(b, good.entries[1] + 24, 0xFFFFFFFF);
    });
    with("unknown method", [&](std::string& b) { put16(b, good.entries[0] + 10, 99); });
    with("entry signature broken", [&](std::string& b) { b[good.entries[2]] = 'X'; });
    with("entry named ../ab.tvl", [&](std::string& b) {
        // As long as "scene.tvl": the central name is replaced in place.
        b.replace(good.entries[0] + 46, 9, "../ab.tvl");
    });
    damages.push_back({"directory cut off", good.bytes.substr(0, good.entries[1] + 10)});
    damages.push_back({"end record only", good.bytes.substr(good.end_record)});
    for (uint32_t seed = 0; seed < 4; ++seed) {
        damages.push_back({"directory flipped", flipped(good.bytes, 500 + seed, 6, good.central)});
    }
    for (const Damage& d : damages) tally.check(run_archive(d.bytes), d.what);
    EXPECT_EQ(tally.by_signal, 0);
}

TEST(Malformed, ImagesWithAbsurdSizes) {
    Tally tally{"images"};
    struct Picture {
        const char* name;
        std::string bytes;
    };
    std::string packets;
    for (int i = 0; i < 64; ++i) packets += "\xFF\x10\x20\x30";
    const Picture pictures[] = {
        {"huge.tga", tga_header(2, 65535, 65535, 24) + std::string(300, '\x40')},
        {"huge_rle.tga", tga_header(10, 65535, 65535, 24) + packets},
        {"huge32.tga", tga_header(2, 65535, 65535, 32) + std::string(300, '\x40')},
        {"tall.tga", tga_header(2, 10000, 65535, 24) + std::string(300, '\x40')},
        {"tall_rle.tga", tga_header(10, 10000, 65535, 24) + packets},
        {"tall.bmp", bmp_header(10000, 65535, 24) + std::string(300, '\x40')},
        {"wide.tga", tga_header(2, 65535, 2, 24) + std::string(65535 * 6, '\x40')},
        {"empty.tga", tga_header(2, 0, 0, 24)},
        {"cut.tga", tga_header(2, 64, 64, 24) + std::string(64 * 10 * 3, '\x40')},
        {"huge.bmp", bmp_header(65535, 65535, 24) + std::string(300, '\x40')},
        {"negative.bmp", bmp_header(-65535, INT32_MIN, 24) + std::string(300, '\x40')},
        {"huge.jpg", jpeg_frame(65500, 65500) + "\xFF\xD9"},
        {"zero.jpg", jpeg_frame(0, 0) + "\xFF\xD9"},
    };
    for (const Picture& p : pictures) {
        PlayerResult r = run_picture(p.name, p.bytes);
        tally.check(r, p.name);
    }
    EXPECT_EQ(tally.by_signal, 0);
}

TEST(Malformed, ScriptsOfRandomBytes) {
    Tally tally{"scripts"};
    for (uint32_t seed = 1; seed <= 4; ++seed) {
        tally.check(run_script(random_bytes(seed, 3000)), "random bytes, seed " + std::to_string(seed));
    }
    for (uint32_t seed = 1; seed <= 6; ++seed) {
        tally.check(run_script(random_script(seed * 7919, 60)), "random words, seed " + std::to_string(seed));
    }
    EXPECT_EQ(tally.by_signal, 0);
}

TEST(Malformed, SplinesOfHugeShapes) {
    Tally tally{"splines"};
    std::string columns;
    for (int i = 0; i < 10000; ++i) columns += std::to_string(i % 10) + " ";
    tally.check(run_spline(columns + "\n"), "10,000 columns");
    std::string commas(10000, ',');
    tally.check(run_spline("1" + commas + "2\n3" + commas + "4\n"), "10,000 separators");

    std::string lines;
    lines.reserve(2000000);
    for (int i = 0; i < 1000000; ++i) lines += static_cast<char>('0' + i % 10), lines += '\n';
    PlayerResult million = run_spline(lines);
    tally.check(million, "1,000,000 lines");
    EXPECT_EQ(million.exit_status, 0) << million.err;
    lines += "1 2\n";
    tally.check(run_spline(lines), "1,000,000 lines, the last with two channels");
    EXPECT_EQ(tally.by_signal, 0);
}
