// X11 desktops (XWayland included): the window-system operations over XCB.
//
// Top-level windows are the window manager's clients, topmost first, or,
// without a usable EWMH stacking list, the root's children top down with
// frames replaced by the client inside them. Titles are requested a batch
// at a time so that a scan costs a round trip or two per batch, not per
// window.
//
// Every exchange with the server has a deadline of its own: the set-up, the
// start of the list, each batch, each question about one window, the close
// and the round trip after it. Once one has passed, or the connection has
// broken, nothing more is asked. Requests themselves never wait: at most a
// batch of them (under 64 KiB) is unanswered at a time, well within what
// the socket holds.

#include <poll.h>
#include <xcb/xcb.h>
#include <xcb/xcbext.h>

#include <cstdlib>
#include <cstring>

#include "core/constants.h"
#include "core/core.h"
#include "winsys/linux.h"
#include "winsys/os_linux.h"
#include "winsys/x11_connect.h"

namespace {

// Batches grow fast from small, so that a match near the top costs little,
// to large, so that a full scan costs few round trips.
const int kFirstBatch = 8;
const int kBatch = 1024;
const std::uint32_t kTitleWords = kTitleSize / 4; // the bytes that are kept, and more
const std::uint32_t kAllWords = UINT32_MAX / 4;
const int kFrameDepth = 3;     // how deep a frame may hide its client
const int kFrameChildren = 64; // how many children of a frame are looked at

enum Atom {
    NetSupportingWmCheck,
    NetClientListStacking,
    NetSupported,
    NetWmName,
    NetWmPid,
    NetCloseWindow,
    WmState,
    WmProtocols,
    WmDeleteWindow,
    AtomCount
};
const char* const kAtomNames[AtomCount] = {
    "_NET_SUPPORTING_WM_CHECK", "_NET_CLIENT_LIST_STACKING", "_NET_SUPPORTED", "_NET_WM_NAME", "_NET_WM_PID",
    "_NET_CLOSE_WINDOW",        "WM_STATE",                  "WM_PROTOCOLS",   "WM_DELETE_WINDOW"};

xcb_connection_t* connection;
const char* displayName;
xcb_window_t root;
xcb_atom_t atoms[AtomCount];
bool ewmh; // an EWMH window manager runs

// The titles of the current batch's windows, asked for or already in.
struct Titles {
    xcb_window_t window;
    xcb_get_property_cookie_t cookie;
    xcb_get_property_reply_t* reply;
    bool pending;
};
Titles batch[kBatch];
int batchSize;

struct {
    xcb_window_t window;
    bool destroyed;
} tracked;

enum Fault { Answering, Mute, Broken };
Fault fault;
std::uint64_t deadline;

void Exchange()
{
    deadline = OsClock() + kAnswerMs;
}

// The reply to a request, waited for until the deadline; null for an error,
// and for every request once the server is mute or the connection broken.
void* Reply(unsigned int sequence)
{
    if (fault != Answering)
        return nullptr;
    if (xcb_flush(connection) <= 0) {
        fault = Broken;
        return nullptr;
    }
    for (;;) {
        void* reply = nullptr;
        xcb_generic_error_t* error = nullptr;
        if (xcb_poll_for_reply(connection, sequence, &reply, &error)) {
            std::free(error);
            if (!reply && xcb_connection_has_error(connection))
                fault = Broken;
            return reply;
        }
        std::uint64_t now = OsClock();
        if (now >= deadline) {
            fault = Mute;
            return nullptr;
        }
        pollfd fd = {xcb_get_file_descriptor(connection), POLLIN, 0};
        poll(&fd, 1, static_cast<int>(deadline - now));
    }
}

// The line for standard error once the server has failed the tool.
void TellFault()
{
    if (fault == Mute)
        PrintError("the X server at %s did not answer within %d s", displayName, kAnswerSeconds);
    else
        PrintError("the connection to the X server at %s was lost", displayName);
}

xcb_get_property_cookie_t AskProperty(xcb_window_t window, xcb_atom_t property, std::uint32_t words)
{
    return xcb_get_property(connection, 0, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, words);
}

// The reply, or null for a window that has gone or any other error.
xcb_get_property_reply_t* TakeProperty(xcb_get_property_cookie_t cookie)
{
    return static_cast<xcb_get_property_reply_t*>(Reply(cookie.sequence));
}

xcb_query_tree_reply_t* TakeTree(xcb_query_tree_cookie_t cookie)
{
    return static_cast<xcb_query_tree_reply_t*>(Reply(cookie.sequence));
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
// False when the server did not come back.
bool Sync()
{
    void* reply = Reply(xcb_get_input_focus(connection).sequence);
    std::free(reply);
    DrainEvents();
    return reply != nullptr;
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

// Titles as stored, of any encoding; a property that is empty, not made of
// bytes, or empty up to its first zero byte counts as missing.
bool HasTitle(const xcb_get_property_reply_t* reply)
{
    return reply && reply->format == 8 && xcb_get_property_value_length(reply) > 0 &&
           *static_cast<const char*>(xcb_get_property_value(reply)) != '\0';
}

void AskTitle(Titles& slot, xcb_window_t window)
{
    slot = {window, AskProperty(window, atoms[NetWmName], kTitleWords), nullptr, true};
}

void DropTitle(Titles& slot)
{
    if (slot.pending)
        xcb_discard_reply(connection, slot.cookie.sequence);
    std::free(slot.reply);
    slot = {};
}

// Most programs store _NET_WM_NAME; WM_NAME is asked for only where it is
// missing, all of the batch's in one round trip.
void TakeTitles(Titles* slots, int count)
{
    for (int i = 0; i < count; ++i) {
        slots[i].reply = TakeProperty(slots[i].cookie);
        slots[i].pending = !HasTitle(slots[i].reply) && fault == Answering;
        if (slots[i].pending)
            slots[i].cookie = AskProperty(slots[i].window, XCB_ATOM_WM_NAME, kTitleWords);
    }
    for (int i = 0; i < count; ++i) {
        if (!slots[i].pending)
            continue;
        std::free(slots[i].reply);
        slots[i].reply = TakeProperty(slots[i].cookie);
        slots[i].pending = false;
    }
}

// The title as stored, up to size - 1 bytes; a zero byte ends it early.
int CopyTitle(const xcb_get_property_reply_t* reply, char* buffer, int size)
{
    if (size <= 0 || !HasTitle(reply))
        return 0;
    int stored = xcb_get_property_value_length(reply);
    int kept = stored < size - 1 ? stored : size - 1;
    std::memcpy(buffer, xcb_get_property_value(reply), static_cast<std::size_t>(kept));
    buffer[kept] = '\0';
    return static_cast<int>(std::strlen(buffer));
}

// Offers the batch's windows in order; false once the visitor has stopped.
bool OfferBatch(WindowVisitor visit, void* context)
{
    TakeTitles(batch, batchSize);
    bool goOn = true;
    for (int i = 0; i < batchSize && goOn; ++i) {
        char title[kTitleSize];
        if (CopyTitle(batch[i].reply, title, kTitleSize) > 0)
            goOn = visit(context, batch[i].window, title);
    }
    for (int i = 0; i < batchSize; ++i)
        DropTitle(batch[i]);
    batchSize = 0;
    return goOn;
}

int NextBatchSize(int previous, int left)
{
    int size = previous == 0 ? kFirstBatch : previous * 8 < kBatch ? previous * 8 : kBatch;
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

// Without a window manager's stacking list, the root's children are clients
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
            DropTitle(batch[i]);
            AskTitle(batch[i], inner);
        }
    }
}

// Windows listed bottom to top; offered top down, a batch at a time.
void EnumTopDown(const xcb_window_t* windows, int count, bool mayBeFrames, WindowVisitor visit, void* context)
{
    for (int top = count, size = 0; top > 0 && fault == Answering; top -= size) {
        Exchange();
        size = batchSize = NextBatchSize(size, top);
        for (int i = 0; i < batchSize; ++i)
            AskTitle(batch[i], windows[top - 1 - i]);
        if (mayBeFrames)
            ReplaceFramesByClients();
        if (!OfferBatch(visit, context))
            return;
    }
}

ListOutcome EnumWindows(const char*, WindowVisitor visit, void* context)
{
    // The stacking list is asked for along with the manager's check, to save
    // a round trip; it counts only when a manager runs.
    Exchange();
    xcb_get_property_cookie_t checkCookie = AskProperty(root, atoms[NetSupportingWmCheck], 1);
    xcb_get_property_cookie_t stackingCookie = AskProperty(root, atoms[NetClientListStacking], kAllWords);
    xcb_get_property_reply_t* check = TakeProperty(checkCookie);
    xcb_get_property_reply_t* stacking = TakeProperty(stackingCookie);
    ewmh = EwmhManagerRuns(check);
    std::free(check);

    // Some managers (dwm among them) keep no stacking list, or one of
    // another format; the root's children are in stacking order too.
    if (ewmh && stacking && stacking->format == 32 && stacking->type == XCB_ATOM_WINDOW) {
        int count;
        const std::uint32_t* clients = Words(stacking, &count);
        EnumTopDown(clients, count, false, visit, context);
    } else {
        xcb_query_tree_reply_t* tree = TakeTree(xcb_query_tree(connection, root));
        if (tree)
            EnumTopDown(xcb_query_tree_children(tree), xcb_query_tree_children_length(tree), true, visit, context);
        std::free(tree);
    }
    std::free(stacking);
    if (fault == Answering)
        return ListDone;
    TellFault();
    return ListLost;
}

int ReadTitle(WindowHandle window, char* buffer, int size)
{
    Titles asked = {};
    Exchange();
    AskTitle(asked, window);
    TakeTitles(&asked, 1);
    int length = CopyTitle(asked.reply, buffer, size);
    DropTitle(asked);
    return length;
}

TerminalHint HostsOwnTerminal(WindowHandle window)
{
    Exchange();
    xcb_get_property_reply_t* pid = TakeProperty(AskProperty(window, atoms[NetWmPid], 1));
    int count;
    const std::uint32_t* words = Words(pid, &count);
    Kin kin = count == 0 ? KinUnknown : OsIsAncestorProcess(words[0]) ? KinAncestor : KinOther;
    std::free(pid);
    return TerminalByProcess(window == OsTerminalWindowId(), kin);
}

// Titles are read anew by each listing; a short pause between them.
void AwaitTitles(std::uint64_t until)
{
    std::uint64_t left = TimeLeft(until);
    OsSleep(left < 10 ? static_cast<std::uint32_t>(left) : 10, -1);
}

void TrackWindow(WindowHandle window, const char*)
{
    // Ids are reused once a client is gone, so watch for the window's end
    // from now on. A window already gone refuses the selection, which is
    // known once the round trip after it is done.
    tracked = {.window = window, .destroyed = false};
    const std::uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    Exchange();
    xcb_void_cookie_t cookie = xcb_change_window_attributes_checked(connection, window, XCB_CW_EVENT_MASK, &mask);
    bool answered = Sync();
    void* none = nullptr;
    xcb_generic_error_t* error = nullptr;
    if (answered)
        xcb_poll_for_reply(connection, cookie.sequence, &none, &error);
    tracked.destroyed = !answered || error != nullptr;
    std::free(error);
}

// Gives the close up. A server that only stopped answering may still carry
// out the grab later: the release goes right after it. A broken connection
// holds nothing.
CloseOutcome GiveUp(CloseOutcome outcome)
{
    if (fault == Broken)
        return CloseLost;
    xcb_ungrab_server(connection);
    xcb_flush(connection);
    return outcome;
}

CloseOutcome CloseTracked(WindowHandle window)
{
    if (xcb_connection_has_error(connection))
        return CloseLost;
    if (window != tracked.window)
        return CloseGone;
    // With the server grabbed no client can destroy the window, or create
    // one under its id, between this check and the request.
    Exchange();
    xcb_grab_server(connection);
    if (!Sync())
        return GiveUp(CloseMute);
    if (tracked.destroyed)
        return GiveUp(CloseGone);
    xcb_get_property_cookie_t protocolsCookie = AskProperty(window, atoms[WmProtocols], kAllWords);
    xcb_get_property_cookie_t supportedCookie = AskProperty(root, atoms[NetSupported], kAllWords);
    xcb_get_property_reply_t* protocols = TakeProperty(protocolsCookie);
    xcb_get_property_reply_t* supported = TakeProperty(supportedCookie);
    if (fault != Answering) {
        std::free(protocols);
        std::free(supported);
        return GiveUp(CloseMute);
    }

    CloseOutcome outcome = CloseDelivered;
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
    } else {
        outcome = CloseNoWay;
    }
    std::free(protocols);
    std::free(supported);
    xcb_ungrab_server(connection);
    // Delivered before the tool says so and exits; the round trip after the
    // request has a deadline of its own.
    Exchange();
    if (!Sync() && outcome == CloseDelivered)
        return CloseUnsure;
    return outcome;
}

