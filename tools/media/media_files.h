// Writers for the media the tests and benchmarks feed the player: TGA, BMP, PNG, a small
// baseline JPEG encoder and 16-bit WAV, plus zip archives made with the zip tool. Header-only, so tests,
// tools and benchmarks can share it without build changes.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace media {

// Pixels are given top row first as R, G, B (and A for the 32-bit writers) bytes.
using Bytes = std::string;

inline void put16le(Bytes& b, unsigned v) {
    b += static_cast<char>(v & 0xFF);
    b += static_cast<char>((v >> 8) & 0xFF);
}
inline void put32le(Bytes& b, uint32_t v) {
    put16le(b, v & 0xFFFF);
    put16le(b, v >> 16);
}
// A 16-bit PCM WAV file of `frames` frames; `sample(frame, channel)` gives each sample.
inline Bytes wav(int rate, int channels, int64_t frames, const std::function<int16_t(int64_t, int)>& sample) {
    const auto data_bytes = static_cast<uint32_t>(frames * channels * 2);
    Bytes out = "RIFF";
    put32le(out, 36 + data_bytes);
    out += "WAVEfmt ";
    for (uint32_t v :
         {16u, 1u | channels << 16, uint32_t(rate), uint32_t(rate * channels * 2), 2u * channels | 16u << 16})
        put32le(out, v);
    out += "data";
    put32le(out, data_bytes);
    for (int64_t f = 0; f < frames; ++f)
        for (int c = 0; c < channels; ++c) put16le(out, static_cast<uint16_t>(sample(f, c)));
    return out;
}
inline void put16be(Bytes& b, unsigned v) {
    b += static_cast<char>((v >> 8) & 0xFF);
    b += static_cast<char>(v & 0xFF);
}
inline void put32be(Bytes& b, uint32_t v) {
    put16be(b, v >> 16);
    put16be(b, v & 0xFFFF);
}

inline void save(const std::string& path, const Bytes& data) {
    std::ofstream out(path, std::ios::binary);
    out << data;
}

// A pattern whose every pixel differs from its neighbours, so that a wrong column or row shows.
inline Bytes pattern_rgb(int width, int height) {
    Bytes out;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            out += static_cast<char>(x & 0xFF);
            out += static_cast<char>(y & 0xFF);
            out += static_cast<char>((x * 7 + y * 13) & 0xFF);
        }
    }
    return out;
}

inline Bytes tga_header(int width, int height, int type, int bits, int descriptor) {
    Bytes b(18, '\0');
    b[2] = static_cast<char>(type);
    b[12] = static_cast<char>(width & 0xFF);
    b[13] = static_cast<char>(width >> 8);
    b[14] = static_cast<char>(height & 0xFF);
    b[15] = static_cast<char>(height >> 8);
    b[16] = static_cast<char>(bits);
    b[17] = static_cast<char>(descriptor);
    return b;
}

// Uncompressed true-colour TGA, 24 or 32 bits, rows stored top first.
inline Bytes tga(int width, int height, const Bytes& pixels, int bits) {
    Bytes b = tga_header(width, height, 2, bits, bits == 32 ? 0x28 : 0x20);
    size_t in = static_cast<size_t>(bits / 8);
    for (size_t i = 0; i + in <= pixels.size(); i += in) {
        b += pixels[i + 2];
        b += pixels[i + 1];
        b += pixels[i];
        if (in == 4) b += pixels[i + 3];
    }
    return b;
}

// A 16-bit (5-5-5) TGA of one colour.
inline Bytes tga16(int width, int height) {
    Bytes b = tga_header(width, height, 2, 16, 0x20);
    for (int i = 0; i < width * height; ++i) put16le(b, 0x7C00);
    return b;
}

// An 8-bit colour-mapped TGA with a two-entry palette (red, blue) and alternating indices.
inline Bytes tga_paletted(int width, int height) {
    Bytes b = tga_header(width, height, 1, 8, 0x20);
    b[1] = 1;  // colour map present: two 24-bit entries
    b[5] = 2;
    b[7] = 24;
    b += Bytes("\x00\x00\xFF\xFF\x00\x00", 6);
    for (int i = 0; i < width * height; ++i) b += static_cast<char>(i & 1);
    return b;
}

