// GNOME Shell 43 and 44: the extension's entry (imports.*); the body follows (flash.js).
const {Gio, GLib, Pango, St} = imports.gi;
const Main = imports.ui.main;

/* exported init */
function init() {
    return new FlashService();
}
