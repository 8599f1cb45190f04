// The flash as an actor of the shell's own stage: kestrane asks over the session bus for a
// message (text, font, colour, place, screen and display time in one call); the message goes
// up in the next frame the stage paints, above everything the shell shows (full-screen windows
// and the shell's own chrome too), takes no input (clicks go to whatever is beneath), and goes
// again after the whole frames nearest its display time, timed on the refresh period from the
// frame that showed it. Each show and each end is told as a signal with the moment of that
// frame (CLOCK_MONOTONIC, microseconds).
//
// It also tells what only the shell knows and kestrane stays quiet for: the monitors with a
// full-screen window, a shared screen and Do Not Disturb. It holds no settings and nothing
// beyond the messages up now and the screen's remote-access sessions; kestrane keeps all the
// logic.
//
// This file is the body shared by both entry files: extension-legacy.js (GNOME Shell 43 and
// 44, imports.*) and extension-module.js (45 and later, ES modules) each declare St, Gio,
// GLib, Pango and Main and are put together with this file when the extension is built.

// The interface, on the well-known name org.kestrane.Flash at /org/kestrane/Flash:
//   Show(text, font, colour, x, y, monitor, ms) -> serial
//       font: a Pango font description ("DejaVu Sans, Bold 30"); colour: "#rrggbb"; x, y: the
//       letters' top left corner in the monitor's logical pixels (Main.layoutManager.monitors),
//       or in the whole stage's with monitor -1; ms: the display time (0: until Hide).
//   Hide(serial)                  takes it away in the next frame
//   Shown(serial, time)           the frame that first showed it (us, CLOCK_MONOTONIC)
//   Hidden(serial, time, frames)  the first frame without it, and the frames that showed it
//   Version (property)            2 (1: no properties below)
// and what the shell alone knows, as properties told through PropertiesChanged when they change:
//   FullScreen (a(iiii))          the monitors that have a full-screen window in front (native
//                                 Wayland windows too), each as x, y, width, height in the
//                                 stage's logical pixels, as the shell hides its top bar there
//   Shared (b)                    the screen is shared or recorded: a remote-access session
//                                 (screen cast, remote desktop, the shell's own recorder) runs,
//                                 as the shell's screen-sharing and recording indicators show
//   DoNotDisturb (b)              the shell's notification banners are off (its Do Not Disturb)
// GNOME Shell disables extensions while the screen is locked: then nothing answers here.
const BUS_NAME = 'org.kestrane.Flash';
const OBJECT_PATH = '/org/kestrane/Flash';
const VERSION = 2;
const INTERFACE = `<node>
  <interface name="org.kestrane.Flash">
    <method name="Show">
      <arg type="s" name="text" direction="in"/>
      <arg type="s" name="font" direction="in"/>
      <arg type="s" name="colour" direction="in"/>
      <arg type="i" name="x" direction="in"/>
      <arg type="i" name="y" direction="in"/>
      <arg type="i" name="monitor" direction="in"/>
      <arg type="u" name="ms" direction="in"/>
      <arg type="u" name="serial" direction="out"/>
    </method>
    <method name="Hide">
      <arg type="u" name="serial" direction="in"/>
    </method>
    <signal name="Shown">
      <arg type="u" name="serial"/>
      <arg type="x" name="time"/>
    </signal>
    <signal name="Hidden">
      <arg type="u" name="serial"/>
      <arg type="x" name="time"/>
      <arg type="u" name="frames"/>
    </signal>
    <property name="Version" type="u" access="read"/>
    <property name="FullScreen" type="a(iiii)" access="read"/>
    <property name="Shared" type="b" access="read"/>
    <property name="DoNotDisturb" type="b" access="read"/>
  </interface>
</node>`;

// A Pango font description ("DejaVu Sans Bold Italic 30") as the style of a label.
function fontStyle(description) {
    const font = Pango.FontDescription.from_string(description);
    const parts = [];
    if (font.get_family())
        parts.push(`font-family: "${font.get_family().replace(/["\\]/g, '')}"`);
    if (font.get_size() > 0)
        parts.push(`font-size: ${font.get_size() / Pango.SCALE}pt`);
    parts.push(`font-weight: ${font.get_weight()}`);
    parts.push(`font-style: ${font.get_style() === Pango.Style.NORMAL ? 'normal' : 'italic'}`);
    return parts.join('; ');
}

