#include "platform/layered/shell_flash.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QLabel>
#include <QPointer>
#include <QWidget>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <memory>
#include <string_view>

namespace platform::layered::shell {
namespace {

QDBusMessage FlashCall(const char* method) {
    return QDBusMessage::createMethodCall(kFlashName, kFlashPath, kFlashInterface, method);
}

// One message of a window, from the call that puts it up to its end.
struct Message {
    std::optional<quint32> serial;  // the shell's, once its answer is in
    bool goesByItself = false;      // put up with a time to stay
    bool takeAway = false;          // to be taken away as soon as its serial is known
};

// The link to the extension: whether it answers, and each attached window's message. A message
// put up with its time stays the window's until the shell says it has gone (Hidden): a shell
// held up (seconds, on a busy machine) shows late what it was asked for long before, and would
// keep it up past a stop or beside the window's next message; taken away then, it goes.
class Link : public QObject {
    Q_OBJECT
  public:
    Link() : bus_(QDBusConnection::sessionBus()) {
        if (!bus_.isConnected()) {
            return;
        }
        bus_.connect(kFlashName, kFlashPath, kFlashInterface, QStringLiteral("Hidden"), this,
                     SLOT(Hidden(uint, qlonglong, uint)));
        watcher_ = new QDBusServiceWatcher(kFlashName, bus_,
                                           QDBusServiceWatcher::WatchForOwnerChange, this);
        connect(watcher_, &QDBusServiceWatcher::serviceOwnerChanged, this,
                [this](const QString&, const QString&, const QString& owner) {
                    // The messages of the old owner went with it; a new one counts anew.
                    up_ = false;
                    messages_.clear();
                    if (!owner.isEmpty()) {
                        Ask();
                    }
                });
        Ask();
    }

    bool Up() const { return up_; }

    void Put(QWidget* w, const QString& text, const QString& font, const QString& colour, QPoint at,
             std::optional<Clock::duration> stay) {
        TakeAway(w);
        QDBusMessage call = FlashCall("Show");
        const auto ms = stay ? std::chrono::ceil<std::chrono::milliseconds>(*stay).count() : 0;
        call << text << font << colour << at.x() << at.y() << -1
             << static_cast<uint>(std::max<long long>(ms, stay ? 1 : 0));
        auto message = std::make_shared<Message>();
        message->goesByItself = stay.has_value();
        messages_[w] = message;
        auto* pending = new QDBusPendingCallWatcher(bus_.asyncCall(call), this);
        connect(pending, &QDBusPendingCallWatcher::finished, this, [this, message, pending] {
            pending->deleteLater();
            const QDBusPendingReply<uint> reply = *pending;
            if (reply.isError()) {
                Lost();
                return;
            }
            message->serial = reply.value();
            if (message->takeAway) {
                Hide(*message->serial);
            }
        });
    }

    // A blank change: the message goes at its own frame (endsOnItsOwn) or now.
    void Blank(QWidget* w, bool endsOnItsOwn) {
        auto it = messages_.find(w);
        if (it != messages_.end() && endsOnItsOwn && it->second->goesByItself) {
            return;  // the shell's to end; kept until it says so
        }
        TakeAway(w);
    }

    void TakeAway(QWidget* w) {
        auto it = messages_.find(w);
        if (it == messages_.end()) {
            return;
        }
        if (it->second->serial) {
            Hide(*it->second->serial);
        } else {
            it->second->takeAway = true;
        }
        messages_.erase(it);
    }

  private slots:
    void Hidden(uint serial, qlonglong, uint) {
        std::erase_if(messages_, [serial](const auto& m) { return m.second->serial == serial; });
    }

