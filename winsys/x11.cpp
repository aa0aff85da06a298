// X11 desktops (XWayland included): the operations over XCB.
//
// Top-level windows are the window manager's clients, topmost first, or,
// without an EWMH window manager, the root's children top down with frames
// replaced by the client inside them. Titles are requested a batch at a time
// so that a scan costs one round trip per batch, not one per window.

#include <xcb/xcb.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <poll.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include "winsys/winsys.h"

namespace {

// Batches grow from small, so that a match near the top costs little, to
// large, so that a full scan costs few round trips.
const int kFirstBatch = 8;
const int kBatch = 64;
const std::uint32_t kTitleWords = 128; // 512 bytes: the 511 that are kept, and more
const int kFrameDepth = 3;             // how deep a frame may hide its client
const int kFrameChildren = 64;         // how many children of a frame are looked at

enum Atom {
    NetSupportingWmCheck,
    NetClientListStacking,
    NetSupported,
    NetWmName,
    NetCloseWindow,
    WmState,
    WmProtocols,
    WmDeleteWindow,
    AtomCount
};
const char* const kAtomNames[AtomCount] = {
    "_NET_SUPPORTING_WM_CHECK", "_NET_CLIENT_LIST_STACKING", "_NET_SUPPORTED", "_NET_WM_NAME",
    "_NET_CLOSE_WINDOW",        "WM_STATE",                  "WM_PROTOCOLS",   "WM_DELETE_WINDOW"};

xcb_connection_t* connection;
xcb_window_t root;
xcb_atom_t atoms[AtomCount];
bool ewmh; // an EWMH window manager runs

// Title requests in flight for the windows of the current batch.
struct Titles {
    xcb_window_t window;
    xcb_get_property_cookie_t netWmName;
    xcb_get_property_cookie_t wmName;
    bool pending;
};
Titles batch[kBatch];
int batchSize;
int batchAt; // the slot LocateTargetProc is looking at

struct {
    xcb_window_t window;
    bool destroyed;
} tracked;

void IgnoreBrokenPipes()
{
    // A closed standard output or X connection must not end the tool.
    static bool done = false;
    if (!done)
        std::signal(SIGPIPE, SIG_IGN);
    done = true;
}

xcb_get_property_cookie_t AskProperty(xcb_window_t window, xcb_atom_t property, std::uint32_t words)
{
    return xcb_get_property(connection, 0, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, words);
}

// The reply, or null for a window that has gone or any other error.
xcb_get_property_reply_t* TakeProperty(xcb_get_property_cookie_t cookie)
{
    xcb_generic_error_t* error = nullptr;
    xcb_get_property_reply_t* reply = xcb_get_property_reply(connection, cookie, &error);
    std::free(error);
    return reply;
}

xcb_query_tree_reply_t* TakeTree(xcb_query_tree_cookie_t cookie)
{
    xcb_generic_error_t* error = nullptr;
    xcb_query_tree_reply_t* reply = xcb_query_tree_reply(connection, cookie, &error);
    std::free(error);
    return reply;
}

bool HasProperty(xcb_get_property_cookie_t cookie)
{
    xcb_get_property_reply_t* reply = TakeProperty(cookie);
    bool has = reply && reply->type != XCB_NONE;
    std::free(reply);
    return has;
}

// A 32-bit property's values, or none; *count says how many.
const std::uint32_t* Words(const xcb_get_property_reply_t* reply, int* count)
{
    *count = reply && reply->format == 32 ? xcb_get_property_value_length(reply) / 4 : 0;
    return *count > 0 ? static_cast<const std::uint32_t*>(xcb_get_property_value(reply)) : nullptr;
}

bool Contains(const xcb_get_property_reply_t* reply, std::uint32_t value)
{
    int count;
    const std::uint32_t* words = Words(reply, &count);
    for (int i = 0; i < count; ++i)
        if (words[i] == value)
            return true;
    return false;
}

void DrainEvents()
{
    while (xcb_generic_event_t* event = xcb_poll_for_event(connection)) {
        // Errors of requests nobody waits for arrive here too; they are of no
        // interest: a window that went away is simply passed over.
        if ((event->response_type & 0x7F) == XCB_DESTROY_NOTIFY &&
            reinterpret_cast<xcb_destroy_notify_event_t*>(event)->window == tracked.window)
            tracked.destroyed = true;
        std::free(event);
    }
}

// One round trip: every event and error caused before it is in by its end.
void Sync()
{
    std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
    DrainEvents();
}

bool Connect()
{
    IgnoreBrokenPipes();
    int screenNumber = 0;
    connection = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        connection = nullptr;
        const char* display = std::getenv("DISPLAY");
        std::fprintf(stderr, "vantrel: cannot open display %s\n",
                     display && *display ? display : "(DISPLAY is not set)");
        return false;
    }
    xcb_screen_iterator_t screen = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; i < screenNumber && screen.rem > 1; ++i)
        xcb_screen_next(&screen);
    root = screen.data->root;

    xcb_intern_atom_cookie_t cookies[AtomCount];
    for (int i = 0; i < AtomCount; ++i)
        cookies[i] = xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(std::strlen(kAtomNames[i])),
                                     kAtomNames[i]);
    for (int i = 0; i < AtomCount; ++i) {
        xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(connection, cookies[i], nullptr);
        atoms[i] = reply ? reply->atom : XCB_NONE;
        std::free(reply);
    }
    return true;
}

