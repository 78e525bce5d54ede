// A small bitmap font for labelling the demo pictures.
#pragma once

// Glyph cell size in pixels, before scaling; text advances by one more
// column per character.
constexpr int FONT_WIDTH = 5;
constexpr int FONT_HEIGHT = 8;

// Whether the glyph of `code` inks the pixel at (column, row) of its cell.
// Characters the font lacks are drawn as '?'.
bool bitmap_font_pixel(char code, int column, int row);
