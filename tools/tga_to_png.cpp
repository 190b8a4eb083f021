// Converts frames the player recorded (24-bit TGA, raw or run-length encoded) into a PNG file,
// optionally scaled down, for pictures in documentation. Several inputs make one sheet: the
// frames side by side, COLUMNS to a row, with a 2-pixel black gap.
// Usage: tga_to_png [-w WIDTH] [-h HEIGHT] [-c COLUMNS] INPUT.tga... OUTPUT.png
//   -w/-h: size of each frame in the output (box-filtered); one alone keeps the input's aspect.
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/io.h"
#include "tool_help.h"

namespace {

struct Picture {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;  // top row first
};

// Returns "" or what is wrong with the file.
std::string tga_read(const std::string& b, Picture& p) {
    if (b.size() < 18) return "too short";
    auto u8 = [&](size_t i) { return static_cast<uint8_t>(b[i]); };
    int type = u8(2), depth = u8(16);
    if ((type != 2 && type != 10) || depth != 24 || u8(1) != 0) return "not a 24-bit true-colour TGA";
    p.width = u8(12) | (u8(13) << 8);
    p.height = u8(14) | (u8(15) << 8);
    bool top_first = (u8(17) & 0x20) != 0;
    size_t pixels = static_cast<size_t>(p.width) * p.height;
    std::vector<uint8_t> bgr;
    bgr.reserve(pixels * 3);
    size_t pos = 18 + u8(0);
    if (type == 2) {
        if (b.size() < pos + pixels * 3) return "pixel data cut short";
        bgr.assign(b.begin() + static_cast<long>(pos), b.begin() + static_cast<long>(pos + pixels * 3));
    } else {
        while (bgr.size() < pixels * 3) {
            if (pos >= b.size()) return "packets cut short";
            uint8_t head = u8(pos++);
            size_t count = (head & 0x7Fu) + 1;
            size_t need = (head & 0x80) ? 3 : count * 3;
            if (pos + need > b.size() || bgr.size() + count * 3 > pixels * 3) return "packet out of bounds";
            for (size_t k = 0; k < count; ++k) {
                size_t at = (head & 0x80) ? pos : pos + k * 3;
                bgr.insert(bgr.end(), b.begin() + static_cast<long>(at),
                           b.begin() + static_cast<long>(at + 3));
            }
            pos += need;
        }
    }
    p.rgb.resize(pixels * 3);
    for (int y = 0; y < p.height; ++y) {
        int source_row = top_first ? y : p.height - 1 - y;
        for (int x = 0; x < p.width; ++x) {
            size_t s = (static_cast<size_t>(source_row) * p.width + x) * 3;
            size_t d = (static_cast<size_t>(y) * p.width + x) * 3;
            p.rgb[d] = bgr[s + 2];
            p.rgb[d + 1] = bgr[s + 1];
            p.rgb[d + 2] = bgr[s];
        }
    }
    return "";
}

// Box filter: each output pixel averages the input pixels its area covers.
Picture resize(const Picture& in, int w, int h) {
    Picture out;
    out.width = w;
    out.height = h;
    out.rgb.resize(static_cast<size_t>(w) * h * 3);
    for (int y = 0; y < h; ++y) {
        int y0 = y * in.height / h, y1 = std::max(y0 + 1, (y + 1) * in.height / h);
        for (int x = 0; x < w; ++x) {
            int x0 = x * in.width / w, x1 = std::max(x0 + 1, (x + 1) * in.width / w);
            unsigned sum[3] = {0, 0, 0};
            for (int sy = y0; sy < y1; ++sy)
                for (int sx = x0; sx < x1; ++sx)
                    for (int c = 0; c < 3; ++c)
                        sum[c] += in.rgb[(static_cast<size_t>(sy) * in.width + sx) * 3 + c];
            unsigned n = static_cast<unsigned>((y1 - y0) * (x1 - x0));
            for (int c = 0; c < 3; ++c)
                out.rgb[(static_cast<size_t>(y) * w + x) * 3 + c] =
                    static_cast<uint8_t>((sum[c] + n / 2) / n);
        }
    }
    return out;
}

void put32(std::string& s, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) s.push_back(static_cast<char>((v >> shift) & 0xFF));
}

void chunk(std::string& png, const char* type, const std::string& data) {
    put32(png, static_cast<uint32_t>(data.size()));
    std::string body = std::string(type, 4) + data;
    png += body;
    put32(png, static_cast<uint32_t>(
                   crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()))));
}