// The window manager's check window names itself when the manager is alive;
// a stale one left by a manager that has exited does not count.
bool EwmhManagerRuns(const xcb_get_property_reply_t* rootCheck)
{
    int count;
    const std::uint32_t* check = Words(rootCheck, &count);
    if (count < 1)
        return false;
    xcb_get_property_reply_t* own = TakeProperty(AskProperty(check[0], atoms[NetSupportingWmCheck], 1));
    bool alive = Contains(own, check[0]);
    std::free(own);
    return alive;
}

void AskTitles(Titles& slot, xcb_window_t window)
{
    slot = {window, AskProperty(window, atoms[NetWmName], kTitleWords),
            AskProperty(window, XCB_ATOM_WM_NAME, kTitleWords), true};
}

void DropTitles(Titles& slot)
{
    if (slot.pending) {
        xcb_discard_reply(connection, slot.netWmName.sequence);
        xcb_discard_reply(connection, slot.wmName.sequence);
        slot.pending = false;
    }
}

// Hands the batch's windows to LocateTargetProc in order; false once it has
// found its window.
bool OfferBatch()
{
    bool found = false;
    for (batchAt = 0; batchAt < batchSize && !found; ++batchAt)
        found = LocateTargetProc(batch[batchAt].window, 0) == 0;
    for (int i = 0; i < batchSize; ++i)
        DropTitles(batch[i]);
    batchSize = 0;
    return !found;
}

int NextBatchSize(int previous, int left)
{
    int size = previous == 0 ? kFirstBatch : previous * 2 < kBatch ? previous * 2 : kBatch;
    return size < left ? size : left;
}

// The client inside a frame of a window manager without EWMH: the nearest
// descendant that carries WM_STATE, or 0.
xcb_window_t ClientBelow(xcb_window_t frame, int depth)
{
    xcb_query_tree_reply_t* tree = TakeTree(xcb_query_tree(connection, frame));
    if (!tree)
        return 0;
    int count = xcb_query_tree_children_length(tree);
    if (count > kFrameChildren)
        count = kFrameChildren;
    const xcb_window_t* children = xcb_query_tree_children(tree);
    xcb_get_property_cookie_t states[kFrameChildren];
    for (int i = 0; i < count; ++i)
        states[i] = AskProperty(children[i], atoms[WmState], 0);
    xcb_window_t client = 0;
    for (int i = 0; i < count; ++i)
        if (HasProperty(states[i]) && !client)
            client = children[i];
    for (int i = 0; i < count && !client && depth > 1; ++i)
        client = ClientBelow(children[i], depth - 1);
    std::free(tree);
    return client;
}