class FlashService {
    constructor() {
        this._messages = new Map(); // serial -> message up, or on its way up or down
        this._serial = 0;
    }

    enable() {
        this._followQuiet();
        this._dbus = Gio.DBusExportedObject.wrapJSObject(INTERFACE, this);
        this._dbus.export(Gio.DBus.session, OBJECT_PATH);
        this._owner = Gio.bus_own_name_on_connection(Gio.DBus.session, BUS_NAME,
            Gio.BusNameOwnerFlags.REPLACE, null, null);
        this._painted = global.stage.connect('after-paint', (stage, view) => this._afterPaint(view));
        this._updating = global.stage.connect('before-update', (stage, view) => this._beforeUpdate(view));
    }

    // The shell's own signals for what it shows: a full-screen window on a monitor (its top bar
    // goes), a remote-access session (its sharing and recording indicators), banners off.
    _followQuiet() {
        this._notifications = new Gio.Settings({schema_id: 'org.gnome.desktop.notifications'});
        this._handles = new Map(); // remote-access session -> its 'stopped' handler
        const tell = () => {
            const types = {FullScreen: 'a(iiii)', Shared: 'b', DoNotDisturb: 'b'};
            for (const [name, type] of Object.entries(types)) {
                const value = this[name];
                if (JSON.stringify(value) !== JSON.stringify(this._told[name])) {
                    this._told[name] = value;
                    this._dbus?.emit_property_changed(name, new GLib.Variant(type, value));
                }
            }
        };
        this._watched = [
            [global.display, global.display.connect('in-fullscreen-changed', tell)],
            [Main.layoutManager, Main.layoutManager.connect('monitors-changed', tell)],
            [this._notifications, this._notifications.connect('changed::show-banners', tell)],
        ];
        // Sessions that began before this extension was enabled (it is disabled while the
        // screen is locked) are those the shell's own indicators hold; later ones are announced.
        const follow = handle => {
            if (this._handles.has(handle))
                return;
            this._handles.set(handle, handle.connect('stopped', () => {
                this._handles.delete(handle);
                tell();
            }));
        };
        const status = Main.panel.statusArea;
        status.screenSharing?._handles?.forEach(follow);
        status.quickSettings?._remoteAccess?._handles?.forEach(follow);
        const controller = global.backend.get_remote_access_controller();
        if (controller) {
            this._watched.push([controller, controller.connect('new-handle', (c, handle) => {
                follow(handle);
                tell();
            })]);
        }
        this._told = {
            FullScreen: this.FullScreen,
            Shared: this.Shared,
            DoNotDisturb: this.DoNotDisturb,
        };
    }

    get FullScreen() {
        return Main.layoutManager.monitors
            .filter(m => global.display.get_monitor_in_fullscreen(m.index))
            .map(m => [m.x, m.y, m.width, m.height]);
    }

    get Shared() {
        return this._handles.size > 0;
    }

    get DoNotDisturb() {
        return !this._notifications.get_boolean('show-banners');
    }

    disable() {
        global.stage.disconnect(this._painted);
        global.stage.disconnect(this._updating);
        for (const [object, id] of this._watched)
            object.disconnect(id);
        this._watched = [];
        for (const [handle, id] of this._handles)
            handle.disconnect(id);
        this._handles.clear();
        this._notifications = null;
        Gio.bus_unown_name(this._owner);
        this._dbus.unexport();
        this._dbus = null;
        for (const m of this._messages.values()) {
            if (m.timer)
                GLib.source_remove(m.timer);
            m.actor?.destroy();
        }
        this._messages.clear();
    }

    get Version() {
        return VERSION;
    }