bool png_write(const char* path, const Picture& p) {
    std::string raw;
    for (int y = 0; y < p.height; ++y) {
        raw.push_back(0);  // no row filter
        raw.append(reinterpret_cast<const char*>(&p.rgb[static_cast<size_t>(y) * p.width * 3]),
                   static_cast<size_t>(p.width) * 3);
    }
    uLongf packed_size = compressBound(static_cast<uLong>(raw.size()));
    std::string packed(packed_size, '\0');
    if (compress2(reinterpret_cast<Bytef*>(packed.data()), &packed_size,
                  reinterpret_cast<const Bytef*>(raw.data()), static_cast<uLong>(raw.size()), 9) != Z_OK)
        return false;
    packed.resize(packed_size);

    std::string png = "\x89PNG\r\n\x1a\n";
    std::string header;
    put32(header, static_cast<uint32_t>(p.width));
    put32(header, static_cast<uint32_t>(p.height));
    header += std::string("\x08\x02\x00\x00\x00", 5);  // 8 bits, RGB, deflate, no filter, no interlace
    chunk(png, "IHDR", header);
    chunk(png, "IDAT", packed);
    chunk(png, "IEND", "");
    FILE* f = std::fopen(path, "wb");
    if (f == nullptr) return false;
    bool ok = std::fwrite(png.data(), 1, png.size(), f) == png.size();
    return std::fclose(f) == 0 && ok;
}

// Frames laid out `columns` to a row; every frame takes the first frame's size.
Picture sheet(const std::vector<Picture>& frames, int columns) {
    const int gap = 2;
    int w = frames[0].width, h = frames[0].height;
    int count = static_cast<int>(frames.size());
    int rows = (count + columns - 1) / columns;
    Picture out;
    out.width = std::min(columns, count) * (w + gap) - gap;
    out.height = rows * (h + gap) - gap;
    out.rgb.assign(static_cast<size_t>(out.width) * out.height * 3, 0);
    for (int k = 0; k < count; ++k) {
        Picture f = frames[k].width == w && frames[k].height == h ? frames[k] : resize(frames[k], w, h);
        int ox = (k % columns) * (w + gap), oy = (k / columns) * (h + gap);
        for (int y = 0; y < h; ++y) {
            std::memcpy(&out.rgb[(static_cast<size_t>(oy + y) * out.width + ox) * 3],
                        &f.rgb[static_cast<size_t>(y) * w * 3], static_cast<size_t>(w) * 3);
        }
    }
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (tool_help(argc, argv, "tga_to_png [-w WIDTH] [-h HEIGHT] [-c COLUMNS] INPUT.tga... OUTPUT.png"))
        return 0;
    int width = 0, height = 0, columns = 0;
    int i = 1;
    for (; i + 1 < argc && argv[i][0] == '-'; i += 2) {
        if (std::strcmp(argv[i], "-w") == 0) {
            width = std::atoi(argv[i + 1]);
        } else if (std::strcmp(argv[i], "-h") == 0) {
            height = std::atoi(argv[i + 1]);
        } else if (std::strcmp(argv[i], "-c") == 0) {
            columns = std::atoi(argv[i + 1]);
        } else {
            break;
        }
    }
    if (argc - i < 2 || width < 0 || height < 0 || columns < 0) {
        std::fprintf(stderr, "usage: %s [-w WIDTH] [-h HEIGHT] [-c COLUMNS] INPUT.tga... OUTPUT.png\n",
                     argv[0]);
        return 2;
    }
    std::vector<Picture> frames;
    for (; i < argc - 1; ++i) {
        std::string bytes;
        Picture picture;
        if (!path_read_all(argv[i], bytes)) {
            std::perror(argv[i]);
            return 1;
        }
        std::string problem = tga_read(bytes, picture);
        if (!problem.empty()) {
            std::fprintf(stderr, "%s: %s\n", argv[i], problem.c_str());
            return 1;
        }
        int w = width, h = height;
        if (w > 0 && h == 0) h = std::max(1, picture.height * w / picture.width);
        if (h > 0 && w == 0) w = std::max(1, picture.width * h / picture.height);
        frames.push_back(w > 0 ? resize(picture, w, h) : picture);
    }
    Picture out = frames.size() == 1 ? frames[0]
                                     : sheet(frames, columns > 0 ? columns : static_cast<int>(frames.size()));
    if (!png_write(argv[argc - 1], out)) {
        std::fprintf(stderr, "%s: cannot write\n", argv[argc - 1]);
        return 1;
    }
    return 0;
}
