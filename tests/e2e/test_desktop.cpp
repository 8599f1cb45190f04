// What a desktop offers programs, played for the end-to-end tests: on the session bus a
// StatusNotifier watcher and host (as KDE Plasma, GNOME with the AppIndicator extension, XFCE
// and most panels run one) and a notification server; and what a test asks the X server about
// a window. One program, four commands:
//
//   test_desktop serve [--no-tray]
//                       owns org.kde.StatusNotifierWatcher (with a host registered; not with
//                       --no-tray, as on plain GNOME) and org.freedesktop.Notifications; prints
//                       one line per event, flushed:
//                         ready
//                         item <service><path>        an item registered
//                         gone <service><path>        its owner left the bus
//                         notify <app>|<summary>|<body>
//   test_desktop show [png]
//                       reads the properties of the one registered item, one per line
//                       ("Status Active", "ToolTip <title>|<subtitle>", "IconPixmap 32x32
//                       opaque=812", ...), and writes its largest icon pixmap to png
//   test_desktop call <Method> <x> <y>
//                       calls Activate, ContextMenu or SecondaryActivate of that item at the
//                       point, as a host does on a click, without waiting for the reply (the
//                       item may answer only when its menu closes)
//   test_desktop window <name> [<other>]
//                       the topmost top-level X window that is on screen and named name, or
//                       holds one so named (as a window manager's frame does):
//                       "override-redirect yes|no", "input-rectangles <n>" (its input shape),
//                       and with other "above <other> yes|no" (its place in the stacking order
//                       against the topmost window on screen named other); status 1 when there
//                       is none on screen
#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QImage>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

#include <cstdio>
#include <string>
#include <vector>

namespace {

const QString kWatcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString kWatcherPath = QStringLiteral("/StatusNotifierWatcher");
const QString kItemInterface = QStringLiteral("org.kde.StatusNotifierItem");

void Print(const QString& line) {
    std::printf("%s\n", line.toUtf8().constData());
    std::fflush(stdout);
}

class Watcher : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ items)
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ hostRegistered)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)

  public:
    Watcher() {
        owners_.setConnection(QDBusConnection::sessionBus());
        owners_.setWatchMode(QDBusServiceWatcher::WatchForUnregistration);
        connect(&owners_, &QDBusServiceWatcher::serviceUnregistered, this, &Watcher::OwnerGone);
    }
    QStringList items() const { return items_; }
    bool hostRegistered() const { return true; }
    int protocolVersion() const { return 0; }

  public slots:
    // An item names its service (its path then is /StatusNotifierItem) or only its path.
    void RegisterStatusNotifierItem(const QString& serviceOrPath) {
        const QString sender = message().service();
        const QString item = serviceOrPath.startsWith(u'/')
                                 ? sender + serviceOrPath
                                 : serviceOrPath + QStringLiteral("/StatusNotifierItem");
        if (!items_.contains(item)) {
            items_.append(item);
            owners_.addWatchedService(item.left(item.indexOf(u'/')));
            emit StatusNotifierItemRegistered(item);
            Print(QStringLiteral("item ") + item);
        }
    }
    void RegisterStatusNotifierHost(const QString&) { emit StatusNotifierHostRegistered(); }

  signals:
    void StatusNotifierItemRegistered(const QString& item);
    void StatusNotifierItemUnregistered(const QString& item);
    void StatusNotifierHostRegistered();

  private:
    void OwnerGone(const QString& service) {
        for (const QString& item : QStringList(items_)) {
            if (item.startsWith(service + u'/')) {
                items_.removeAll(item);
                emit StatusNotifierItemUnregistered(item);
                Print(QStringLiteral("gone ") + item);
            }
        }
    }

    QStringList items_;
    QDBusServiceWatcher owners_;
};

class Notifications : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

  public slots:
    uint Notify(const QString& app, uint, const QString&, const QString& summary,
                const QString& body, const QStringList&, const QVariantMap&, int) {
        Print(QStringLiteral("notify %1|%2|%3").arg(app, summary, body));
        return ++last_;
    }
    void CloseNotification(uint) {}
    QStringList GetCapabilities() { return {QStringLiteral("body")}; }
    QString GetServerInformation(QString& vendor, QString& version, QString& specVersion) {
        vendor = QStringLiteral("kestrane tests");
        version = QStringLiteral("1");
        specVersion = QStringLiteral("1.2");
        return QStringLiteral("test_desktop");
    }

  signals:
    void NotificationClosed(uint id, uint reason);
    void ActionInvoked(uint id, const QString& action);

  private:
    uint last_ = 0;
};

