#include "platform/OutsideClickCatcher.h"

#include <QSocketNotifier>

#include <cstdlib>

#include <xcb/xcb.h>

namespace {

xcb_visualid_t findTransparentVisual(const xcb_screen_t* screen)
{
    for (auto depths = xcb_screen_allowed_depths_iterator(screen); depths.rem; xcb_depth_next(&depths)) {
        if (depths.data->depth != 32)
            continue;
        for (auto visuals = xcb_depth_visuals_iterator(depths.data); visuals.rem; xcb_visualtype_next(&visuals)) {
            if (visuals.data->_class == XCB_VISUAL_CLASS_TRUE_COLOR)
                return visuals.data->visual_id;
        }
    }
    return 0;
}

} // namespace

std::unique_ptr<OutsideClickCatcher> OutsideClickCatcher::cover()
{
    int screenNumber = 0;
    xcb_connection_t* connection = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        return nullptr;
    }
    auto screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; i < screenNumber && screens.rem; ++i)
        xcb_screen_next(&screens);
    const xcb_visualid_t visual = screens.rem ? findTransparentVisual(screens.data) : 0;
    if (!visual) {
        xcb_disconnect(connection);
        return nullptr;
    }
    const xcb_screen_t* screen = screens.data;
    const xcb_window_t root = screen->root;
    const xcb_colormap_t colormap = xcb_generate_id(connection);
    xcb_create_colormap(connection, XCB_COLORMAP_ALLOC_NONE, colormap, root, visual);
    const xcb_window_t window = xcb_generate_id(connection);
    // In the order of the value mask's bits: no colour at all (alpha 0),
    // no border, unmanaged, button presses, the 32-bit colormap.
    const uint32_t values[] = {0, 0, 1, XCB_EVENT_MASK_BUTTON_PRESS, colormap};
    xcb_create_window(connection, 32, window, root, 0, 0, screen->width_in_pixels,
                      screen->height_in_pixels, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, visual,
                      XCB_CW_BACK_PIXEL | XCB_CW_BORDER_PIXEL | XCB_CW_OVERRIDE_REDIRECT | XCB_CW_EVENT_MASK
                          | XCB_CW_COLORMAP,
                      values);
    xcb_free_colormap(connection, colormap);
    xcb_map_window(connection, window);
    // Mapped before anything mapped after it: wait until the server has it.
    std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
    return std::unique_ptr<OutsideClickCatcher>(new OutsideClickCatcher(connection, window));
}

OutsideClickCatcher::OutsideClickCatcher(xcb_connection_t* connection, quint32 window)
    : m_connection(connection)
    , m_window(window)
    , m_notifier(new QSocketNotifier(xcb_get_file_descriptor(connection), QSocketNotifier::Read, this))
{
    connect(m_notifier, &QSocketNotifier::activated, this, &OutsideClickCatcher::readEvents);
}

OutsideClickCatcher::~OutsideClickCatcher()
{
    xcb_destroy_window(m_connection, m_window);
    xcb_disconnect(m_connection);
}

void OutsideClickCatcher::readEvents()
{
    bool pressed = false;
    while (xcb_generic_event_t* event = xcb_poll_for_event(m_connection)) {
        pressed = pressed || (event->response_type & 0x7f) == XCB_BUTTON_PRESS;
        std::free(event);
    }
    if (xcb_connection_has_error(m_connection))
        m_notifier->setEnabled(false);
    if (pressed)
        Q_EMIT clicked();
}
