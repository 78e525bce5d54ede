// Draws a PreviewPicture with cairo: the level in dB over time of the left
// and right outputs and of both bands, the pre-delay shaded, the decay
// times written on it. Used by the GUI's view and by the demo's pictures.
// Draws in the user units the context has; never computes DSP.
#pragma once

#include <cairo.h>

#include "preview_picture.h"
#include "ui_layout.h"

// Draws `picture` into `area`. `status`, when not null, is written in the
// plot's corner (for instance how far a render has come).
void preview_draw(cairo_t* cr, const LayoutRect& area, const PreviewPicture* picture,
                  const char* status);

// Writes a decay time as the picture shows it ("1.52 s", "> 30 s", "< 5 ms",
// "-") into `text`.
void preview_format_rt60(const Rt60& rt60, char* text, unsigned size);
