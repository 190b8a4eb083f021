// Draws the player's font image: 256 x 256 pixels, 16 x 16 cells of 16 pixels, each cell
// showing the character the font's character map gives it, white on black, written as an
// uncompressed 24-bit TGA.
//
// The glyphs are a small pixel font of our own, drawn on a 5 x 8 grid and doubled into the
// cell (10 x 16 pixels, 3 pixels in from the left). Grid rows: 1 to 6 capitals, digits and
// ascenders, 3 to 6 the lower-case body, 7 descenders. Accented letters are built from their
// base letter and an accent drawn at full resolution above it; accented capitals squeeze their
// body into rows 2 to 6 to make room.
//
// Usage: make_font [output.tga]   (default data/fonts/font.tga; directories are created)
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "resources/font.h"
#include "tool_help.h"

namespace {

constexpr int IMAGE_SIDE = 256;
constexpr int CELLS = 16;
constexpr int CELL = IMAGE_SIDE / CELLS;
constexpr int GRID_W = 5;
constexpr int GRID_H = 8;
constexpr int DOT = 2;                               // pixels per grid dot
constexpr int LEFT = (CELL - GRID_W * DOT + 1) / 2;  // 3

using Rows = std::vector<std::string>;  // GRID_H strings of GRID_W characters, '#' = ink

// Rows 0 to 7 of each base glyph; missing trailing rows are blank.
const std::map<unsigned char, Rows>& base_glyphs() {
    static const std::map<unsigned char, Rows> glyphs = {
        {' ', {}},
        {'!', {".....", "..#..", "..#..", "..#..", "..#..", ".....", "..#.."}},
        {'"', {".....", ".#.#.", ".#.#."}},
        {'#', {".....", ".#.#.", "#####", ".#.#.", ".#.#.", "#####", ".#.#."}},
        {'$', {"..#..", ".####", "#.#..", ".###.", "..#.#", "####.", "..#.."}},
        {'%', {".....", "##..#", "##.#.", "..#..", ".#...", "#.##.", "..##."}},
        {'&', {".....", ".##..", "#..#.", ".##..", "#.#.#", "#..#.", ".##.#"}},
        {'\'', {".....", "..#..", "..#..", ".#..."}},
        {'(', {".....", "...#.", "..#..", "..#..", "..#..", "..#..", "...#."}},
        {')', {".....", ".#...", "..#..", "..#..", "..#..", "..#..", ".#..."}},
        {'*', {".....", ".....", "#.#.#", ".###.", "#.#.#"}},
        {'+', {".....", ".....", "..#..", "..#..", "#####", "..#..", "..#.."}},
        {',', {".....", ".....", ".....", ".....", ".....", "..#..", "..#..", ".#..."}},
        {'-', {".....", ".....", ".....", ".....", ".###."}},
        {'.', {".....", ".....", ".....", ".....", ".....", ".....", "..#.."}},
        {'/', {".....", "....#", "...#.", "..#..", "..#..", ".#...", "#...."}},
        {'0', {".....", ".###.", "#..##", "#.#.#", "#.#.#", "##..#", ".###."}},
        {'1', {".....", "..#..", ".##..", "..#..", "..#..", "..#..", ".###."}},
        {'2', {".....", ".###.", "#...#", "...#.", "..#..", ".#...", "#####"}},
        {'3', {".....", "####.", "....#", ".###.", "....#", "....#", "####."}},
        {'4', {".....", "...#.", "..##.", ".#.#.", "#..#.", "#####", "...#."}},
        {'5', {".....", "#####", "#....", "####.", "....#", "#...#", ".###."}},
        {'6', {".....", ".###.", "#....", "####.", "#...#", "#...#", ".###."}},
        {'7', {".....", "#####", "....#", "...#.", "..#..", ".#...", ".#..."}},
        {'8', {".....", ".###.", "#...#", ".###.", "#...#", "#...#", ".###."}},
        {'9', {".....", ".###.", "#...#", "#...#", ".####", "....#", ".###."}},
        {':', {".....", ".....", ".....", "..#..", ".....", ".....", "..#.."}},
        {';', {".....", ".....", ".....", "..#..", ".....", ".....", "..#..", ".#..."}},
        {'<', {".....", ".....", "...#.", "..#..", ".#...", "..#..", "...#."}},
        {'=', {".....", ".....", ".....", "#####", ".....", "#####"}},
        {'>', {".....", ".....", ".#...", "..#..", "...#.", "..#..", ".#..."}},
        {'?', {".....", ".###.", "#...#", "...#.", "..#..", ".....", "..#.."}},
        {'@', {".....", ".###.", "#...#", "#.###", "#.#.#", "#.###", "#....", ".####"}},
        {'A', {".....", ".###.", "#...#", "#...#", "#####", "#...#", "#...#"}},
        {'B', {".....", "####.", "#...#", "####.", "#...#", "#...#", "####."}},
        {'C', {".....", ".###.", "#...#", "#....", "#....", "#...#", ".###."}},
        {'D', {".....", "####.", "#...#", "#...#", "#...#", "#...#", "####."}},
        {'E', {".....", "#####", "#....", "####.", "#....", "#....", "#####"}},
        {'F', {".....", "#####", "#....", "####.", "#....", "#....", "#...."}},
        {'G', {".....", ".###.", "#....", "#.###", "#...#", "#...#", ".####"}},
        {'H', {".....", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"}},
        {'I', {".....", ".###.", "..#..", "..#..", "..#..", "..#..", ".###."}},
        {'J', {".....", "..###", "...#.", "...#.", "...#.", "#..#.", ".##.."}},
        {'K', {".....", "#...#", "#..#.", "###..", "#.#..", "#..#.", "#...#"}},
        {'L', {".....", "#....", "#....", "#....", "#....", "#....", "#####"}},
        {'M', {".....", "#...#", "##.##", "#.#.#", "#...#", "#...#", "#...#"}},
        {'N', {".....", "#...#", "##..#", "#.#.#", "#..##", "#...#", "#...#"}},
        {'O', {".....", ".###.", "#...#", "#...#", "#...#", "#...#", ".###."}},
        {'P', {".....", "####.", "#...#", "#...#", "####.", "#....", "#...."}},
        {'Q', {".....", ".###.", "#...#", "#...#", "#.#.#", "#..#.", ".##.#"}},
        {'R', {".....", "####.", "#...#", "#...#", "####.", "#..#.", "#...#"}},
        {'S', {".....", ".####", "#....", ".###.", "....#", "....#", "####."}},
        {'T', {".....", "#####", "..#..", "..#..", "..#..", "..#..", "..#.."}},
        {'U', {".....", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."}},
        {'V', {".....", "#...#", "#...#", "#...#", "#...#", ".#.#.", "..#.."}},
        {'W', {".....", "#...#", "#...#", "#...#", "#.#.#", "##.##", "#...#"}},
        {'X', {".....", "#...#", ".#.#.", "..#..", "..#..", ".#.#.", "#...#"}},
        {'Y', {".....", "#...#", "#...#", ".#.#.", "..#..", "..#..", "..#.."}},
        {'Z', {".....", "#####", "...#.", "..#..", ".#...", "#....", "#####"}},
        {'[', {".....", ".###.", ".#...", ".#...", ".#...", ".#...", ".###."}},
        {'\\', {".....", "#....", ".#...", "..#..", "..#..", "...#.", "....#"}},
        {']', {".....", ".###.", "...#.", "...#.", "...#.", "...#.", ".###."}},
        {'^', {".....", "..#..", ".#.#.", "#...#"}},
        {'`', {".....", ".#...", "..#.."}},
        {'a', {".....", ".....", ".....", ".###.", "#...#", "#..##", ".##.#"}},
        {'b', {".....", "#....", "#....", "####.", "#...#", "#...#", "####."}},
        {'c', {".....", ".....", ".....", ".####", "#....", "#....", ".####"}},
        {'d', {".....", "....#", "....#", ".####", "#...#", "#...#", ".####"}},
        {'e', {".....", ".....", ".....", ".###.", "#####", "#....", ".####"}},
        {'f', {".....", "..##.", ".#...", "####.", ".#...", ".#...", ".#..."}},
        {'g', {".....", ".....", ".....", ".####", "#...#", ".####", "....#", ".###."}},
        {'h', {".....", "#....", "#....", "####.", "#...#", "#...#", "#...#"}},
        {'i', {".....", "..#..", ".....", ".##..", "..#..", "..#..", ".###."}},
        {'j', {".....", "...#.", ".....", "..##.", "...#.", "...#.", "#..#.", ".##.."}},
        {'k', {".....", "#....", "#....", "#..#.", "###..", "#.#..", "#..#."}},
        {'l', {".....", ".##..", "..#..", "..#..", "..#..", "..#..", ".###."}},
        {'m', {".....", ".....", ".....", "##.#.", "#.#.#", "#.#.#", "#...#"}},
        {'n', {".....", ".....", ".....", "####.", "#...#", "#...#", "#...#"}},
        {'o', {".....", ".....", ".....", ".###.", "#...#", "#...#", ".###."}},
        {'p', {".....", ".....", ".....", "####.", "#...#", "#...#", "####.", "#...."}},
        {'q', {".....", ".....", ".....", ".####", "#...#", "#...#", ".####", "....#"}},
        {'r', {".....", ".....", ".....", "#.##.", "##..#", "#....", "#...."}},
        {'s', {".....", ".....", ".....", ".####", "##...", "...##", "####."}},
        {'t', {".....", ".#...", ".#...", "####.", ".#...", ".#..#", "..##."}},
        {'u', {".....", ".....", ".....", "#...#", "#...#", "#..##", ".##.#"}},
        {'v', {".....", ".....", ".....", "#...#", "#...#", ".#.#.", "..#.."}},
        {'w', {".....", ".....", ".....", "#...#", "#.#.#", "#.#.#", ".#.#."}},
        {'x', {".....", ".....", ".....", "#...#", ".#.#.", ".#.#.", "#...#"}},
        {'y', {".....", ".....", ".....", "#...#", "#...#", ".####", "....#", ".###."}},
        {'z', {".....", ".....", ".....", "#####", "..##.", ".##..", "#####"}},
        {'{', {".....", "..##.", ".#...", "##...", ".#...", ".#...", "..##."}},
        {'|', {".....", "..#..", "..#..", "..#..", "..#..", "..#..", "..#..", "..#.."}},
        {'}', {".....", ".##..", "...#.", "...##", "...#.", "...#.", ".##.."}},
        {'~', {".....", ".....", ".....", ".#...", "#.#.#", "...#."}},
        {0xAA, {".....", ".###.", "#..##", ".##.#", ".....", "#####"}},           // feminine ordinal
        {0xBA, {".....", ".###.", "#...#", ".###.", ".....", "#####"}},           // masculine ordinal
        {0xBF, {".....", "..#..", ".....", "..#..", ".#...", "#...#", ".###."}},  // inverted question
    };
    return glyphs;
}

enum Accent { GRAVE, ACUTE, CIRCUMFLEX, TILDE, CEDILLA };

// Accents at full resolution: rows of 10 pixels over the 10-pixel-wide glyph.
const Rows& accent_rows(Accent a) {
    static const Rows grave = {"...##.....", "....##....", ".....##..."};
    static const Rows acute = {"......##..", ".....##...", "....##...."};
    static const Rows circumflex = {"....##....", "...#..#...", "..#....#.."};
    static const Rows tilde = {"..........", "...##...#.", "..#..###.."};
    static const Rows cedilla = {".....##...", "....##...."};
    switch (a) {
        case GRAVE:
            return grave;
        case ACUTE:
            return acute;
        case CIRCUMFLEX:
            return circumflex;
        case TILDE:
            return tilde;
        case CEDILLA:
            break;
    }
    return cedilla;
}

struct Composed {
    unsigned char base;
    Accent accent;
};

const std::map<unsigned char, Composed>& composed_glyphs() {
    static const std::map<unsigned char, Composed> glyphs = {
        {0xC0, {'A', GRAVE}},   {0xC1, {'A', ACUTE}}, {0xC2, {'A', CIRCUMFLEX}}, {0xC7, {'C', CEDILLA}},
        {0xC8, {'E', GRAVE}},   {0xC9, {'E', ACUTE}}, {0xCC, {'I', GRAVE}},      {0xCD, {'I', ACUTE}},
        {0xD1, {'N', TILDE}},   {0xD2, {'O', GRAVE}}, {0xD3, {'O', ACUTE}},      {0xD9, {'U', GRAVE}},
        {0xDA, {'U', ACUTE}},   {0xDD, {'Y', ACUTE}}, {0xE0, {'a', GRAVE}},      {0xE1, {'a', ACUTE}},
        {0xE7, {'c', CEDILLA}}, {0xE8, {'e', GRAVE}}, {0xE9, {'e', ACUTE}},      {0xEC, {'i', GRAVE}},
        {0xED, {'i', ACUTE}},   {0xF1, {'n', TILDE}}, {0xF2, {'o', GRAVE}},      {0xF3, {'o', ACUTE}},
        {0xF9, {'u', GRAVE}},   {0xFA, {'u', ACUTE}}, {0xFD, {'y', ACUTE}},
    };
    return glyphs;
}

struct Image {
    std::vector<unsigned char> rgb = std::vector<unsigned char>(IMAGE_SIDE * IMAGE_SIDE * 3, 0);
    void set(int x, int y) {
        if (x < 0 || y < 0 || x >= IMAGE_SIDE || y >= IMAGE_SIDE) return;
        unsigned char* p = &rgb[(static_cast<size_t>(y) * IMAGE_SIDE + x) * 3];
        p[0] = p[1] = p[2] = 255;
    }
};

bool ink(const Rows& rows, int row, int col) {
    return row < static_cast<int>(rows.size()) && col < static_cast<int>(rows[row].size()) &&
           rows[row][col] == '#';
}

void draw_grid(Image& image, int cell_x, int cell_y, const Rows& rows) {
    for (int row = 0; row < GRID_H; ++row) {
        for (int col = 0; col < GRID_W; ++col) {
            if (!ink(rows, row, col)) continue;
            for (int dy = 0; dy < DOT; ++dy) {
                for (int dx = 0; dx < DOT; ++dx) {
                    image.set(cell_x + LEFT + col * DOT + dx, cell_y + row * DOT + dy);
                }
            }
        }
    }
}

void draw_fine(Image& image, int cell_x, int cell_y, int top, const Rows& rows) {
    for (int row = 0; row < static_cast<int>(rows.size()); ++row) {
        for (int col = 0; col < static_cast<int>(rows[row].size()); ++col) {
            if (rows[row][col] == '#') image.set(cell_x + LEFT + col, cell_y + top + row);
        }
    }
}

// A capital's six body rows (1 to 6) squeezed into rows 2 to 6 by dropping one row that
// repeats the row above it (every capital that takes an accent has one), else the middle one.
Rows squeeze_capital(const Rows& rows) {
    Rows body;
    for (int row = 1; row <= 6; ++row)
        body.push_back(row < static_cast<int>(rows.size()) ? rows[row] : ".....");
    size_t drop = 3;
    for (size_t i = 1; i < body.size(); ++i) {
        if (body[i] == body[i - 1]) {
            drop = i;
            break;
        }
    }
    body.erase(body.begin() + static_cast<long>(drop));
    Rows out = {".....", "....."};
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

// A lower-case body without anything above the x-height (the dot of i goes).
Rows lower_body(const Rows& rows) {
    Rows out = rows;
    for (int row = 0; row < 3 && row < static_cast<int>(out.size()); ++row) out[row] = ".....";
    return out;
}

bool draw_glyph(Image& image, int cell, unsigned char c) {
    const int cell_x = (cell % CELLS) * CELL;
    const int cell_y = (cell / CELLS) * CELL;
    const auto& bases = base_glyphs();
    if (auto it = bases.find(c); it != bases.end()) {
        draw_grid(image, cell_x, cell_y, it->second);
        return true;
    }
    const auto& composed = composed_glyphs();
    auto it = composed.find(c);
    if (it == composed.end()) return false;
    const Rows& base = bases.at(it->second.base);
    const bool capital = it->second.base >= 'A' && it->second.base <= 'Z';
    const Accent accent = it->second.accent;
    if (accent == CEDILLA) {
        // Under the letter, in the descender row.
        draw_grid(image, cell_x, cell_y, base);
        draw_fine(image, cell_x, cell_y, 14, accent_rows(accent));
    } else if (capital) {
        draw_grid(image, cell_x, cell_y, squeeze_capital(base));
        draw_fine(image, cell_x, cell_y, 0, accent_rows(accent));
    } else {
        draw_grid(image, cell_x, cell_y, lower_body(base));
        draw_fine(image, cell_x, cell_y, 2, accent_rows(accent));
    }
    return true;
}

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

bool write_tga(const std::string& path, const Image& image) {
    std::error_code ec;
    const std::filesystem::path p(path);
    if (p.has_parent_path()) std::filesystem::create_directories(p.parent_path(), ec);
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "wb"));
    if (!file) return false;
    unsigned char header[18] = {};
    header[2] = 2;  // uncompressed true colour
    header[12] = IMAGE_SIDE & 0xFF;
    header[13] = IMAGE_SIDE >> 8;
    header[14] = IMAGE_SIDE & 0xFF;
    header[15] = IMAGE_SIDE >> 8;
    header[16] = 24;
    header[17] = 0x20;  // rows stored top first
    std::vector<unsigned char> data(header, header + sizeof header);
    for (size_t i = 0; i < image.rgb.size(); i += 3) {
        data.push_back(image.rgb[i + 2]);
        data.push_back(image.rgb[i + 1]);
        data.push_back(image.rgb[i]);
    }
    const bool written = std::fwrite(data.data(), 1, data.size(), file.get()) == data.size();
    return std::fclose(file.release()) == 0 && written;
}

}  // namespace

int main(int argc, char** argv) {
    if (tool_help(argc, argv, "make_font [OUTPUT.tga]   (default data/fonts/font.tga; folders are created)"))
        return 0;
    const std::string path = argc > 1 ? argv[1] : "data/fonts/font.tga";
    Image image;
    int missing = 0;
    for (int cell = 0; cell < FONT_CHARMAP_LENGTH && cell < CELLS * CELLS; ++cell) {
        const unsigned char c = static_cast<unsigned char>(font_charmap[cell]);
        if (!draw_glyph(image, cell, c)) {
            std::fprintf(stderr, "make_font: no glyph for character 0x%02X (cell %d)\n", c, cell);
            ++missing;
        }
    }
    if (missing > 0) return 1;
    if (!write_tga(path, image)) {
        std::fprintf(stderr, "make_font: cannot write '%s'\n", path.c_str());
        return 1;
    }
    return 0;
}
