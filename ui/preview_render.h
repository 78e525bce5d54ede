// PreviewRender: the impulse response of the current settings, computed by
// the plug-in's own code. It holds two instances of the plug-in the GUI
// belongs to, at the host's rate: the first runs through the descriptor's
// own run operation and gives the left and right curves, bit for bit what
// the plug-in outputs; the second, fed the same, splits its reverb into the
// high band (engine_a's path) and the low band (engine_b's filtered path)
// for the band curves and their decay times (see reverb_bands.h). The two
// bands together, the reverb's wet response without the direct sound, go
// through octave_decay.h's filters for the decay time per octave (the
// direct sound would count as decay there).
//
// A render first runs PREVIEW_SETTLE silence through both instances, so the
// fade and the gains have settled as in a running session, then one block
// that starts with a unit impulse and as many blocks after it as the
// response needs (at most PREVIEW_MAX_SECONDS). It works in pieces, so a
// caller can spread a long decay over many short calls. Knows nothing of X11.
#pragma once

#include <cstdint>

#include <lv2/core/lv2.h>

#include "control_ports.h"
#include "preview_picture.h"

// Frames per run call, during the silence and the response alike.
constexpr uint32_t PREVIEW_BLOCK = 256;
// Longest response rendered, seconds.
constexpr double PREVIEW_MAX_SECONDS = 30.0;

struct PreviewRender;

// Two instances of `plugin` (mono_descriptor or stereo_descriptor) at
// `sample_rate` and every buffer a render needs, sized once. Returns null
// when the rate is refused or memory runs out.
PreviewRender* preview_create(const LV2_Descriptor* plugin, double sample_rate);

// Frames of silence before the impulse at `sample_rate`: one second, at
// least 16384 frames (so the gains settle at low rates too), in whole blocks.
uint32_t preview_settle_frames(double sample_rate);

// Response length for `controls`, in frames: pre-delay, room and 1.2 decay
// times, at least half a second and at most PREVIEW_MAX_SECONDS.
uint64_t preview_response_frames(const float* controls, double sample_rate);

// Starts a new render for `controls` (twelve values, any floats), dropping
// any render under way. The previous complete picture stays shown.
void preview_start(PreviewRender* preview, const float controls[CONTROL_PORT_COUNT]);

// Renders the next block of the render under way. Returns the number of
// response frames it produced (0 while the silence runs, and once the render
// is complete); `left` and `right` then point at them (right equals left for
// the mono plug-in), valid until the next call.
uint32_t preview_render_block(PreviewRender* preview, const float** left, const float** right);

// Renders blocks until `budget_seconds` of time have passed or the render is
// complete, and returns whether it is complete.
bool preview_step(PreviewRender* preview, double budget_seconds);

// Whether a render is under way, and how far it has come (0..1).
bool preview_busy(const PreviewRender* preview);
double preview_progress(const PreviewRender* preview);

// The last complete picture, or the one being filled while none is.
const PreviewPicture* preview_picture(const PreviewRender* preview);

void preview_destroy(PreviewRender* preview);
