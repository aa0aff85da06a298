// For the end-to-end tests only, never shipped: activates, and so raises, the
// first window with a given title (/org/vantrel/Test on the shell's bus).
const { Gio } = imports.gi;

const xml = '<node><interface name="org.vantrel.Test"><method name="Activate">' +
    '<arg type="s" direction="in"/><arg type="b" direction="out"/></method></interface></node>';

function init() {
    let exported = null;
    return {
        enable() {
            exported = Gio.DBusExportedObject.wrapJSObject(xml, {
                Activate(title) {
                    const w = global.display.list_all_windows().find(w => w.get_title() === title);
                    if (w)
                        w.activate(global.display.get_current_time_roundtrip());
                    return w !== undefined;
                },
            });
            exported.export(Gio.DBus.session, '/org/vantrel/Test');
        },
        disable() {
            exported.unexport();
            exported = null;
        },
    };
}