int WakeHandle()
{
    DrainEvents(); // poll() does not see what XCB has already read
    // A dead connection would wake the sleep for ever.
    return xcb_connection_has_error(connection) ? -1 : xcb_get_file_descriptor(connection);
}

void Dispatch()
{
    DrainEvents();
}

} // namespace

ConnectResult ConnectX11(WindowSystem* desktop, const char** where)
{
    const char* display = std::getenv("DISPLAY");
    *where = display && *display ? display : "DISPLAY is not set";
    if (!display || !*display)
        return ConnectAbsent;
    displayName = display;
    int screenNumber = 0;
    bool mute = false;
    Exchange();
    connection = X11Connect(display, &screenNumber, deadline, &mute);
    if (!connection) {
        if (!mute)
            return ConnectAbsent;
        fault = Mute;
        TellFault();
        return ConnectDeclined;
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
        auto* reply = static_cast<xcb_intern_atom_reply_t*>(Reply(cookies[i].sequence));
        atoms[i] = reply ? reply->atom : XCB_NONE;
        std::free(reply);
    }
    if (fault != Answering) {
        TellFault();
        return ConnectDeclined;
    }
    *desktop = {
        .enumWindows = EnumWindows,
        .readTitle = ReadTitle,
        .hostsOwnTerminal = HostsOwnTerminal,
        .awaitTitles = AwaitTitles,
        .trackWindow = TrackWindow,
        .closeTracked = CloseTracked,
        .wakeHandle = WakeHandle,
        .dispatch = Dispatch,
        .refusal = "",
    };
    return ConnectDone;
}
