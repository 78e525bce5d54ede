#include "x11_window.h"

#include <X11/Xutil.h>
#include <cairo-xlib.h>

#include <cstring>

namespace {

// The events the window listens to. Keys only while the GUI wants typing
// (KEYS_EVENT_MASK); see x11_window_take_keys.
constexpr long EVENT_MASK = ExposureMask | StructureNotifyMask | ButtonPressMask |
                            ButtonReleaseMask | PointerMotionMask | EnterWindowMask |
                            LeaveWindowMask;
constexpr long KEYS_EVENT_MASK = EVENT_MASK | KeyPressMask;

// The child window, its size hints and its drawing context. Returns false
// when any step fails; x11_window_open releases what was made.
bool create(X11Window* w, Window parent, int min_width, int min_height)
{
    w->display = XOpenDisplay(nullptr);
    if (!w->display)
        return false;
    XWindowAttributes parent_attributes;
    if (!XGetWindowAttributes(w->display, parent, &parent_attributes))
        return false;

    XSetWindowAttributes attributes;
    std::memset(&attributes, 0, sizeof attributes);
    attributes.background_pixmap = None;  // no clearing before each redraw
    attributes.event_mask = EVENT_MASK;
    w->id = XCreateWindow(w->display, parent, 0, 0, unsigned(w->width), unsigned(w->height), 0,
                          CopyFromParent, InputOutput, CopyFromParent, CWBackPixmap | CWEventMask,
                          &attributes);
    if (!w->id)
        return false;

    // Hosts that embed the window read its size hints for the minimum size.
    XSizeHints* hints = XAllocSizeHints();
    if (!hints)
        return false;
    hints->flags = PMinSize | PBaseSize;
    hints->min_width = min_width;
    hints->min_height = min_height;
    hints->base_width = w->width;
    hints->base_height = w->height;
    XSetWMNormalHints(w->display, w->id, hints);
    XFree(hints);

    // The window's own attributes: proof it exists, and the visual it got.
    XWindowAttributes own;
    if (!XGetWindowAttributes(w->display, w->id, &own) || !own.visual)
        return false;
    w->visual = own.visual;
    w->depth = own.depth;
    w->gc = XCreateGC(w->display, w->id, 0, nullptr);
    if (!w->gc || !XMapWindow(w->display, w->id))
        return false;
    XFlush(w->display);
    return true;
}

void release_back_buffer(X11Window* w)
{
    if (w->canvas)
        cairo_surface_destroy(w->canvas);
    w->canvas = nullptr;
    if (w->surface)
        cairo_surface_destroy(w->surface);
    if (w->pixmap)
        XFreePixmap(w->display, w->pixmap);
    w->surface = nullptr;
    w->pixmap = 0;
    w->canvas_width = w->canvas_height = 0;
}

// The canvas, a pixmap and its cairo surface of the window's current size.
// Returns false when any of them cannot be made.
bool ensure_back_buffer(X11Window* w)
{
    const int width = w->width > 0 ? w->width : 1;
    const int height = w->height > 0 ? w->height : 1;
    if (w->surface && w->canvas_width == width && w->canvas_height == height)
        return true;
    release_back_buffer(w);
    w->canvas = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    if (cairo_surface_status(w->canvas) != CAIRO_STATUS_SUCCESS) {
        release_back_buffer(w);
        return false;
    }
    w->pixmap = XCreatePixmap(w->display, w->id, unsigned(width), unsigned(height),
                              unsigned(w->depth));
    if (!w->pixmap)
        return false;
    w->surface = cairo_xlib_surface_create(w->display, w->pixmap, w->visual, width, height);
    if (cairo_surface_status(w->surface) != CAIRO_STATUS_SUCCESS) {
        release_back_buffer(w);
        return false;
    }
    if (!w->device)
        w->device = cairo_device_reference(cairo_surface_get_device(w->surface));
    w->canvas_width = width;
    w->canvas_height = height;
    return true;
}

}  // namespace

bool x11_window_open(X11Window* window, Window parent, int width, int height, int min_width,
                     int min_height)
{
    window->width = width;
    window->height = height;
    if (create(window, parent, min_width, min_height))
        return true;
    x11_window_close(window);
    return false;
}

bool x11_window_pump(X11Window* window, void (*handle)(void* context, XEvent* event),
                     void* context, bool* damaged)
{
    XEvent event;
    if (!window->gone &&
        XCheckTypedWindowEvent(window->display, window->id, DestroyNotify, &event))
        window->gone = true;
    while (!window->gone && XPending(window->display) > 0) {
        XNextEvent(window->display, &event);
        switch (event.type) {
        case Expose:
            if (event.xexpose.count == 0)
                *damaged = true;
            break;
        case ConfigureNotify:
            // The next drawing goes into a back buffer of the new size.
            if (event.xconfigure.window == window->id &&
                (event.xconfigure.width != window->width ||
                 event.xconfigure.height != window->height)) {
                window->width = event.xconfigure.width;
                window->height = event.xconfigure.height;
                *damaged = true;
            }
            break;
        case DestroyNotify:
            if (event.xdestroywindow.window == window->id)
                window->gone = true;
            break;
        default:
            handle(context, &event);
            break;
        }
    }
    return !window->gone;
}

void x11_window_take_keys(X11Window* window, bool take)
{
    if (window->gone)
        return;
    XSelectInput(window->display, window->id, take ? KEYS_EVENT_MASK : EVENT_MASK);
    if (!take)
        return;
    // Focus can only go to a window that is viewable.
    XWindowAttributes a;
    if (XGetWindowAttributes(window->display, window->id, &a) && a.map_state == IsViewable)
        XSetInputFocus(window->display, window->id, RevertToParent, CurrentTime);
}

cairo_surface_t* x11_window_canvas(X11Window* window)
{
    if (window->gone || !ensure_back_buffer(window))
        return nullptr;
    return window->canvas;
}

void x11_window_present(X11Window* window)
{
    cairo_surface_flush(window->canvas);
    cairo_t* cr = cairo_create(window->surface);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_set_source_surface(cr, window->canvas, 0.0, 0.0);
    cairo_paint(cr);
    cairo_destroy(cr);
    cairo_surface_flush(window->surface);
    XCopyArea(window->display, window->pixmap, window->id, window->gc, 0, 0,
              unsigned(window->canvas_width), unsigned(window->canvas_height), 0, 0);
}

void x11_window_flush(X11Window* window) { XFlush(window->display); }

void x11_window_close(X11Window* window)
{
    if (!window->display)
        return;
    // A host may have destroyed its parent, and the window with it, just
    // before: a round trip brings the news, and nothing is then asked of the
    // window, which would be an error no host expects.
    if (window->id && !window->gone) {
        XSync(window->display, False);
        XEvent event;
        while (XCheckTypedWindowEvent(window->display, window->id, DestroyNotify, &event))
            window->gone = true;
    }
    release_back_buffer(window);
    if (window->gc)
        XFreeGC(window->display, window->gc);
    if (window->id && !window->gone)
        XDestroyWindow(window->display, window->id);
    // cairo keeps a record of each display it drew on, with caches, until
    // that record is finished; closing the display alone leaves it behind.
    if (window->device) {
        cairo_device_finish(window->device);
        cairo_device_destroy(window->device);
    }
    XCloseDisplay(window->display);
    *window = X11Window{};
}
