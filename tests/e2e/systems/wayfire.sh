# Sourced by run.sh: headless Wayfire from the test bed, set up as sway is;
# windows are focused through its IPC (ipc-rules), by process or title.
. "$here/systems/sway.sh"
focus() { # TITLE [PID]
    "${user[@]}" /usr/bin/python3 - "$XDG_RUNTIME_DIR/wayfire-$WAYLAND_DISPLAY-.socket" "$1" "${2:-}" <<'EOF'
import json, socket, struct, sys
def call(method, data):
    s = socket.socket(socket.AF_UNIX)
    s.connect(sys.argv[1])
    m = json.dumps({"method": method, "data": data}).encode()
    s.sendall(struct.pack("=I", len(m)) + m)
    n, b = struct.unpack("=I", s.recv(4))[0], b""
    while len(b) < n:
        b += s.recv(n - len(b))
    return json.loads(b)
key, value = ("pid", int(sys.argv[3])) if sys.argv[3] else ("title", sys.argv[2])
views = [v for v in call("window-rules/list-views", {}) if v[key] == value]
sys.exit(call("window-rules/focus-view", {"id": views[0]["id"]}).get("result") != "ok")
EOF
}
