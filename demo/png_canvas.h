// A paletted drawing surface for the demo pictures, saved as PNG.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The colours a picture may use; each pixel holds one of them.
enum Colour : uint8_t {
    BACKGROUND,
    GRID,
    AXIS,
    TEXT,
    LEFT_TRACE,
    RIGHT_TRACE,
    LEFT_FILL,
    RIGHT_FILL,
    COLOUR_COUNT
};

struct PngCanvas {
    int width;
    int height;
    std::vector<uint8_t> pixels;  // row by row, one colour index per pixel
};

PngCanvas png_canvas_create(int width, int height);

// Pixels outside the canvas are silently left out.
void png_canvas_set(PngCanvas& canvas, int x, int y, Colour colour);
void png_canvas_fill(PngCanvas& canvas, int x0, int y0, int x1, int y1, Colour colour);
void png_canvas_line(PngCanvas& canvas, int x0, int y0, int x1, int y1, Colour colour);

// Draws text with its top-left corner at (x, y), each font pixel as a
// scale x scale square; returns the text's width in pixels.
int png_canvas_text(PngCanvas& canvas, int x, int y, const std::string& text, int scale, Colour colour);
int png_canvas_text_width(const std::string& text, int scale);

// Writes an 8-bit paletted PNG; false if the file cannot be written.
bool png_canvas_save(const PngCanvas& canvas, const std::string& path);
