// Writes a small four-channel tracker module (ProTracker "M.K." layout) for tests and
// examples: one looped square-wave instrument playing a rising arpeggio for 32 rows at
// speed 6, tempo 125 (3.84 seconds), then a pattern break that ends the song.
// Usage: make_module OUT.mod
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "tool_help.h"

namespace {

constexpr int ROWS = 64;
constexpr int CHANNELS = 4;
constexpr int SONG_ROWS = 32;
constexpr int WAVE_BYTES = 64;

void put_be16(std::string& out, int v) {
    out.push_back(static_cast<char>((v >> 8) & 0xFF));
    out.push_back(static_cast<char>(v & 0xFF));
}

void put_text(std::string& out, const char* text, size_t width) {
    std::string t(text);
    t.resize(width, '\0');
    out += t;
}

// One pattern cell: instrument, Amiga period, effect and its parameter.
void put_cell(std::string& out, int instrument, int period, int effect, int param) {
    out.push_back(static_cast<char>((instrument & 0xF0) | ((period >> 8) & 0x0F)));
    out.push_back(static_cast<char>(period & 0xFF));
    out.push_back(static_cast<char>(((instrument & 0x0F) << 4) | (effect & 0x0F)));
    out.push_back(static_cast<char>(param & 0xFF));
}

std::string module_bytes() {
    std::string out;
    put_text(out, "tarvel test tune", 20);
    // Instrument 1: a square wave looped over its whole length, full volume.
    put_text(out, "square", 22);
    put_be16(out, WAVE_BYTES / 2);
    out.push_back(0);   // finetune
    out.push_back(64);  // volume
    put_be16(out, 0);
    put_be16(out, WAVE_BYTES / 2);
    for (int i = 1; i < 31; ++i) {
        put_text(out, "", 22);
        put_be16(out, 0);
        out.push_back(0);
        out.push_back(0);
        put_be16(out, 0);
        put_be16(out, 1);
    }
    out.push_back(1);    // song length: one order
    out.push_back(127);  // restart byte
    std::string orders(128, '\0');
    out += orders;
    out += "M.K.";
    // C-2, E-2, G-2, C-3 and back down, a note every two rows on channel 1, a bass note every
    // eight rows on channel 2.
    const int melody[] = {428, 339, 285, 214, 285, 339};
    for (int row = 0; row < ROWS; ++row) {
        for (int ch = 0; ch < CHANNELS; ++ch) {
            int instrument = 0, period = 0, effect = 0, param = 0;
            if (ch == 0 && row % 2 == 0 && row < SONG_ROWS) {
                instrument = 1;
                period = melody[(row / 2) % 6];
            }
            if (ch == 1 && row % 8 == 0 && row < SONG_ROWS) {
                instrument = 1;
                period = 856;
            }
            if (ch == 3 && row == SONG_ROWS - 1) effect = 0xD;  // pattern break: the song ends
            put_cell(out, instrument, period, effect, param);
        }
    }
    for (int i = 0; i < WAVE_BYTES; ++i) out.push_back(static_cast<char>(i < WAVE_BYTES / 2 ? 80 : -80));
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (tool_help(argc, argv, "make_module OUT.mod")) return 0;
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUT.mod\n", argv[0]);
        return 2;
    }
    std::string bytes = module_bytes();
    std::FILE* f = std::fopen(argv[1], "wb");
    if (f == nullptr) {
        std::perror(argv[1]);
        return 1;
    }
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    ok = std::fclose(f) == 0 && ok;
    if (!ok) {
        std::perror(argv[1]);
        return 1;
    }
    return 0;
}