// BMP, 24-bit or 8-bit with a grey palette (then each pixel's red byte is its index).
inline Bytes bmp(int width, int height, const Bytes& rgb, int bits) {
    int row = ((width * bits / 8) + 3) & ~3;
    uint32_t palette = bits == 8 ? 256 * 4 : 0;
    uint32_t offset = 14 + 40 + palette;
    Bytes b = "BM";
    put32le(b, offset + static_cast<uint32_t>(row) * height);
    put32le(b, 0);
    put32le(b, offset);
    put32le(b, 40);
    put32le(b, static_cast<uint32_t>(width));
    put32le(b, static_cast<uint32_t>(height));
    put16le(b, 1);
    put16le(b, static_cast<unsigned>(bits));
    put32le(b, 0);
    put32le(b, static_cast<uint32_t>(row) * height);
    put32le(b, 2835);
    put32le(b, 2835);
    put32le(b, bits == 8 ? 256 : 0);
    put32le(b, 0);
    for (uint32_t i = 0; i < palette / 4; ++i) {
        for (int k = 0; k < 3; ++k) b += static_cast<char>(i);
        b += '\0';
    }
    for (int y = height - 1; y >= 0; --y) {  // bottom row first
        size_t start = b.size();
        for (int x = 0; x < width; ++x) {
            size_t p = (static_cast<size_t>(y) * width + x) * 3;
            if (bits == 8) {
                b += rgb[p];
            } else {
                b += rgb[p + 2];
                b += rgb[p + 1];
                b += rgb[p];
            }
        }
        while (b.size() - start < static_cast<size_t>(row)) b += '\0';
    }
    return b;
}

