// Draws the decay times per octave of a PreviewPicture with cairo: a bar
// per octave band, 63 Hz to 8 kHz, its height the band's RT60 on a time
// axis that grows with the longest, the figure above it. A band measured
// only as "at least" has an open top; a band too close to half the sample
// rate shows a dash. Draws in the user units the context has; never
// computes DSP.
#pragma once

#include <cairo.h>

#include "preview_picture.h"
#include "ui_layout.h"

void octave_draw(cairo_t* cr, const LayoutRect& area, const PreviewPicture* picture);