int Serve(bool tray) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    Watcher watcher;
    Notifications notifications;
    const auto all = QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals |
                     QDBusConnection::ExportAllProperties;
    const bool trayUp =
        !tray ||
        (bus.registerObject(kWatcherPath, &watcher, all) && bus.registerService(kWatcherService) &&
         bus.registerService(QStringLiteral("org.kde.StatusNotifierHost-%1")
                                 .arg(QCoreApplication::applicationPid())));
    if (!trayUp ||
        !bus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &notifications,
                            all) ||
        !bus.registerService(QStringLiteral("org.freedesktop.Notifications"))) {
        std::fprintf(stderr, "test_desktop: cannot own the names: %s\n",
                     bus.lastError().message().toUtf8().constData());
        return 1;
    }
    Print(QStringLiteral("ready"));
    return QCoreApplication::exec();
}

// The one registered item as {service, path}, or empty.
QStringList TheItem() {
    QDBusMessage get = QDBusMessage::createMethodCall(
        kWatcherService, kWatcherPath, QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("Get"));
    get << kWatcherService << QStringLiteral("RegisteredStatusNotifierItems");
    const QDBusReply<QDBusVariant> reply = QDBusConnection::sessionBus().call(get);
    const QStringList items =
        reply.isValid() ? reply.value().variant().toStringList() : QStringList();
    if (items.size() != 1) {
        std::fprintf(stderr, "test_desktop: %lld items registered\n",
                     static_cast<long long>(items.size()));
        return {};
    }
    const qsizetype slash = items[0].indexOf(u'/');
    return {items[0].left(slash), items[0].mid(slash)};
}

struct Picture {
    int width = 0;
    int height = 0;
    QByteArray argb;  // network byte order
};

// Reads an array of pictures (a(iiay)) where arg stands.
std::vector<Picture> Pixmaps(const QDBusArgument& arg) {
    std::vector<Picture> out;
    arg.beginArray();
    while (!arg.atEnd()) {
        Picture p;
        arg.beginStructure();
        arg >> p.width >> p.height >> p.argb;
        arg.endStructure();
        out.push_back(p);
    }
    arg.endArray();
    return out;
}

int Show(const QString& png) {
    const QStringList item = TheItem();
    if (item.isEmpty()) {
        return 1;
    }
    QDBusMessage getAll = QDBusMessage::createMethodCall(
        item[0], item[1], QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("GetAll"));
    getAll << kItemInterface;
    const QDBusMessage reply = QDBusConnection::sessionBus().call(getAll);
    if (reply.type() != QDBusMessage::ReplyMessage) {
        std::fprintf(stderr, "test_desktop: %s\n", reply.errorMessage().toUtf8().constData());
        return 1;
    }
    const QVariantMap props = qdbus_cast<QVariantMap>(reply.arguments().value(0));
    for (const char* name : {"Id", "Title", "Category", "Status", "IconName", "ItemIsMenu"}) {
        Print(QStringLiteral("%1 %2").arg(QLatin1String(name),
                                          props.value(QLatin1String(name)).toString()));
    }
    Print(QStringLiteral("Menu ") +
          props.value(QStringLiteral("Menu")).value<QDBusObjectPath>().path());
    {
        QString icon, title, subtitle;
        const QDBusArgument tip = props.value(QStringLiteral("ToolTip")).value<QDBusArgument>();
        tip.beginStructure();
        tip >> icon;
        Pixmaps(tip);  // the tooltip's own pictures
        tip >> title >> subtitle;
        tip.endStructure();
        Print(QStringLiteral("ToolTip %1|%2").arg(title, subtitle));
    }
    const std::vector<Picture> pixmaps =
        Pixmaps(props.value(QStringLiteral("IconPixmap")).value<QDBusArgument>());
    const Picture* largest = nullptr;
    for (const Picture& p : pixmaps) {
        int opaque = 0;
        for (qsizetype i = 0; i + 3 < p.argb.size(); i += 4) {
            opaque += static_cast<unsigned char>(p.argb[i]) >= 128 ? 1 : 0;
        }
        Print(QStringLiteral("IconPixmap %1x%2 opaque=%3").arg(p.width).arg(p.height).arg(opaque));
        if (p.argb.size() == qsizetype{4} * p.width * p.height &&
            (largest == nullptr || p.width > largest->width)) {
            largest = &p;
        }
    }
    if (!png.isEmpty() && largest != nullptr) {
        QImage image(largest->width, largest->height, QImage::Format_ARGB32);
        const auto* bytes = reinterpret_cast<const unsigned char*>(largest->argb.constData());
        for (int y = 0; y < largest->height; ++y) {
            for (int x = 0; x < largest->width; ++x, bytes += 4) {
                image.setPixel(x, y, qRgba(bytes[1], bytes[2], bytes[3], bytes[0]));
            }
        }
        image.save(png);
    }
    return 0;
}