inline uint32_t crc32(const Bytes& data, size_t from = 0) {
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = from; i < data.size(); ++i) {
        crc ^= static_cast<unsigned char>(data[i]);
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

// A valid 8-bit PNG whose image data is zlib-wrapped in stored (uncompressed) blocks. The colour
// type sets the bytes a pixel: 0 grey, 2 RGB (the default), 3 palette index (PLTE from `palette`,
// RGB triples, and tRNS from `transparency`, one alpha a palette entry), 4 grey and alpha, 6 RGBA.
inline Bytes png(int width, int height, const Bytes& pixels, int color_type = 2, const Bytes& palette = "",
                 const Bytes& transparency = "") {
    const int channels = color_type == 2 ? 3 : color_type == 4 ? 2 : color_type == 6 ? 4 : 1;
    Bytes raw;
    for (int y = 0; y < height; ++y) {
        raw += '\0';  // filter: none
        raw +=
            pixels.substr(static_cast<size_t>(y) * width * channels, static_cast<size_t>(width) * channels);
    }
    Bytes z = "\x78\x01";
    size_t at = 0;
    do {
        size_t n = raw.size() - at < 65535 ? raw.size() - at : 65535;
        z += static_cast<char>(at + n >= raw.size() ? 1 : 0);
        put16le(z, static_cast<unsigned>(n));
        put16le(z, static_cast<unsigned>(~n & 0xFFFF));
        z += raw.substr(at, n);
        at += n;
    } while (at < raw.size());
    uint32_t a = 1, s = 0;
    for (unsigned char c : raw) {
        a = (a + c) % 65521;
        s = (s + a) % 65521;
    }
    put32be(z, (s << 16) | a);

    auto chunk = [](Bytes& out, const char* type, const Bytes& body) {
        put32be(out, static_cast<uint32_t>(body.size()));
        Bytes typed = Bytes(type, 4) + body;
        out += typed;
        put32be(out, crc32(typed));
    };
    Bytes b = "\x89PNG\r\n\x1A\n";
    Bytes ihdr;
    put32be(ihdr, static_cast<uint32_t>(width));
    put32be(ihdr, static_cast<uint32_t>(height));
    ihdr += Bytes{'\x08', static_cast<char>(color_type), '\0', '\0', '\0'};
    chunk(b, "IHDR", ihdr);
    if (!palette.empty()) chunk(b, "PLTE", palette);
    if (!transparency.empty()) chunk(b, "tRNS", transparency);
    chunk(b, "IDAT", z);
    chunk(b, "IEND", "");
    return b;
}

// Baseline JPEG (4:4:4, quantisation 1) that codes only the DC term of each 8x8 block, so
// every block decodes as one flat colour, the average of the block. Small and exact enough
// for tests: a block of one colour decodes to that colour within rounding.
inline Bytes jpeg(int width, int height, const Bytes& rgb) {
    Bytes b = "\xFF\xD8";
    b += "\xFF\xE0";
    put16be(b, 16);
    b += Bytes("JFIF\0\x01\x01\x00\x00\x01\x00\x01\x00\x00", 14);
    b += "\xFF\xDB";
    put16be(b, 67);
    b += '\0';
    b += Bytes(64, '\x01');
    b += "\xFF\xC0";
    put16be(b, 17);
    b += '\x08';
    put16be(b, static_cast<unsigned>(height));
    put16be(b, static_cast<unsigned>(width));
    b += '\x03';
    for (int c = 1; c <= 3; ++c) b += Bytes{static_cast<char>(c), '\x11', '\0'};
    // DC table: the usual luminance one (categories 0 to 11); AC table: end-of-block only.
    static const unsigned char dc_counts[16] = {0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0};
    b += "\xFF\xC4";
    put16be(b, 2 + 17 + 12 + 17 + 1);
    b += '\x00';
    for (unsigned char n : dc_counts) b += static_cast<char>(n);
    for (int v = 0; v < 12; ++v) b += static_cast<char>(v);
    b += '\x10';
    b += '\x01';
    b += Bytes(15, '\0');
    b += '\0';
    b += "\xFF\xDA";
    put16be(b, 12);
    b += '\x03';
    for (int c = 1; c <= 3; ++c) b += Bytes{static_cast<char>(c), '\0'};
    b += Bytes("\x00\x3F\x00", 3);

    // Canonical codes of the DC table.
    unsigned dc_code[12];
    int dc_len[12];
    unsigned code = 0;
    int symbol = 0;
    for (int len = 1; len <= 16; ++len) {
        for (int k = 0; k < dc_counts[len - 1]; ++k, ++symbol) {
            dc_code[symbol] = code++;
            dc_len[symbol] = len;
        }
        code <<= 1;
    }
    uint32_t acc = 0;
    int nbits = 0;
    auto emit = [&](unsigned value, int len) {
        for (int i = len - 1; i >= 0; --i) {
            acc = (acc << 1) | ((value >> i) & 1u);
            if (++nbits == 8) {
                b += static_cast<char>(acc);
                if (acc == 0xFF) b += '\0';
                acc = 0;
                nbits = 0;
            }
        }
    };
    int previous[3] = {0, 0, 0};
    for (int by = 0; by < height; by += 8) {
        for (int bx = 0; bx < width; bx += 8) {
            double sum[3] = {0, 0, 0};
            int n = 0;
            for (int y = by; y < by + 8 && y < height; ++y) {
                for (int x = bx; x < bx + 8 && x < width; ++x, ++n) {
                    size_t p = (static_cast<size_t>(y) * width + x) * 3;
                    double r = static_cast<unsigned char>(rgb[p]);
                    double g = static_cast<unsigned char>(rgb[p + 1]);
                    double bl = static_cast<unsigned char>(rgb[p + 2]);
                    sum[0] += 0.299 * r + 0.587 * g + 0.114 * bl;
                    sum[1] += -0.168736 * r - 0.331264 * g + 0.5 * bl + 128;
                    sum[2] += 0.5 * r - 0.418688 * g - 0.081312 * bl + 128;
                }
            }
            for (int c = 0; c < 3; ++c) {
                int dc = static_cast<int>(std::lround((sum[c] / n - 128) * 8));
                int diff = dc - previous[c];
                previous[c] = dc;
                int magnitude = diff < 0 ? -diff : diff;
                int category = 0;
                while ((1 << category) <= magnitude) ++category;
                emit(dc_code[category], dc_len[category]);
                if (category > 0) {
                    emit(static_cast<unsigned>(diff >= 0 ? diff : diff + (1 << category) - 1), category);
                }
                emit(0, 1);  // end of block
            }
        }
    }
    if (nbits > 0) emit(0x7F, 8 - nbits);
    b += "\xFF\xD9";
    return b;
}

// Packs the contents of `dir` (recursively, paths relative to it) into a new zip `archive`, under
// exactly that name: the zip tool would add ".zip" to a name without an extension, so it packs
// under a name that has one and the result is renamed.
inline bool zip_directory(const std::string& dir, const std::string& archive) {
    std::string made = archive + ".packing.zip";
    std::string command = "rm -f '" + made + "' && cd '" + dir + "' && zip -q -r -X '" + made +
                          "' . && mv -f '" + made + "' '" + archive + "'";
    return std::system(command.c_str()) == 0;
}

}  // namespace media
