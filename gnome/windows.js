// vantrel's window list on the session bus: the shell's own connection
// exports /org/vantrel/Windows, so callers reach it at org.gnome.Shell.
// Both forms of the extension (GNOME 43-44 and 45 on) hold this text as it
// is; it imports nothing: the form around it hands it Gio, Meta and global.
function vantrelWindows(Gio, Meta, global) {
    const xml = '<node><interface name="org.vantrel.Windows1">' +
        '<method name="List"><arg type="a(sttuu)" direction="out"/></method>' +
        '<method name="Close"><arg type="t" direction="in"/><arg type="s" direction="out"/></method>' +
        '</interface></node>';

    // The windows the shell manages, topmost first: menus and tooltips
    // (override-redirect) are not managed.
    function stack() {
        const all = global.display.list_all_windows().filter(w => !w.is_override_redirect());
        return global.display.sort_windows_by_stacking(all).reverse();
    }

    // mutter describes an X11 window by its id, "0x1a00003".
    function x11Id(w) {
        if (w.get_client_type() !== Meta.WindowClientType.X11)
            return 0;
        const id = /^0x([0-9a-f]+)/i.exec(w.get_description() || '');
        return id ? parseInt(id[1], 16) : 0;
    }

    const methods = {
        List() {
            const rows = [];
            stack().forEach((w, place) => {
                const title = w.get_title();
                if (title)
                    rows.push([title, w.get_id(), Math.max(w.get_pid(), 0), x11Id(w), place]);
            });
            return rows;
        },
        Close(id) {
            const w = stack().find(w => w.get_id() === id);
            if (!w)
                return 'gone';
            if (!w.can_close())
                return 'noway';
            // A real time stamp: with 0 mutter never checks whether the
            // program still answers, and a hung one gets no dialog.
            w.delete(global.display.get_current_time_roundtrip());
            return 'closed';
        },
    };

    let exported = null;
    return {
        enable() {
            exported = Gio.DBusExportedObject.wrapJSObject(xml, methods);
            exported.export(Gio.DBus.session, '/org/vantrel/Windows');
        },
        disable() {
            exported.unexport();
            exported = null;
        },
    };
}