    Show(text, font, colour, x, y, monitor, ms) {
        const monitors = Main.layoutManager.monitors;
        const area = monitors[monitor] ?? {x: 0, y: 0};
        const actor = new St.Label({
            text,
            reactive: false,
            can_focus: false,
            track_hover: false,
            style: `${fontStyle(font)}; color: ${/^#[0-9a-fA-F]{6}$/.test(colour) ? colour : '#0000ff'}`,
        });
        actor.set_position(area.x + x, area.y + y);
        global.stage.add_child(actor);
        global.stage.set_child_above_sibling(actor, null);
        const serial = ++this._serial;
        // view: the stage view (monitor) whose frame showed it, up: that frame's moment; frame:
        // the view's refresh period (us); at: the moment from which it is to be gone; timer: the
        // timeout that takes it away then.
        this._messages.set(serial, {actor, ms, view: null, up: 0, frame: 0, timer: 0, at: 0});
        return serial;
    }

    // Takes a message away in the next frame; one not shown yet goes without a signal.
    Hide(serial) {
        const m = this._messages.get(serial);
        if (m?.actor)
            this._takeAway(serial, m);
    }

    // Destroying the actor repaints where it was: the next frame of its view has it gone.
    _takeAway(serial, m) {
        if (m.timer)
            GLib.source_remove(m.timer);
        m.timer = 0;
        m.actor.destroy();
        m.actor = null;
        if (m.view === null)
            this._messages.delete(serial);
    }

    // Called when the stage has painted a frame of one of its views (one per monitor): what
    // was waiting for a frame of that view is in this one. The shell gives extensions no
    // presentation feedback (the stage's "presented" signal carries a structure that GJS cannot
    // read, and GNOME Shell 43 offers no way to a view's frame clock), so the moment the frame
    // began (the main loop's time for the source dispatching it, the view's frame clock) stands
    // for the moment it was shown, and frames are counted by the time since the one that showed
    // the message, on the view's refresh period.
    //
    // Nothing asks for a frame while a message is up: a redraw asked for in every frame makes
    // the shell paint far fewer frames over a window that repaints every frame itself (a video,
    // a game). The message is taken away half a period before the time its first frame due
    // without it begins; the view's clock puts the redraw this asks for in the next refresh at
    // least half a period on, and never in a frame already begun: that frame, over a still
    // screen as over a repainting one.
    _afterPaint(view) {
        const now = GLib.main_current_source()?.get_time() ?? GLib.get_monotonic_time();
        for (const [serial, m] of this._messages) {
            if (m.view === null) {
                if (!m.actor?.peek_stage_views().includes(view))
                    continue;
                m.view = view;
                m.up = now;
                m.frame = 1e6 / (view.get_refresh_rate() || 60);
                this._emit('Shown', new GLib.Variant('(ux)', [serial, now]));
                // A message of no time stays until asked to go.
                if (m.ms === 0)
                    continue;
                const due = Math.max(1, Math.round(m.ms * 1000 / m.frame));
                m.at = now + (due - 0.5) * m.frame;
                m.timer = GLib.timeout_add(GLib.PRIORITY_HIGH,
                    Math.max(0, Math.ceil((m.at - GLib.get_monotonic_time()) / 1000)), () => {
                        m.timer = 0;
                        this._takeAway(serial, m);
                        return GLib.SOURCE_REMOVE;
                    });
            } else if (m.view === view && !m.actor) {
                this._messages.delete(serial);
                const frames = Math.max(1, Math.round((now - m.up) / m.frame));
                this._emit('Hidden', new GLib.Variant('(uxu)', [serial, now, frames]));
            }
        }
    }

    // Called as a view's frame begins, before the stage is laid out and painted: a message whose
    // time has come goes from this frame, though its timeout has not run yet (a shell busy
    // painting, over a window that repaints every frame, runs it only after the next frame).
    _beforeUpdate(view) {
        const now = GLib.main_current_source()?.get_time() ?? GLib.get_monotonic_time();
        for (const [serial, m] of this._messages) {
            if (m.view === view && m.actor && m.at && now >= m.at)
                this._takeAway(serial, m);
        }
    }

    _emit(name, args) {
        this._dbus?.emit_signal(name, args);
    }
}
