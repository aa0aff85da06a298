#!/usr/bin/python3
# A stand-in for niri's IPC, which can't run here, answering as niri does:
# the windows in random order, focus times (null until focused), "Handled"
# for any close, the focused window closed when the id is missing, one
# connection per request. Its windows are those of the helpers connected to
# it, and go with them.
#   niri.py serve DIR                      NIRI_SOCKET at DIR/niri.sock
#   niri.py window DIR SECONDS FLAGS:TITLE a helper that logs as wlhelper does
#   niri.py focus DIR PID                  the helper's windows take the focus
# FLAGS: keep (ignores the close), unfocused (opened without the focus), old
# (as niri before 25.11: no focus times, nor null keys, in any reply while it
# is open), *N (N copies).
import json, os, random, selectors, socket, sys, time

def serve(d):
    windows, sel, focused, made = {}, selectors.DefaultSelector(), [0], [0]
    def now():
        t = time.monotonic_ns()
        return {"secs": t // 10**9, "nanos": t % 10**9}
    def describe(w, old):
        d = {"id": w["id"], "title": w["title"] or None, "app_id": "vantrel.test", "pid": w["pid"], "workspace_id": 1,
             "is_focused": w["id"] == focused[0], "is_floating": False, "is_urgent": False, "focus_timestamp": w["stamp"],
             "layout": {"pos_in_scrolling_layout": [1, w["id"]], "tile_size": [640.0, 480.0], "window_size": [640, 480]}}
        return {k: v for k, v in d.items() if v is not None and k != "focus_timestamp"} if old else d
    def answer(c, request):
        if request == "Windows":
            listed, old = list(windows.values()), any("old" in w["flags"] for w in windows.values())
            random.shuffle(listed)
            return {"Ok": {"Windows": [describe(w, old) for w in listed]}}
        if isinstance(request, dict) and "CloseWindow" in request.get("Action", {}):
            w = windows.get((request["Action"]["CloseWindow"] or {}).get("id") or focused[0])
            if w:
                w["helper"].sendall(b"close %08X\n" % w["id"])
            return {"Ok": "Handled"}
        return {"Err": "error parsing request"}
    def ipc(server):
        c = server.accept()[0]
        c.settimeout(2)
        try:
            line = c.makefile("rb").readline()
            if line:
                c.sendall(json.dumps(answer(c, json.loads(line)), ensure_ascii=False).encode(errors="surrogateescape") + b"\n")
        except Exception:  # a request of no known form is let go
            pass
        c.close()
    def control(server):
        c = server.accept()[0]
        asked = json.loads(c.makefile("rb").readline())
        for w in windows.values():
            if w["pid"] == asked["pid"] and asked["do"] == "focus":
                w["stamp"], focused[0] = now(), w["id"]
        if asked["do"] == "focus":
            return c.close()
        ids = list(range(made[0] + 1, made[0] + 1 + asked["copies"]))  # never given again
        made[0] = ids[-1]
        for i in ids:
            windows[i] = {"id": i, "title": asked["title"], "pid": asked["pid"], "flags": asked["flags"], "helper": c,
                          "stamp": None if "unfocused" in asked["flags"] else now()}
            focused[0] = i if windows[i]["stamp"] else focused[0]
        c.sendall(json.dumps(ids).encode() + b"\n")
        sel.register(c, selectors.EVENT_READ, lambda c: gone(c))
    def gone(c):
        for i in [i for i, w in windows.items() if w["helper"] is c]:
            del windows[i]
        sel.unregister(c)
        c.close()
    for name, handler in (("niri.sock", ipc), ("control.sock", control)):
        s = socket.socket(socket.AF_UNIX)
        s.bind(f"{d}/{name}")
        s.listen(64)
        sel.register(s, selectors.EVENT_READ, handler)
    print("ready", flush=True)
    while True:
        for key, _ in sel.select():
            key.data(key.fileobj)

def window(d, seconds, described):
    flags, title = described.split(":", 1)
    flags = flags.split(",")
    copies = next((int(f[1:]) for f in flags if f.startswith("*")), 1)
    c = socket.socket(socket.AF_UNIX)
    c.connect(f"{d}/control.sock")
    c.sendall(json.dumps({"do": "open", "title": title, "flags": flags, "copies": copies, "pid": os.getpid()}).encode() + b"\n")
    lines = c.makefile("rb")
    for i in json.loads(lines.readline())[: 1 if copies == 1 else 0]:
        os.write(1, b"window %08X " % i + os.fsencode(title) + b"\n")
    print("ready", flush=True)
    c.settimeout(seconds)
    try:
        for line in lines:  # "close ID"
            print(line.decode().strip(), time.monotonic_ns(), flush=True)
            if "keep" not in flags:
                return print("destroyed", line.split()[1].decode(), flush=True)
    except OSError:  # its time is up
        pass

if sys.argv[1] == "serve":
    serve(sys.argv[2])
elif sys.argv[1] == "window":
    window(sys.argv[2], int(sys.argv[3]), sys.argv[4])
else:
    c = socket.socket(socket.AF_UNIX)
    c.connect(f"{sys.argv[2]}/control.sock")
    c.sendall(json.dumps({"do": "focus", "pid": int(sys.argv[3])}).encode() + b"\n")
    c.recv(1)
