// Times a program's start on the X server of DISPLAY: from its launch to the
// first Expose event of a window it made, which is when the window shows, and
// to the first frame drawn in it, when the root's colour no longer shows
// through its middle.
// A bare Qt window program is timed the same way in the same run, as the
// baseline; the two take turns, after one unmeasured start of each. Both get
// a private, empty HOME and TMPDIR, so no settings are read or written.
//
//   tests/gui/on_xvfb.sh --wm build/bench/bench_startup PROGRAM BASELINE [runs]
#include "bench_measure.h"

#include <QByteArray>
#include <QTemporaryDir>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

extern char** environ;

namespace {

[[noreturn]] void fail(const char* why, const char* program) {
    std::fprintf(stderr, "bench_startup: %s: %s\n", program, why);
    std::exit(1);
}

class Server {
public:
    Server() : m_c(xcb_connect(nullptr, nullptr)) {
        if (xcb_connection_has_error(m_c))
            fail("cannot connect to the X server", std::getenv("DISPLAY"));
        m_root = xcb_setup_roots_iterator(xcb_get_setup(m_c)).data->root;
        m_pidAtom = atom("_NET_WM_PID");
        // Every new top-level window is announced, whoever makes it.
        const uint32_t events = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(m_c, m_root, XCB_CW_EVENT_MASK, &events);
        // A colour no window draws: a window shown but not yet drawn shows it.
        xcb_change_window_attributes(m_c, m_root, XCB_CW_BACK_PIXEL, &unpainted);
        xcb_clear_area(m_c, 0, m_root, 0, 0, 0, 0);
        xcb_flush(m_c);
    }
    ~Server() { xcb_disconnect(m_c); }
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    struct Times {
        double shown, drawn;
    };
    // Milliseconds from launching the program to its first window exposed,
    // and to that window's first frame drawn.
    Times timeToShown(const char* program) {
        while (xcb_generic_event_t* left = xcb_poll_for_event(m_c))
            std::free(left); // the previous run's windows
        char* argv[] = {const_cast<char*>(program), nullptr};
        pid_t pid = 0;
        const auto start = Clock::now();
        if (::posix_spawn(&pid, program, nullptr, nullptr, argv, environ) != 0)
            fail("cannot start", program);
        const char* why = nullptr;
        xcb_window_t window = 0;
        const double shown = waitForExpose(start, pid, window, why);
        const double drawn = why ? -1 : waitForDrawn(start, window, why);
        ::kill(pid, SIGTERM);
        ::waitpid(pid, nullptr, 0);
        if (why)
            fail(why, program);
        return {shown, drawn};
    }

private:
    // Drawn: the middle of the window no longer shows the root's colour
    // through it. Asked every half millisecond, leaving the cores to the
    // program and the server.
    double waitForDrawn(Clock::time_point start, xcb_window_t window, const char*& why) {
        for (;;) {
            xcb_get_geometry_reply_t* g =
                xcb_get_geometry_reply(m_c, xcb_get_geometry(m_c, window), nullptr);
            xcb_get_image_reply_t* image =
                g ? xcb_get_image_reply(m_c,
                                        xcb_get_image(m_c, XCB_IMAGE_FORMAT_Z_PIXMAP, window,
                                                      int16_t(g->width / 2), int16_t(g->height / 2),
                                                      1, 1, ~0u),
                                        nullptr)
                  : nullptr;
            uint32_t pixel = unpainted;
            if (image && xcb_get_image_data_length(image) >= 4)
                std::memcpy(&pixel, xcb_get_image_data(image), sizeof pixel);
            std::free(image);
            std::free(g);
            if ((pixel & 0xffffff) != unpainted)
                return msSince(start);
            if (xcb_connection_has_error(m_c))
                why = "lost the X server";
            else if (msSince(start) > 60000)
                why = "drew no frame within a minute";
            if (why)
                return -1;
            ::usleep(500);
        }
    }

