// For the end-to-end tests only, never shipped: activates, and so raises, the
// first window with a given title (/org/vantrel/Test on the shell's bus).
// GNOME Shell 45 and later load extensions as ES modules only.
import Gio from 'gi://Gio';
import { Extension } from 'resource:///org/gnome/shell/extensions/extension.js';

const xml = '<node><interface name="org.vantrel.Test"><method name="Activate">' +
    '<arg type="s" direction="in"/><arg type="b" direction="out"/></method></interface></node>';

export default class ActivateExtension extends Extension {
    enable() {
        this._exported = Gio.DBusExportedObject.wrapJSObject(xml, {
            Activate(title) {
                const w = global.display.list_all_windows().find(w => w.get_title() === title);
                if (w)
                    w.activate(global.display.get_current_time_roundtrip());
                return w !== undefined;
            },
        });
        this._exported.export(Gio.DBus.session, '/org/vantrel/Test');
    }

    disable() {
        this._exported.unexport();
        this._exported = null;
    }
}