// Without a window manager's client list, the root's children are clients
// or frames. Most are clients themselves: what tells a frame from a client
// is asked for along with their titles, in the same round trip.
void ReplaceFramesByClients()
{
    xcb_get_property_cookie_t states[kBatch];
    xcb_query_tree_cookie_t trees[kBatch];
    for (int i = 0; i < batchSize; ++i) {
        states[i] = AskProperty(batch[i].window, atoms[WmState], 0);
        trees[i] = xcb_query_tree(connection, batch[i].window);
    }
    for (int i = 0; i < batchSize; ++i) {
        bool client = HasProperty(states[i]);
        xcb_query_tree_reply_t* tree = TakeTree(trees[i]);
        bool parent = tree && xcb_query_tree_children_length(tree) > 0;
        std::free(tree);
        if (client || !parent)
            continue;
        xcb_window_t inner = ClientBelow(batch[i].window, kFrameDepth);
        if (inner) {
            DropTitles(batch[i]);
            AskTitles(batch[i], inner);
        }
    }
}

// Windows listed bottom to top; offered top down, a batch at a time.
void EnumTopDown(const xcb_window_t* windows, int count, bool mayBeFrames)
{
    for (int top = count, size = 0; top > 0; top -= size) {
        size = batchSize = NextBatchSize(size, top);
        for (int i = 0; i < batchSize; ++i)
            AskTitles(batch[i], windows[top - 1 - i]);
        if (mayBeFrames)
            ReplaceFramesByClients();
        if (!OfferBatch())
            return;
    }
}

// Titles as stored, of any encoding; a property that is empty or not made of
// bytes counts as missing.
bool HasTitle(const xcb_get_property_reply_t* reply)
{
    return reply && reply->format == 8 && xcb_get_property_value_length(reply) > 0;
}

void SleepUntil(const timespec& deadline)
{
    while (clock_nanosleep(CLOCK_BOOTTIME, TIMER_ABSTIME, &deadline, nullptr) == EINTR) {
    }
}

} // namespace

void PlatformSetConsoleTitle(const char* title)
{
    // Only a terminal understands the escape; a file or pipe gets none.
    if (!isatty(STDOUT_FILENO))
        return;
    PlatformWrite("\033]0;", 4);
    PlatformWrite(title, std::strlen(title));
    PlatformWrite("\a", 1);
}

void PlatformEnumWindows()
{
    if (!connection && !Connect())
        return;
    xcb_get_property_reply_t* check =
        TakeProperty(AskProperty(root, atoms[NetSupportingWmCheck], 1));
    ewmh = EwmhManagerRuns(check);
    std::free(check);

    if (ewmh) {
        xcb_get_property_reply_t* stacking =
            TakeProperty(AskProperty(root, atoms[NetClientListStacking], UINT32_MAX / 4));
        int count;
        const std::uint32_t* clients = Words(stacking, &count);
        EnumTopDown(clients, count, false);
        std::free(stacking);
    } else {
        xcb_query_tree_reply_t* tree = TakeTree(xcb_query_tree(connection, root));
        if (tree)
            EnumTopDown(xcb_query_tree_children(tree), xcb_query_tree_children_length(tree), true);
        std::free(tree);
    }
}

int PlatformGetWindowTitle(WindowHandle window, char* buffer, int size)
{
    if (!connection || size <= 0)
        return 0;
    Titles asked;
    Titles* slot = &asked;
    if (batchAt < batchSize && batch[batchAt].window == window && batch[batchAt].pending)
        slot = &batch[batchAt];
    else
        AskTitles(asked, window);

    xcb_get_property_reply_t* netWmName = TakeProperty(slot->netWmName);
    xcb_get_property_reply_t* wmName = TakeProperty(slot->wmName);
    slot->pending = false;
    const xcb_get_property_reply_t* title = HasTitle(netWmName) ? netWmName : HasTitle(wmName) ? wmName : nullptr;
    int length = 0;
    if (title) {
        int stored = xcb_get_property_value_length(title);
        int kept = stored < size - 1 ? stored : size - 1;
        std::memcpy(buffer, xcb_get_property_value(title), static_cast<std::size_t>(kept));
        buffer[kept] = '\0';
        length = static_cast<int>(std::strlen(buffer)); // a zero byte ends it early
    }
    std::free(netWmName);
    std::free(wmName);
    return length;
}

