#!/usr/bin/python3
# A stand-in for a KWin or a GNOME Shell that fails, for the end-to-end
# tests: run inside dbus-run-session, it owns org.kde.KWin with a /Scripting
# object that takes scripts in (or org.gnome.Shell with vantrel's extension),
# and runs COMMAND on that bus.
#
#   dbus-run-session -- standin.py MODE COMMAND...
#
# silent: a script stays loaded and never calls back, as under a KWin that
# has stopped answering. failing: a script is dropped when it is run, as KWin
# drops one that fails. wrong: a script answers with a number where the list
# should be. gone, dies: the first script answers with one window, "Stand-in
# Report"; then KWin leaves the bus, as if killed: a second later (gone), or
# when asked the next question, before answering it (dies); unknown: then
# answers the close request with a word KWin's script never says.
# shell-unknown: GNOME Shell's extension lists "Stand-in Report" and answers
# its Close so. Ends with COMMAND's status.
import re, subprocess, sys
from gi.repository import Gio, GLib

SCRIPTING = """<node><interface name="org.kde.kwin.Scripting">
<method name="loadScript"><arg type="s" direction="in"/><arg type="s" direction="in"/><arg type="i" direction="out"/></method>
<method name="unloadScript"><arg type="s" direction="in"/><arg type="b" direction="out"/></method>
<method name="isScriptLoaded"><arg type="s" direction="in"/><arg type="b" direction="out"/></method>
<method name="start"/></interface></node>"""
SCRIPT = '<node><interface name="org.kde.kwin.Script"><method name="run"/></interface></node>'
WINDOWS = """<node><interface name="org.vantrel.Windows1">
<method name="List"><arg type="a(sttuu)" direction="out"/></method>
<method name="Close"><arg type="t" direction="in"/><arg type="s" direction="out"/></method></interface></node>"""
mode = sys.argv[1]
WINDOW = ["Stand-in Report", "1", "{5ca1ab1e-0000-4000-8000-000000000001}", "0", "0"]  # as the list script sends it
loaded, paths = [], []  # the scripts' names (None once unloaded) and files, by id


def scripting(bus, sender, path, interface, method, args, call):
    args = args.unpack()
    if method == "loadScript" and mode == "dies" and loaded:
        bus.close_sync(None)
    elif method == "loadScript":
        loaded.append(args[1])
        paths.append(args[0])
        bus.register_object("/%d" % (len(loaded) - 1), script_info, run, None, None)
        call.return_value(GLib.Variant("(i)", (len(loaded) - 1,)))
    elif method in ("isScriptLoaded", "unloadScript"):
        known = args[0] in loaded
        if method == "unloadScript" and known:
            loaded[loaded.index(args[0])] = None
        call.return_value(GLib.Variant("(b)", (known,)))
    else:
        call.return_value(None)


def run(bus, sender, path, interface, method, args, call):
    n = int(path[1:])
    # What the script would send, to where it names.
    script = open(paths[n]).read()
    said = dict(re.findall(r"var (\w+) = '([^']*)';", script.encode().decode("unicode_escape")))
    body = (said["TOKEN"], 7) if mode == "wrong" else (said["TOKEN"], [GLib.Variant("s", f) for f in WINDOW])
    if mode == "unknown" and "'Closed'" in script:
        bus.call(said["DEST"], said["PATH"], said["IFACE"], "Closed", GLib.Variant("(ss)", (said["TOKEN"], "perhaps")),
                 None, 0, -1, None, None)
    elif mode == "failing":
        loaded[n] = None
    elif mode != "silent":
        bus.call(said["DEST"], said["PATH"], said["IFACE"], "Windows",
                 GLib.Variant("(si)" if mode == "wrong" else "(sav)", body), None, 0, -1, None, None)
    call.return_value(None)
    if mode == "gone":
        GLib.timeout_add(1000, lambda: bus.close_sync(None) and False)


def shell(bus, sender, path, interface, method, args, call):
    call.return_value(GLib.Variant("(a(sttuu))", ([("Stand-in Report", 7, 0, 0, 0)],)) if method == "List"
                      else GLib.Variant("(s)", ("perhaps",)))


def started(bus, name):
    global command
    bus.set_exit_on_close(False)
    if mode == "shell-unknown":
        bus.register_object("/org/vantrel/Windows", windows_info, shell, None, None)
    else:
        bus.register_object("/Scripting", scripting_info, scripting, None, None)
    command = subprocess.Popen(sys.argv[2:])
    GLib.child_watch_add(GLib.PRIORITY_DEFAULT, command.pid, lambda *_: loop.quit())


scripting_info = Gio.DBusNodeInfo.new_for_xml(SCRIPTING).interfaces[0]
script_info = Gio.DBusNodeInfo.new_for_xml(SCRIPT).interfaces[0]
windows_info = Gio.DBusNodeInfo.new_for_xml(WINDOWS).interfaces[0]
loop = GLib.MainLoop()
Gio.bus_own_name(Gio.BusType.SESSION, "org.gnome.Shell" if mode == "shell-unknown" else "org.kde.KWin", 0, None,
                 started, None)
loop.run()
sys.exit(command.wait())
