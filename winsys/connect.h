#pragma once

// What a window system's connect step comes to: the Linux program's table
// of window systems reads it, and the parts that several steps share (the
// session bus, a compositor's socket) answer in it.

enum ConnectResult {
    ConnectDone,
    ConnectAbsent,       // nothing there to ask
    ConnectDeclined,     // reached but of no use; the step said why on standard error
    ConnectNoWindowList, // a compositor that lists no windows to ordinary programs
    ConnectNoClose,      // one that lists them, but offers ordinary programs no way to close them
};