void PlatformTrackWindow(WindowHandle window)
{
    // Ids are reused once a client is gone, so watch for the window's end
    // from now on. A window already gone refuses the selection.
    tracked = {window, false};
    const std::uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    xcb_generic_error_t* error =
        xcb_request_check(connection, xcb_change_window_attributes_checked(connection, window, XCB_CW_EVENT_MASK, &mask));
    tracked.destroyed = error != nullptr;
    std::free(error);
}

bool PlatformIsTrackedWindow(WindowHandle window)
{
    if (!connection || xcb_connection_has_error(connection))
        return false;
    Sync();
    return window == tracked.window && !tracked.destroyed;
}

void PlatformSendClose(WindowHandle window)
{
    xcb_get_property_cookie_t protocolsCookie = AskProperty(window, atoms[WmProtocols], 64);
    xcb_get_property_cookie_t supportedCookie = AskProperty(root, atoms[NetSupported], UINT32_MAX / 4);
    xcb_get_property_reply_t* protocols = TakeProperty(protocolsCookie);
    xcb_get_property_reply_t* supported = TakeProperty(supportedCookie);

    xcb_client_message_event_t message = {};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = window;
    if (Contains(protocols, atoms[WmDeleteWindow])) {
        message.type = atoms[WmProtocols];
        message.data.data32[0] = atoms[WmDeleteWindow];
        message.data.data32[1] = XCB_CURRENT_TIME;
        xcb_send_event(connection, 0, window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&message));
    } else if (ewmh && Contains(supported, atoms[NetCloseWindow])) {
        // The window manager decides how to close a window that has no
        // protocol for it; 2 says the request comes from a tool, not the
        // application.
        message.type = atoms[NetCloseWindow];
        message.data.data32[0] = XCB_CURRENT_TIME;
        message.data.data32[1] = 2;
        xcb_send_event(connection, 0, root,
                       XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                       reinterpret_cast<const char*>(&message));
    }
    std::free(protocols);
    std::free(supported);
    Sync(); // delivered before the tool says so and exits
}

void PlatformWait(std::uint64_t milliseconds)
{
    if (milliseconds == 0)
        return;
    // The boot-time clock goes on counting while the machine is suspended,
    // so the request goes out when the user expects it, not later.
    timespec deadline;
    clock_gettime(CLOCK_BOOTTIME, &deadline);
    deadline.tv_sec += static_cast<time_t>(milliseconds / 1000);
    deadline.tv_nsec += static_cast<long>(milliseconds % 1000) * 1000000L;
    if (deadline.tv_nsec >= 1000000000L) {
        deadline.tv_sec += 1;
        deadline.tv_nsec -= 1000000000L;
    }

    int timer = timerfd_create(CLOCK_BOOTTIME, TFD_CLOEXEC);
    itimerspec alarm = {};
    alarm.it_value = deadline;
    if (timer < 0 || timerfd_settime(timer, TFD_TIMER_ABSTIME, &alarm, nullptr) != 0) {
        if (timer >= 0)
            close(timer);
        SleepUntil(deadline);
        return;
    }
    // Sleep on the timer and the X connection together: the events that
    // arrive meanwhile (the located window's end among them) are taken as
    // they come instead of piling up.
    pollfd fds[2] = {{timer, POLLIN, 0}, {-1, POLLIN, 0}};
    if (connection && !xcb_connection_has_error(connection)) {
        DrainEvents(); // poll() does not see what XCB has already read
        fds[1].fd = xcb_get_file_descriptor(connection);
    }
    for (;;) {
        int ready = poll(fds, 2, -1);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0) {
            SleepUntil(deadline);
            break;
        }
        if (fds[0].revents)
            break;
        if (fds[1].revents) {
            DrainEvents();
            if (xcb_connection_has_error(connection))
                fds[1].fd = -1; // a dead connection would wake the poll for ever
        }
    }
    close(timer);
}

void PlatformWrite(const char* bytes, std::size_t length)
{
    IgnoreBrokenPipes();
    while (length > 0) {
        ssize_t written = write(STDOUT_FILENO, bytes, length);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return;
        bytes += written;
        length -= static_cast<std::size_t>(written);
    }
}

const char* PlatformLineEnd()
{
    return "\n";
}
