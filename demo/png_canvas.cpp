// Drawing primitives and a minimal PNG encoder. The image data is stored in
// uncompressed deflate blocks: larger files than zlib would make, but no
// library to depend on, and a paletted picture of a few hundred kilobytes is
// quick to write and to view.

#include "png_canvas.h"

#include "bitmap_font.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

// RGB of each Colour, in enum order.
const uint8_t PALETTE[COLOUR_COUNT][3] = {
    {255, 255, 255},  // BACKGROUND
    {225, 228, 234},  // GRID
    {90, 96, 110},    // AXIS
    {30, 34, 42},     // TEXT
    {31, 96, 180},    // LEFT_TRACE
    {214, 96, 30},    // RIGHT_TRACE
    {150, 185, 230},  // LEFT_FILL
    {240, 180, 140},  // RIGHT_FILL
};

uint32_t crc32_update(uint32_t crc, const uint8_t* data, size_t size)
{
    static uint32_t table[256];
    static bool ready = false;
    if (!ready) {
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;  // PNG's CRC-32 polynomial, reflected
            table[n] = c;
        }
        ready = true;
    }
    for (size_t i = 0; i < size; ++i)
        crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return crc;
}

void put_be32(std::vector<uint8_t>& out, uint32_t value)
{
    out.push_back(uint8_t(value >> 24));
    out.push_back(uint8_t(value >> 16));
    out.push_back(uint8_t(value >> 8));
    out.push_back(uint8_t(value));
}

// Appends a chunk: length, type, data, CRC over type and data.
void put_chunk(std::vector<uint8_t>& out, const char type[4], const std::vector<uint8_t>& data)
{
    put_be32(out, uint32_t(data.size()));
    const size_t type_at = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    uint32_t crc = crc32_update(0xFFFFFFFFu, &out[type_at], 4 + data.size());
    put_be32(out, crc ^ 0xFFFFFFFFu);
}

// Wraps raw bytes in a zlib stream of stored (uncompressed) deflate blocks.
std::vector<uint8_t> zlib_stored(const std::vector<uint8_t>& raw)
{
    std::vector<uint8_t> out = {0x78, 0x01};  // deflate, 32 KiB window, no preset dictionary
    const size_t block_max = 65535;
    size_t at = 0;
    do {
        const size_t size = std::min(block_max, raw.size() - at);
        const bool last = at + size == raw.size();
        out.push_back(last ? 1 : 0);  // BFINAL bit, block type 00 (stored)
        out.push_back(uint8_t(size));
        out.push_back(uint8_t(size >> 8));
        out.push_back(uint8_t(~size));
        out.push_back(uint8_t(~size >> 8));
        out.insert(out.end(), raw.begin() + long(at), raw.begin() + long(at + size));
        at += size;
    } while (at < raw.size());
    uint32_t a = 1, b = 0;  // Adler-32 of the raw bytes
    for (uint8_t byte : raw) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    put_be32(out, b << 16 | a);
    return out;
}

}  // namespace

PngCanvas png_canvas_create(int width, int height)
{
    return PngCanvas{width, height, std::vector<uint8_t>(size_t(width) * size_t(height), BACKGROUND)};
}

void png_canvas_set(PngCanvas& canvas, int x, int y, Colour colour)
{
    if (x >= 0 && x < canvas.width && y >= 0 && y < canvas.height)
        canvas.pixels[size_t(y) * size_t(canvas.width) + size_t(x)] = colour;
}

void png_canvas_fill(PngCanvas& canvas, int x0, int y0, int x1, int y1, Colour colour)
{
    for (int y = std::min(y0, y1); y <= std::max(y0, y1); ++y)
        for (int x = std::min(x0, x1); x <= std::max(x0, x1); ++x)
            png_canvas_set(canvas, x, y, colour);
}

void png_canvas_line(PngCanvas& canvas, int x0, int y0, int x1, int y1, Colour colour)
{
    // Bresenham: every step moves one pixel along the longer axis.
    const int dx = std::abs(x1 - x0), dy = -std::abs(y1 - y0);
    const int sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
    int error = dx + dy;
    for (;;) {
        png_canvas_set(canvas, x0, y0, colour);
        if (x0 == x1 && y0 == y1)
            break;
        const int twice = 2 * error;
        if (twice >= dy) {
            error += dy;
            x0 += sx;
        }
        if (twice <= dx) {
            error += dx;
            y0 += sy;
        }
    }
}

int png_canvas_text_width(const std::string& text, int scale)
{
    return int(text.size()) * (FONT_WIDTH + 1) * scale;
}

int png_canvas_text(PngCanvas& canvas, int x, int y, const std::string& text, int scale, Colour colour)
{
    int pen = x;
    for (char code : text) {
        for (int row = 0; row < FONT_HEIGHT; ++row)
            for (int column = 0; column < FONT_WIDTH; ++column)
                if (bitmap_font_pixel(code, column, row))
                    png_canvas_fill(canvas, pen + column * scale, y + row * scale,
                                    pen + column * scale + scale - 1, y + row * scale + scale - 1, colour);
        pen += (FONT_WIDTH + 1) * scale;
    }
    return pen - x;
}

bool png_canvas_save(const PngCanvas& canvas, const std::string& path)
{
    std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

    std::vector<uint8_t> header;
    put_be32(header, uint32_t(canvas.width));
    put_be32(header, uint32_t(canvas.height));
    header.insert(header.end(), {8, 3, 0, 0, 0});  // 8 bits, paletted, deflate, no filter, no interlace
    put_chunk(png, "IHDR", header);

    std::vector<uint8_t> palette;
    for (const auto& rgb : PALETTE)
        palette.insert(palette.end(), rgb, rgb + 3);
    put_chunk(png, "PLTE", palette);

    // Each row starts with its filter type, 0 (none).
    std::vector<uint8_t> raw;
    raw.reserve(canvas.pixels.size() + size_t(canvas.height));
    for (int y = 0; y < canvas.height; ++y) {
        raw.push_back(0);
        auto row = canvas.pixels.begin() + long(y) * canvas.width;
        raw.insert(raw.end(), row, row + canvas.width);
    }
    put_chunk(png, "IDAT", zlib_stored(raw));
    put_chunk(png, "IEND", {});

    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    const bool written = std::fwrite(png.data(), 1, png.size(), file) == png.size();
    return std::fclose(file) == 0 && written;
}