  private:
    void Ask() {
        QDBusMessage get = QDBusMessage::createMethodCall(kFlashName, kFlashPath,
                                                          "org.freedesktop.DBus.Properties", "Get");
        get << QString::fromLatin1(kFlashInterface) << QStringLiteral("Version");
        auto* pending = new QDBusPendingCallWatcher(bus_.asyncCall(get), this);
        connect(pending, &QDBusPendingCallWatcher::finished, this, [this, pending] {
            pending->deleteLater();
            const QDBusPendingReply<QDBusVariant> reply = *pending;
            up_ = !reply.isError() && reply.value().variant().toUInt() >= 1;
        });
    }
    void Lost() {
        up_ = false;
        Ask();  // asked again: the name may be there and the call refused for once
    }
    void Hide(quint32 serial) {
        QDBusMessage call = FlashCall("Hide");
        call << serial;
        bus_.asyncCall(call);
    }

    QDBusConnection bus_;
    QDBusServiceWatcher* watcher_ = nullptr;
    bool up_ = false;
    std::map<QWidget*, std::shared_ptr<Message>> messages_;
};

Link* TheLink() {
    static Link* link = Wanted(std::getenv("KESTRANE_FLASH_PATH"), std::getenv("WAYLAND_DISPLAY"),
                               std::getenv("XDG_SESSION_TYPE"))
                            ? new Link
                            : nullptr;  // lives as long as the process
    return link;
}

std::map<QWidget*, QPointer<QWidget>>& AttachedWindows() {
    static std::map<QWidget*, QPointer<QWidget>> windows;
    return windows;
}

// The label that shows the window's text: the first visible one with text, else the first.
const QLabel* LabelOf(const QWidget* w) {
    const QList<QLabel*> labels = w->findChildren<QLabel*>();
    for (const QLabel* l : labels) {
        if (l->isVisibleTo(w) && !l->text().isEmpty()) {
            return l;
        }
    }
    return nullptr;
}

// A Pango font description: "Family, Bold Italic 30".
QString PangoFont(const QFont& f) {
    QString d = f.family() + QStringLiteral(",");
    if (f.bold()) {
        d += QStringLiteral(" Bold");
    }
    if (f.italic()) {
        d += QStringLiteral(" Italic");
    }
    if (f.pointSizeF() > 0) {
        d += QStringLiteral(" %1").arg(f.pointSizeF());
    } else if (f.pixelSize() > 0) {
        d += QStringLiteral(" %1px").arg(f.pixelSize());
    }
    return d;
}

}  // namespace

bool Wanted(const char* flashPath, const char* waylandDisplay, const char* sessionType) {
    if (flashPath != nullptr && *flashPath != '\0') {
        return std::string_view(flashPath) == "gnome-shell";
    }
    return (waylandDisplay != nullptr && *waylandDisplay != '\0') ||
           (sessionType != nullptr && std::string_view(sessionType) == "wayland");
}

bool Available() {
    Link* link = TheLink();
    return link != nullptr && link->Up();
}

bool Attach(QWidget* window) {
    if (!Available()) {
        return false;
    }
    AttachedWindows()[window] = window;
    return true;
}

void Detach(QWidget* window) {
    if (AttachedWindows().erase(window) != 0 && TheLink() != nullptr) {
        TheLink()->TakeAway(window);
    }
}

bool Attached(QWidget* window) {
    return AttachedWindows().count(window) != 0;
}

std::optional<Clock::time_point> Present(QWidget* window, bool blank,
                                         std::optional<Clock::duration> stay, bool hasDue) {
    Link* link = TheLink();
    if (link == nullptr || !Attached(window)) {
        return std::nullopt;
    }
    const QLabel* label = blank ? nullptr : LabelOf(window);
    if (label == nullptr) {
        link->Blank(window, hasDue);
        return std::nullopt;
    }
    const QColor c = label->palette().color(QPalette::WindowText);
    const QPoint at = window->geometry().topLeft() + label->mapTo(window, QPoint(0, 0)) +
                      label->contentsRect().topLeft();
    link->Put(window, label->text(), PangoFont(label->font()), c.name(QColor::HexRgb), at, stay);
    return Clock::now();
}

std::optional<Clock::duration> Ahead(QWidget* window) {
    if (!Attached(window)) {
        return std::nullopt;
    }
    return Clock::duration::zero();
}

}  // namespace platform::layered::shell

#include "shell_flash.moc"
