#include "DockBars.h"

#include <QGuiApplication>
#include <QScreen>
#include <QtGui/qguiapplication_platform.h>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>
#include <xcb/xcb.h>

namespace ombrix::DockBars {

namespace {

template <typename T> using Reply = std::unique_ptr<T, decltype(&std::free)>;

template <typename T> Reply<T> own(T* reply) {
    return Reply<T>(reply, &std::free);
}

xcb_atom_t atom(xcb_connection_t* c, const char* name) {
    const auto reply = own(xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 1, uint16_t(std::strlen(name)), name), nullptr));
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

bool isDock(xcb_connection_t* c, xcb_window_t w, xcb_atom_t type, xcb_atom_t dock) {
    const auto reply = own(
        xcb_get_property_reply(c, xcb_get_property(c, 0, w, type, XCB_ATOM_ATOM, 0, 16), nullptr));
    if (!reply || reply->format != 32) {
        return false;
    }
    const auto* atoms = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply.get()));
    const int n = xcb_get_property_value_length(reply.get()) / int(sizeof(xcb_atom_t));
    for (int i = 0; i < n; ++i) {
        if (atoms[i] == dock) {
            return true;
        }
    }
    return false;
}

std::vector<xcb_window_t> childrenOf(xcb_connection_t* c, xcb_window_t w) {
    const auto tree = own(xcb_query_tree_reply(c, xcb_query_tree(c, w), nullptr));
    if (!tree) {
        return {};
    }
    const xcb_window_t* kids = xcb_query_tree_children(tree.get());
    return {kids, kids + xcb_query_tree_children_length(tree.get())};
}

// The window's rectangle on the root, if it is mapped.
QRect onRoot(xcb_connection_t* c, xcb_window_t w, xcb_window_t root) {
    const auto attributes =
        own(xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, w), nullptr));
    if (!attributes || attributes->map_state != XCB_MAP_STATE_VIEWABLE) {
        return {};
    }
    const auto geometry = own(xcb_get_geometry_reply(c, xcb_get_geometry(c, w), nullptr));
    const auto origin = own(
        xcb_translate_coordinates_reply(c, xcb_translate_coordinates(c, w, root, 0, 0), nullptr));
    if (!geometry || !origin) {
        return {};
    }
    return {origin->dst_x, origin->dst_y, geometry->width, geometry->height};
}

} // namespace

QRect barAt(const QPoint& point) {
    auto* x11 = qGuiApp != nullptr ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>()
                                   : nullptr;
    xcb_connection_t* c = x11 != nullptr ? x11->connection() : nullptr;
    if (c == nullptr) {
        return {};
    }
    const QScreen* screen = QGuiApplication::primaryScreen();
    const qreal scale = screen != nullptr ? screen->devicePixelRatio() : 1.0;
    const QPoint device = point * scale;
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    const xcb_atom_t type = atom(c, "_NET_WM_WINDOW_TYPE");
    const xcb_atom_t dock = atom(c, "_NET_WM_WINDOW_TYPE_DOCK");
    if (type == XCB_ATOM_NONE || dock == XCB_ATOM_NONE) {
        return {};
    }
    const std::vector<xcb_window_t> tops = childrenOf(c, root);
    // Topmost first: the bar the user sees at the point.
    for (auto top = tops.rbegin(); top != tops.rend(); ++top) {
        const QRect area = onRoot(c, *top, root);
        if (!area.contains(device)) {
            continue;
        }
        bool found = isDock(c, *top, type, dock);
        // A reparenting window manager keeps the type on the client inside its frame.
        for (const xcb_window_t inner : found ? std::vector<xcb_window_t>{} : childrenOf(c, *top)) {
            found = found || isDock(c, inner, type, dock);
        }
        if (!found) {
            return {};
        }
        return {(area.topLeft() / scale), (area.size() / scale)};
    }
    return {};
}

} // namespace ombrix::DockBars