int Call(const QString& method, int x, int y) {
    const QStringList item = TheItem();
    if (item.isEmpty()) {
        return 1;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(item[0], item[1], kItemInterface, method);
    call << x << y;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.send(call)) {
        return 1;
    }
    // A round trip to the bus after the call: once the bus has answered, the call has left.
    bus.interface()->isServiceRegistered(item[0]);
    return 0;
}

}  // namespace

#include "test_desktop.moc"

// The X part comes after the moc output: Xlib's macros (Bool, Status, None) would clash with it.

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/shape.h>

namespace {

// The window's name: _NET_WM_NAME, else WM_NAME.
std::string NameOf(Display* dpy, Window w) {
    std::string name;
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(dpy, w, XInternAtom(dpy, "_NET_WM_NAME", False), 0, 1024, False,
                           XInternAtom(dpy, "UTF8_STRING", False), &type, &format, &count, &after,
                           &data) == Success &&
        data != nullptr) {
        name.assign(reinterpret_cast<char*>(data), count);
    }
    if (data != nullptr) {
        XFree(data);
    }
    char* plain = nullptr;
    if (name.empty() && XFetchName(dpy, w, &plain) && plain != nullptr) {
        name = plain;
        XFree(plain);
    }
    return name;
}

// Whether a viewable window named name is at or below w.
bool Holds(Display* dpy, Window w, const std::string& name) {
    XWindowAttributes attrs{};
    if (NameOf(dpy, w) == name && XGetWindowAttributes(dpy, w, &attrs) &&
        attrs.map_state == IsViewable) {
        return true;
    }
    Window root = 0, parent = 0, *children = nullptr;
    unsigned n = 0;
    bool found = false;
    if (XQueryTree(dpy, w, &root, &parent, &children, &n)) {
        for (unsigned i = 0; i < n && !found; ++i) {
            found = Holds(dpy, children[i], name);
        }
        XFree(children);
    }
    return found;
}

int ProbeWindow(const std::string& name, const std::string& other) {
    Display* dpy = XOpenDisplay(nullptr);
    if (dpy == nullptr) {
        std::fprintf(stderr, "test_desktop: no X display\n");
        return 1;
    }
    // Top-level windows from the bottom of the stacking order to the top.
    Window root = 0, parent = 0, *tops = nullptr;
    unsigned n = 0;
    XQueryTree(dpy, DefaultRootWindow(dpy), &root, &parent, &tops, &n);
    int mine = -1, theirs = -1;
    for (unsigned i = 0; i < n; ++i) {
        if (Holds(dpy, tops[i], name)) {
            mine = static_cast<int>(i);
        }
        if (!other.empty() && Holds(dpy, tops[i], other)) {
            theirs = static_cast<int>(i);
        }
    }
    int status = 1;
    if (mine >= 0) {
        const Window w = tops[mine];
        XWindowAttributes attrs{};
        XGetWindowAttributes(dpy, w, &attrs);
        int count = 0, ordering = 0;
        XRectangle* input = XShapeGetRectangles(dpy, w, ShapeInput, &count, &ordering);
        if (input != nullptr) {
            XFree(input);
        }
        std::printf("override-redirect %s\ninput-rectangles %d\n",
                    attrs.override_redirect ? "yes" : "no", count);
        if (!other.empty()) {
            std::printf("above %s %s\n", other.c_str(),
                        theirs >= 0 && mine > theirs ? "yes" : "no");
        }
        status = 0;
    } else {
        std::fprintf(stderr, "test_desktop: no window %s on screen\n", name.c_str());
    }
    XFree(tops);
    XCloseDisplay(dpy);
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && std::string(argv[1]) == "window") {
        return ProbeWindow(argv[2], argc >= 4 ? argv[3] : "");
    }
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const QString command = args.value(1);
    if (command == QStringLiteral("serve")) {
        return Serve(args.value(2) != QStringLiteral("--no-tray"));
    }
    if (command == QStringLiteral("show")) {
        return Show(args.value(2));
    }
    if (command == QStringLiteral("call") && args.size() == 5) {
        return Call(args[2], args[3].toInt(), args[4].toInt());
    }
    std::fprintf(stderr,
                 "usage: test_desktop serve [--no-tray] | show [png] | call <Method> <x> <y> | "
                 "window <name> [<other>]\n");
    return 2;
}
