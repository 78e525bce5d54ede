// X11Window: the GUI's window, an Xlib child of the host's parent on a
// display connection of its own, and the back buffer it is drawn through.
// Knows nothing of LV2, the controls or the preview: it makes the window,
// hands out a canvas to draw on, copies the canvas to the screen, notices
// resizes, exposure and a destruction under the GUI, and passes every
// input event on. Everything runs on the host's GUI thread.
//
// Everything is drawn into an image in memory, painted onto a pixmap of the
// window's size and copied to the window. No flicker; no cairo surface on
// the window, which the host may destroy (with its parent) before the GUI
// closes it; and no text drawn through cairo's X11 backend, whose font
// caches would keep the display's records alive after it closes.
#pragma once

#include <X11/Xlib.h>
#include <cairo.h>

struct X11Window {
    Display* display;              // null until opened, and after a failed open
    Window id;
    bool gone;                     // destroyed under the GUI (with the host's parent)
    Visual* visual;                // the window's visual and depth
    int depth;
    GC gc;
    cairo_surface_t* canvas;       // image surface the GUI draws on
    Pixmap pixmap;
    cairo_surface_t* surface;      // on the pixmap, from the window's visual
    cairo_device_t* device;        // cairo's record of the display, finished on close
    int canvas_width, canvas_height;
    int width, height;             // window size in pixels
};

// Opens a display connection and maps a `width` x `height` child window of
// `parent` that asks embedding hosts for at least `min_width` x
// `min_height`. `window` must be zeroed. Returns false, having released
// what it made, when any step fails.
bool x11_window_open(X11Window* window, Window parent, int width, int height, int min_width,
                     int min_height);

// Handles the pending events: a destruction under the GUI first (handling
// anything else may make requests on the window), then exposure and size
// changes here, which set `*damaged`, and each input event through
// `handle`, in the order they came. Returns false once the window is gone.
bool x11_window_pump(X11Window* window, void (*handle)(void* context, XEvent* event),
                     void* context, bool* damaged);

// Whether key presses come to the window: only while the GUI wants typing,
// since a window that selects them takes them from the host whenever the
// pointer is over it and the focus follows the pointer. Taking them also
// asks for the focus, when the window is viewable.
void x11_window_take_keys(X11Window* window, bool take);

// The canvas of the window's current size (canvas_width x canvas_height,
// at least 1 x 1), made anew only when the size changes; null once the
// window is gone or when the back buffer cannot be made.
cairo_surface_t* x11_window_canvas(X11Window* window);

// Copies what was drawn on the canvas to the screen.
void x11_window_present(X11Window* window);

// Sends the requests made so far to the X server.
void x11_window_flush(X11Window* window);

// Destroys the window unless the host already has, and closes the display
// connection with every X and cairo resource on it. Does nothing for a
// window that was never opened.
void x11_window_close(X11Window* window);
