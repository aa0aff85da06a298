#!/usr/bin/python3
# A stand-in for KWin whose scripts never answer, for the end-to-end tests:
# run inside dbus-run-session, it owns org.kde.KWin with a /Scripting object
# that takes scripts in but never runs them, and runs COMMAND on that bus.
#
#   dbus-run-session -- silentkwin.py silent|failing COMMAND...
#
# silent: a script stays loaded and never calls back, as under a KWin that
# has stopped answering. failing: a script is dropped when it is run, as KWin
# drops one that fails. Ends with COMMAND's status.
import subprocess, sys
from gi.repository import Gio, GLib

SCRIPTING = """<node><interface name="org.kde.kwin.Scripting">
<method name="loadScript"><arg type="s" direction="in"/><arg type="s" direction="in"/><arg type="i" direction="out"/></method>
<method name="unloadScript"><arg type="s" direction="in"/><arg type="b" direction="out"/></method>
<method name="isScriptLoaded"><arg type="s" direction="in"/><arg type="b" direction="out"/></method>
<method name="start"/></interface></node>"""
SCRIPT = '<node><interface name="org.kde.kwin.Script"><method name="run"/></interface></node>'
failing = sys.argv[1] == "failing"
loaded = []  # the scripts' names, by id; None once unloaded


def scripting(bus, sender, path, interface, method, args, call):
    args = args.unpack()
    name = args[0] if args else None
    if method == "loadScript":
        loaded.append(args[1])
        bus.register_object("/%d" % (len(loaded) - 1), script_info, run, None, None)
        call.return_value(GLib.Variant("(i)", (len(loaded) - 1,)))
    elif method in ("isScriptLoaded", "unloadScript"):
        known = name in loaded
        if method == "unloadScript" and known:
            loaded[loaded.index(name)] = None
        call.return_value(GLib.Variant("(b)", (known,)))
    else:
        call.return_value(None)


def run(bus, sender, path, interface, method, args, call):
    if failing:
        loaded[int(path[1:])] = None
    call.return_value(None)


def started(bus, name):
    bus.register_object("/Scripting", scripting_info, scripting, None, None)
    command = subprocess.Popen(sys.argv[2:])
    GLib.child_watch_add(GLib.PRIORITY_DEFAULT, command.pid, lambda pid, status: loop.quit())
    global result
    result = command


scripting_info = Gio.DBusNodeInfo.new_for_xml(SCRIPTING).interfaces[0]
script_info = Gio.DBusNodeInfo.new_for_xml(SCRIPT).interfaces[0]
loop = GLib.MainLoop()
Gio.bus_own_name(Gio.BusType.SESSION, "org.kde.KWin", 0, None, started, None)
loop.run()
sys.exit(result.wait())
