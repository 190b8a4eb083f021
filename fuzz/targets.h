// One function per reader of outside data, shared by the libFuzzer harnesses and the unit test
// that replays the inputs kept under tests/regressions/<reader>/. Each runs one input in the
// current working directory (a scratch directory the caller owns), with fatal errors thrown as
// FatalError, and returns "" or the broken promise it saw. A clean fatal message is a sound
// answer to a bad file; a crash, a sanitizer report or a broken promise is a finding.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "../tools/media/tga_reader.h"
#include "base/io.h"
#include "runtime/capture.h"
#include "runtime/registry.h"
#include "inspect/check.h"
#include "lsp/lsp.h"
#include "maker/maker_commands.h"
#include "maker/maker_files.h"
#include "base/config.h"
#include "base/error.h"
#include "resources/files.h"
#include "resources/mesh.h"
#include "resources/spline.h"
#include "resources/texture.h"
#include "script/parser.h"
#include "script/section.h"
#include "audio/audio_decoder.h"

namespace fuzz {

// Leaks inside the audio libraries when they give up on a damaged file, let pass by
// LeakSanitizer in the harnesses and the replay. Each happens once per failed open, and a
// failed open of the music ends the player. Inputs for both are kept under
// tests/regressions/music/.
// - libsndfile leaks a Vorbis decoder state on some damaged Ogg files.
// - libvorbisfile leaks a small block allocated under ov_test_open when it gives up on some
//   damaged Ogg Vorbis files; ov_clear does not free it. The library is built without frame
//   pointers, so the quick stack of that block names only the library, not the function.
inline constexpr const char* library_leaks =
    "leak:vorbis_info_init\n"
    "leak:libvorbisfile.so\n";

inline bool write_input(const char* path, const uint8_t* data, size_t size) {
    FILE* f = std::fopen(path, "wb");
    if (f == nullptr) return false;
    bool ok = size == 0 || std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && ok;
}

inline std::string read_whole(const char* path) {
    std::string out;
    path_read_all(path, out);
    return out;
}

// What the parser promises about every section it made, whatever the script held.
inline std::string check_sections(const SectionList& sections) {
    for (const Section* s = sections.head; s != nullptr; s = s->next) {
        if (s->type < 0 || s->type >= SECTION_TYPE_COUNT) return "section type out of the registry";
        if (s->sync_count < 0 || s->sync_count > SECTION_MAX_SYNCS) return "sync count out of range";
        if (s->param_count < 0 || s->param_count > SECTION_MAX_PARAMS) return "param count out of range";
        if (s->string_count < 0 || s->string_count > SECTION_MAX_STRINGS) return "string count out of range";
        if (s->spline_count < 0 || s->spline_count > SECTION_MAX_SPLINES) return "spline count out of range";
        if (s->start < 0) return "negative start accepted";
        if (s->end != 0 && !(s->duration > 0)) return "end accepted without a positive duration";
    }
    return "";
}

// Scripts: line reader, splitter, keywords, vectors and configuration assignments.
inline std::string run_script(const uint8_t* data, size_t size) {
    if (!write_input("input.tvl", data, size)) return "cannot write the input";
    SectionList sections;
    Config settings;
    std::string problem;
    try {
        script_parse("./input.tvl", sections, {section_types, settings});
        problem = check_sections(sections);  // after a fatal error the half-made section is never used
    } catch (const FatalError&) {
    }
    return problem;
}

// The checker (tarvel --check) over one script beside a picture, a spline, a mesh file and a
// sound file the script may name: every problem is collected, none ends the program; the report
// has a line per problem and then the count.
inline std::string run_check(const uint8_t* data, size_t size) {
    if (!write_input("input.tvl", data, size)) return "cannot write the input";
    static const std::pair<const char*, std::string> beside[] = {
        {"a.tga", std::string("\0\0\2\0\0\0\0\0\0\0\0\0\1\0\1\0\30\0\377\200\0", 21)},
        {"a.spl", "0 0 0 1\n1 2 3 4\n"},
        {"a.3ds", "MM"},
        {"a.wav", "RIFF"}};
    for (const auto& [name, bytes] : beside) {
        if (!write_input(name, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()))
            return "cannot write the input";
    }
    std::vector<CheckProblem> problems;
    try {
        problems = demo_check(true);
    } catch (const FatalError& e) {
        return "the check ended the program: " + e.message;
    }
    char* text = nullptr;
    size_t length = 0;
    std::FILE* out = open_memstream(&text, &length);
    if (out == nullptr) return "";
    check_report(problems, out);
    std::fclose(out);
    const std::string report(text, length);
    std::free(text);
    if (static_cast<size_t>(std::count(report.begin(), report.end(), '\n')) != problems.size() + 1)
        return "the report is not a line per problem and the count";
    int errors = -1, warnings = -1;
    const size_t last = report.rfind('\n', report.size() - 2);
    const std::string tail = report.substr(last == std::string::npos ? 0 : last + 1);
    if (std::sscanf(tail.c_str(), "%d errors, %d warnings", &errors, &warnings) != 2)
        return "no count at the end";
    const auto count = [&](Severity s) {
        return std::count_if(problems.begin(), problems.end(),
                             [&](const CheckProblem& p) { return p.severity == s; });
    };
    if (errors != count(Severity::Error) || warnings != count(Severity::Warning)) return "the count is wrong";
    return "";
}

// Spline files: parsing, key timing and evaluation over and past the keys.
inline std::string run_spline(const uint8_t* data, size_t size) {
    if (!write_input("input.spl", data, size)) return "cannot write the input";
    try {
        std::unique_ptr<Spline> spline(spline_load("input.spl"));
        if (spline->key_count < 1 || spline->key_count != static_cast<int>(spline->keys.size()))
            return "key count disagrees with the keys";
        if (spline->channels < 1 || spline->channels > SPLINE_MAX_CHANNELS)
            return "channel count out of range";
        bool moderate = true;
        for (const SplineKey& key : spline->keys) {
            for (int i = 0; i < spline->channels; ++i)
                moderate = moderate && std::fabs(key.values[i]) <= 1e6f;
        }
        const float durations[] = {0.0f, 1.0f, 7.5f, INFINITY};
        for (float d : durations) {
            spline_set_duration(spline.get(), d);
            float out[SPLINE_MAX_CHANNELS];
            for (float t = -1.0f; t <= 9.0f; t += 0.75f) {
                if (spline_eval(spline.get(), out, t) != spline->channels) return "eval count differs";
            }
            // Past the end the last key holds (tangents of huge values may overflow: not checked).
            spline_eval(spline.get(), out, 100.0f);
            const SplineKey& last = spline->keys.back();
            for (int i = 0; i < spline->channels && moderate; ++i) {
                if (out[i] != last.values[i]) return "the last key does not hold after the end";
            }
        }
    } catch (const FatalError&) {
    }
    return "";
}

// 3DS files: the chunk walker, materials and the normals computed from what it read. Material
// textures are named but not loaded, so the map names are only counted.
inline int count_texture(const char* path) {
    return path[0] != '\0' ? 0 : -1;
}
inline std::string run_mesh(const uint8_t* data, size_t size) {
    Mesh mesh;
    try {
        if (!mesh_parse(data, size, "", mesh, count_texture)) return "";
        mesh_compute_normals(mesh);
    } catch (const FatalError&) {
        return "";
    }
    if (mesh.object_count != static_cast<int>(mesh.objects.size())) return "object count disagrees";
    for (const MeshObject& o : mesh.objects) {
        if (o.face_count != static_cast<int>(o.faces.size())) return "face count disagrees";
        if (o.vertex_count != static_cast<int>(o.vertices.size())) return "vertex count disagrees";
        if (static_cast<size_t>(o.texcoord_count) * 2 != o.texcoords.size())
            return "texcoord count disagrees";
        if (std::memchr(o.name, 0, sizeof o.name) == nullptr) return "object name without its NUL";
        for (const MeshFace& f : o.faces) {
            for (uint16_t c : f.corners) {
                if (c >= o.vertices.size()) return "corner out of range accepted";
            }
            if (f.material != nullptr && std::memchr(f.material->name, 0, MESH_NAME_SIZE) == nullptr)
                return "material name without its NUL";
        }
    }
    // The draw code walks the material list both ways.
    size_t count = 0;
    for (const Material* m = mesh.materials; m != nullptr; m = m->next) {
        if (m->next != nullptr && m->next->prev != m) return "material list links disagree";
        if (++count > mesh.material_storage.size()) return "material list longer than its storage";
    }
    return "";
}

// Keeps the pixel reads below from being optimised away.
inline volatile unsigned pixel_sink = 0;

// Images: decoding through the archive-aware bridge and scaling to the detail limit. The first
// byte picks the extension (TGA is chosen only by extension) and the detail level; the rest is
// the file.
inline std::string run_image(const uint8_t* data, size_t size) {
    if (size < 1) return "";
    const char* names[] = {"input.tga", "input.bmp", "input.jpg", "input.TGA"};
    const char* name = names[data[0] & 3];
    const int detail = (data[0] >> 2) % 7 - 1;  // -1 .. 5
    if (!write_input(name, data + 1, size - 1)) return "cannot write the input";
    std::string problem;
    try {
        int handle = texture_load(name, detail);
        const Texture* t = texture_get(handle);
        int limit = texture_detail_limit(detail);
        if (t == nullptr || t->pixels == nullptr) {
            problem = "loaded texture without pixels";
        } else if (t->width < 1 || t->height < 1 || t->width > limit || t->height > limit) {
            problem = "texture size outside 1 .. the detail limit";
        } else if (t->components != 3 && t->components != 4) {
            problem = "texture neither 24 nor 32 bits";
        } else {
            // Touch every byte the upload will read, so that a short buffer shows.
            size_t bytes = texture_row_bytes(t->width, t->components) * static_cast<size_t>(t->height);
            unsigned sum = 0;
            for (size_t i = 0; i < bytes; ++i) sum += t->pixels[i];
            pixel_sink = sum;
        }
    } catch (const FatalError&) {
    }
    texture_table_reset();
    return problem;
}

// Zip archives through the file layer: directory walking, script discovery and reads.
inline std::string run_archive(const uint8_t* data, size_t size) {
    if (!write_input("data.dat", data, size)) return "cannot write the input";
    std::string problem;
    {
        SectionList sections;
        Config settings;
        try {
            script_discover("./data", sections, {section_types, settings});
            problem = check_sections(sections);
        } catch (const FatalError&) {
        }
    }
    // Every entry listed is read to its end or its first error. (zzip_fread reports an error
    // as a huge unsigned count, so the signed zzip_read is used.)
    std::vector<std::string> names;
    {
        ZzipDir dir(dir_open("data"));
        while (dir != nullptr && names.size() < 64) {
            ZZIP_DIRENT* entry = zzip_readdir(dir.get());
            if (entry == nullptr) break;
            names.push_back(entry->d_name);
        }
    }
    for (const std::string& name : names) {
        ZzipFile f(file_open(("data/" + name).c_str()));
        if (f == nullptr) continue;
        char buffer[4096];
        size_t total = 0;
        zzip_ssize_t n;
        while ((n = zzip_read(f.get(), buffer, sizeof buffer)) > 0) {
            if (n > static_cast<zzip_ssize_t>(sizeof buffer)) return "read more than asked";
            total += static_cast<size_t>(n);
            if (total > (size_t{1} << 24)) break;  // enough of one entry
        }
    }
    return problem;
}

// The TGA coder, round trip: the input gives a size, a compress flag and the pixels, tga_write
// writes them, and the strict reader of the tests decodes the file, which must be canonical and
// hold the same pixels. Pixels come either as raw RGB bytes or as indices into a small palette
// whose colours may differ in one channel only, so that runs and near-runs are common.
inline std::string run_tga(const uint8_t* data, size_t size) {
    if (size < 6) return "";
    int width = 1 + (data[0] | data[1] << 8) % 0xFFFF;  // 1 .. 65535
    int limit = std::max(8192 / width, 1);              // keeps width x height small
    int height = 1 + (data[2] | data[3] << 8) % limit;
    uint8_t mode = data[4];
    bool compress = (mode & 1) != 0;
    data += 5;
    size -= 5;

    if ((mode & 0x0E) == 0x0E) {
        // Sizes the header cannot hold are refused without a file.
        const int bad[][2] = {{0, 1}, {1, 0}, {-1, 5}, {65536, 1}, {1, 65536}};
        const int* b = bad[data[0] % 5];
        uint8_t pixel[3] = {1, 2, 3};
        std::remove("round.tga");
        if (tga_write("round.tga", pixel, b[0], b[1], compress)) return "impossible size written";
        if (!read_whole("round.tga").empty() || std::remove("round.tga") == 0)
            return "file left for an impossible size";
        return "";
    }

    size_t pixels = static_cast<size_t>(width) * height;
    std::vector<uint8_t> rgb(pixels * 3);
    if ((mode & 2) != 0 && size >= 2) {
        uint8_t palette[4][3];
        for (int k = 0; k < 4; ++k) {
            palette[k][0] = data[0];
            palette[k][1] = data[1];
            palette[k][2] = static_cast<uint8_t>(k);
        }
        palette[3][0] ^= 1;  // differs from 0 in red only
        for (size_t i = 0; i < pixels; ++i) {
            size_t byte = 2 + i / 4;
            int index = byte < size ? (data[byte] >> ((i % 4) * 2)) & 3 : 0;
            std::memcpy(&rgb[i * 3], palette[index], 3);
        }
    } else {
        for (size_t i = 0; i < rgb.size(); ++i) rgb[i] = size > 0 ? data[i % size] : 0;
    }
    const std::vector<uint8_t> before = rgb;

    if (!tga_write("round.tga", rgb.data(), width, height, compress)) return "write failed";
    if (rgb != before) return "the writer changed its input";
    TgaPicture picture;
    std::string problem = tga_decode(read_whole("round.tga"), picture);
    if (!problem.empty()) return "written file unsound: " + problem;
    if (picture.type != (compress ? 10 : 2)) return "wrong image type";
    if (picture.width != width || picture.height != height) return "wrong size in the header";
    if (picture.rgb != rgb) return "pixels differ after the round trip";
    // The coder alone gives the same packets as the file holds.
    if (compress) {
        std::vector<uint8_t> packets = tga_rle_encode(rgb.data(), pixels);
        std::string file = read_whole("round.tga");
        if (file.compare(TGA_HEADER_SIZE, std::string::npos, reinterpret_cast<const char*>(packets.data()),
                         packets.size()) != 0) {
            return "file and coder disagree";
        }
    }
    return "";
}

// Music files through the decoder the sound layer plays them with: open, read, seek and read
// again. Reads are bounded so that a long or endless song costs a fixed time.
inline std::string run_music(const uint8_t* data, size_t size) {
    AudioDecoderPtr decoder;
    if (decoder_open(data, size, 44100, &decoder) != 0) {
        if (decoder != nullptr) return "failed open left a decoder";
        return "";
    }
    if (decoder == nullptr) return "open succeeded without a decoder";
    constexpr long FRAMES = 2048;
    std::vector<float> out(2 * FRAMES);
    auto read_some = [&]() -> std::string {
        for (int pass = 0; pass < 4; ++pass) {
            long n = decoder_read(*decoder, out.data(), FRAMES);
            if (n < 0 || n > FRAMES) return "read returned more than asked";
            if (n < FRAMES && !decoder_ended(*decoder)) return "short read without the end";
            if (n == 0) break;
        }
        return "";
    };
    std::string problem = read_some();
    const int64_t positions[] = {0, 250, 20000, INT64_MAX / 1000};
    for (int64_t ms : positions) {
        if (!problem.empty()) break;
        int code = decoder_seek_ms(*decoder, ms);
        if (code != 0) continue;  // a damaged file may refuse to seek
        problem = read_some();
    }
    return problem;
}

// One command line of the maker's mode as a console client sends it: parsed with the tempo the
// first byte picks, each command must hold what its kind promises, blanks around the line must
// change nothing, and a screenshot's file goes through the console's write rule in a demo folder
// ("demo/", with a script, a file of the maker's, and a link "out" to a folder beside it): either
// it is refused and nothing changed, or exactly one new file lies inside the folder.
inline std::string run_console_command(const uint8_t* data, size_t size) {
    namespace fs = std::filesystem;
    if (size < 1) return "";
    const Tempo tempos[] = {{}, {120, 4}, {90, 3}, {0.001f, 1}};
    const Tempo tempo = tempos[data[0] % 4];
    const std::string line(reinterpret_cast<const char*>(data + 1), size - 1);
    const MakerCommand c = maker_command_parse(line, tempo);
    const MakerCommand padded = maker_command_parse(" \t" + line + "\t ", tempo);
    if (padded.error != c.error || padded.kind != c.kind || padded.file != c.file ||
        (c.error.empty() && (padded.from != c.from || padded.to != c.to)))
        return "blanks around the line changed the command";
    if (!c.error.empty()) return "";
    auto in_range = [](float t) { return std::isfinite(t) && t >= 0 && t <= 1e7f; };
    switch (c.kind) {
        case MakerCommandKind::Seek:
            if (!in_range(c.from)) return "seek to a time out of range";
            return "";
        case MakerCommandKind::Loop:
            if (!in_range(c.from) || !in_range(c.to) || !(c.to > c.from))
                return "loop out of range or reversed";
            return "";
        case MakerCommandKind::Screenshot:
            break;
        default:
            return "";
    }
    const std::string& file = c.file;
    if (file.empty() || file.front() == ' ' || file.front() == '\t' || file.back() == ' ' ||
        file.back() == '\t' || file.back() == '\r')
        return "screenshot file empty or with blanks around it";

    std::error_code error;
    if (!fs::exists("demo/demo.tvl", error)) {
        fs::create_directories("demo/sub", error);
        fs::create_directories("outside", error);
        fs::create_directory_symlink("../outside", "demo/out", error);
        for (const char* name : {"demo/demo.tvl", "demo/notes.txt"}) {
            const char* text = name[5] == 'd' ? "[loading]\n" : "the maker's";
            write_input(name, reinterpret_cast<const uint8_t*>(text), std::strlen(text));
        }
    }
    auto listing = [&] {
        std::vector<std::string> names;
        for (auto it = fs::recursive_directory_iterator(".", error);
             !error && it != fs::recursive_directory_iterator(); it.increment(error))
            names.push_back(it->path().string());
        std::sort(names.begin(), names.end());
        return names;
    };
    const std::vector<std::string> before = listing();
    if (chdir("demo") != 0) return "";
    WriteGuard guard{fs::canonical(".", error).string(), write_identities({"demo.tvl"}), {}};
    std::string inside_as;
    const std::string refused =
        write_file_guarded(file, {'T', 'G', 'A'}, WriteAsker::Console, guard, inside_as);
    std::string problem;
    if (refused.empty()) {
        const fs::path written = fs::weakly_canonical(inside_as, error);
        if (inside_as.empty() || read_whole(inside_as.c_str()) != "TGA")
            problem = "written, but not where it says";
        else if (written.string().rfind(guard.folder + "/", 0) != 0)
            problem = "written outside the demo folder";
        std::remove(inside_as.c_str());
    } else if (refused.rfind("cannot write '" + file + "': ", 0) != 0) {
        problem = "refused without naming the file";
    }
    if (chdir("..") != 0) std::abort();
    if (!problem.empty()) return problem;
    if (listing() != before) return "the folders changed";
    if (read_whole("demo/demo.tvl") != "[loading]\n" || read_whole("demo/notes.txt") != "the maker's")
        return "a file of the demo or the maker's changed";
    return "";
}

// The language server on one session: an initialize serving the working directory, then the
// input, as it is when it starts with a header, else each part between NUL bytes framed as a
// message body. Everything it answers must be framed JSON.
inline std::string run_lsp(const uint8_t* data, size_t size) {
    auto framed = [](const std::string& body) {
        return "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
    };
    char cwd[4096];
    if (getcwd(cwd, sizeof cwd) == nullptr) return "cannot tell the working directory";
    std::string session =
        framed(std::string(R"({"jsonrpc":"2.0","id":0,"method":"initialize","params":{"rootUri":"file://)") +
               cwd + "\"}}");
    const std::string input(reinterpret_cast<const char*>(data), size);
    if (input.rfind("Content-Length", 0) == 0) {
        session += input;
    } else {
        for (size_t at = 0; at <= input.size();) {
            const size_t end = std::min(input.find('\0', at), input.size());
            session += framed(input.substr(at, end - at));
            at = end + 1;
        }
    }
    if (!write_input("lsp.in", reinterpret_cast<const uint8_t*>(session.data()), session.size()))
        return "cannot write the input";
    const int in = open("lsp.in", O_RDONLY | O_CLOEXEC);
    const int out = open("lsp.out", O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const int here = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (in < 0 || out < 0 || here < 0) return "cannot open the session's files";
    lsp_serve(in, out);
    close(in);
    close(out);
    // The server moves to the folder it serves.
    const bool back = fchdir(here) == 0;
    close(here);
    if (!back) return "cannot go back to the working directory";
    const std::string answers = read_whole("lsp.out");
    for (size_t at = 0; at < answers.size();) {
        const size_t colon = answers.find(':', at), body = answers.find("\r\n\r\n", at);
        if (answers.compare(at, 16, "Content-Length: ") != 0 || colon == std::string::npos ||
            body == std::string::npos)
            return "an answer without its header";
        const size_t length = std::strtoull(answers.c_str() + colon + 1, nullptr, 10);
        if (body + 4 + length > answers.size()) return "an answer cut short";
        if (!nlohmann::json::accept(answers.substr(body + 4, length))) return "an answer that is not JSON";
        at = body + 4 + length;
    }
    return "";
}

struct Target {
    const char* name;  // the harness is <name>_fuzz, its findings tests/regressions/<name>/
    std::string (*run)(const uint8_t* data, size_t size);
};

inline const Target targets[] = {
    {"script", run_script}, {"spline", run_spline},   {"mesh", run_mesh},
    {"image", run_image},   {"archive", run_archive}, {"tga", run_tga},
    {"music", run_music},   {"check", run_check},     {"console_command", run_console_command},
    {"lsp", run_lsp},
};

}  // namespace fuzz
