// A strict reader for the 24-bit TGA files the player writes: raw (type 2) and run-length
// encoded (type 10). Header-only so that unit and end-to-end tests can both use it.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

struct TgaPicture {
    int type = 0;
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;  // R, G, B; bottom row first, as stored
    // The pixel at column x, row y counted from the bottom.
    std::array<uint8_t, 3> at(int x, int y) const {
        size_t i = (static_cast<size_t>(y) * width + x) * 3;
        return {rgb[i], rgb[i + 1], rgb[i + 2]};
    }
};

// Decodes `bytes`; returns "" when the file is well formed, or what is wrong with it. Besides the
// format's own rules, encoded files must be canonical: packets of at most 127 pixels, runs of at
// least two pixels and as long as they can be, raw packets holding no pixel equal to its successor
// and ending only where a run begins, at the 127-pixel limit or at the end of the picture.
inline std::string tga_decode(const std::string& bytes, TgaPicture& out) {
    if (bytes.size() < 18) return "shorter than a header";
    auto u8 = [&](size_t i) { return static_cast<uint8_t>(bytes[i]); };
    for (size_t i : {0, 1, 3, 4, 5, 6, 7, 8, 9, 10, 11, 17}) {
        if (u8(i) != 0) return "header byte " + std::to_string(i) + " is not 0";
    }
    if (u8(16) != 24) return "pixel depth is not 24";
    out.type = u8(2);
    out.width = u8(12) | (u8(13) << 8);
    out.height = u8(14) | (u8(15) << 8);
    size_t pixels = static_cast<size_t>(out.width) * out.height;
    out.rgb.assign(pixels * 3, 0);
    auto put = [&](size_t index, size_t at) {
        out.rgb[index * 3] = u8(at + 2);
        out.rgb[index * 3 + 1] = u8(at + 1);
        out.rgb[index * 3 + 2] = u8(at);
    };
    if (out.type == 2) {
        if (bytes.size() != 18 + pixels * 3) return "raw data of the wrong size";
        for (size_t i = 0; i < pixels; ++i) put(i, 18 + i * 3);
        return "";
    }
    if (out.type != 10) return "image type " + std::to_string(out.type);

    struct Packet {
        bool run;
        size_t first, count;
    };
    std::vector<Packet> packets;
    size_t pos = 18;
    size_t done = 0;
    while (done < pixels) {
        if (pos >= bytes.size()) return "data ends after " + std::to_string(done) + " pixels";
        uint8_t head = u8(pos++);
        size_t count = (head & 0x7F) + 1u;
        bool run = (head & 0x80) != 0;
        if (count > 127) return "packet of 128 pixels";
        if (done + count > pixels) return "packet runs past the picture";
        size_t need = run ? 3 : count * 3;
        if (pos + need > bytes.size()) return "packet cut short";
        for (size_t k = 0; k < count; ++k) put(done + k, run ? pos : pos + k * 3);
        packets.push_back({run, done, count});
        pos += need;
        done += count;
    }
    if (pos != bytes.size()) return "bytes after the last packet";

    auto same = [&](size_t a, size_t b) { return std::memcmp(&out.rgb[a * 3], &out.rgb[b * 3], 3) == 0; };
    for (const Packet& p : packets) {
        size_t end = p.first + p.count;
        bool capped = p.count == 127;
        if (p.run) {
            if (p.count < 2) return "run of one pixel at " + std::to_string(p.first);
            if (!capped && end < pixels && same(p.first, end))
                return "run stops early at " + std::to_string(p.first);
        } else {
            for (size_t i = p.first; i < end; ++i) {
                bool last = i + 1 == end;
                if (i + 1 < pixels && same(i, i + 1) && !(last && capped)) {
                    return "raw packet holds a repeated pixel at " + std::to_string(i);
                }
            }
            if (!capped && end < pixels && !(end + 1 < pixels && same(end, end + 1))) {
                return "raw packet stops early at " + std::to_string(p.first);
            }
        }
    }
    return "";
}
