// GNOME Shell 45 and later: the extension's entry (ES modules); the body follows (flash.js).
import Gio from 'gi://Gio';
import GLib from 'gi://GLib';
import Pango from 'gi://Pango';
import St from 'gi://St';
import * as Main from 'resource:///org/gnome/shell/ui/main.js';
import {Extension} from 'resource:///org/gnome/shell/extensions/extension.js';

export default class FlashExtension extends Extension {
    enable() {
        this._service = new FlashService();
        this._service.enable();
    }

    disable() {
        this._service.disable();
        this._service = null;
    }
}