    double waitForExpose(Clock::time_point start, pid_t pid, xcb_window_t& window,
                         const char*& why) {
        for (;;) {
            xcb_generic_event_t* e = xcb_poll_for_event(m_c);
            if (!e) {
                if (xcb_connection_has_error(m_c))
                    why = "lost the X server";
                else if (::waitpid(pid, nullptr, WNOHANG) == pid)
                    why = "ended before showing a window";
                else if (msSince(start) > 60000)
                    why = "showed no window within a minute";
                if (why)
                    return -1;
                pollfd ready{xcb_get_file_descriptor(m_c), POLLIN, 0};
                ::poll(&ready, 1, 100);
                continue;
            }
            const double now = msSince(start);
            const uint8_t type = e->response_type & 0x7f;
            bool shown = false;
            if (type == XCB_EXPOSE) {
                // Frames of the window manager are exposed too: only a window
                // of the launched process counts.
                window = reinterpret_cast<xcb_expose_event_t*>(e)->window;
                shown = property(window, m_pidAtom) == uint32_t(pid);
            } else if (type == XCB_CREATE_NOTIFY) {
                window = reinterpret_cast<xcb_create_notify_event_t*>(e)->window;
                shown = watch(window) && property(window, m_pidAtom) == uint32_t(pid);
            }
            std::free(e);
            if (shown)
                return now;
        }
    }

    // Asks for the window's Expose events; true if it is already on screen,
    // shown before the request took effect.
    bool watch(xcb_window_t window) {
        const uint32_t events = XCB_EVENT_MASK_EXPOSURE;
        xcb_change_window_attributes(m_c, window, XCB_CW_EVENT_MASK, &events);
        xcb_get_window_attributes_reply_t* attributes =
            xcb_get_window_attributes_reply(m_c, xcb_get_window_attributes(m_c, window), nullptr);
        const bool viewable = attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
        std::free(attributes);
        return viewable;
    }

    xcb_atom_t atom(const char* name) {
        xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
            m_c, xcb_intern_atom(m_c, 0, uint16_t(std::strlen(name)), name), nullptr);
        xcb_atom_t found = XCB_ATOM_NONE;
        if (reply)
            found = reply->atom;
        std::free(reply);
        return found;
    }

    // The first 32-bit value of a window's property, 0 if it has none.
    uint32_t property(xcb_window_t window, xcb_atom_t name) {
        xcb_get_property_reply_t* reply = xcb_get_property_reply(
            m_c, xcb_get_property(m_c, 0, window, name, XCB_GET_PROPERTY_TYPE_ANY, 0, 1), nullptr);
        uint32_t value = 0;
        if (reply && reply->format == 32 && xcb_get_property_value_length(reply) >= 4)
            std::memcpy(&value, xcb_get_property_value(reply), sizeof value);
        std::free(reply);
        return value;
    }

    static constexpr uint32_t unpainted = 0xff00ff;
    xcb_connection_t* m_c;
    xcb_window_t m_root = 0;
    xcb_atom_t m_pidAtom = XCB_ATOM_NONE;
};

} // namespace

int main(int argc, char* argv[]) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: bench_startup PROGRAM BASELINE [runs]\n");
        return 2;
    }
    const int runs = argc > 3 ? std::atoi(argv[3]) : 7;
    QTemporaryDir home;
    ::setenv("HOME", home.path().toLocal8Bit().constData(), 1);
    for (const char* dir : {"TMPDIR", "XDG_RUNTIME_DIR"})
        ::setenv(dir, home.path().toLocal8Bit().constData(), 1);
    for (const char* dir : {"XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME"})
        ::unsetenv(dir);
    ::setenv("QT_QPA_PLATFORM", "xcb", 1);

    Server server;               // on_xvfb.sh has waited for the window manager to finish starting
    server.timeToShown(argv[1]); // libraries and fonts into the page cache
    server.timeToShown(argv[2]);
    std::vector<double> program, baseline, programDrawn, baselineDrawn;
    for (int i = 0; i < runs; ++i) {
        const Server::Times p = server.timeToShown(argv[1]);
        const Server::Times b = server.timeToShown(argv[2]);
        program.push_back(p.shown);
        programDrawn.push_back(p.drawn);
        baseline.push_back(b.shown);
        baselineDrawn.push_back(b.drawn);
    }
    std::printf("start-up to a shown window, median of %d: %s %.1f ms, %s %.1f ms\n", runs, argv[1],
                median(program), argv[2], median(baseline));
    std::printf("start-up to its first frame drawn, median of %d: %s %.1f ms, %s %.1f ms\n", runs,
                argv[1], median(programDrawn), argv[2], median(baselineDrawn));
    result("Start-up to the main window shown (exposed), empty settings", median(program), "ms",
           median(baseline), "a bare Qt window program, maximised likewise");
    result("Start-up to the main window's first frame drawn, empty settings", median(programDrawn),
           "ms", median(baselineDrawn), "a bare Qt window program, maximised likewise");
    return 0;
}
