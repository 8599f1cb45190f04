#include "platform/session/screen_share.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>
#include <QProcess>
#include <QTimer>

namespace platform::session {

namespace {

// How long after pw-dump ended (no PipeWire yet, or it went) it is started again.
constexpr int kRestartMs = 30000;

bool Has(const QJsonObject& props, const char* key, const char* value) {
    return props.value(QLatin1String(key))
               .toString()
               .compare(QLatin1String(value), Qt::CaseInsensitive) == 0;
}

// A node named by the compositor or its portal.
bool MadeByDesktop(const QJsonObject& props) {
    static const char* const kMakers[] = {"mutter", "gnome-shell",        "meta-screen-cast",
                                          "kwin",   "xdg-desktop-portal", "xdpw"};
    for (const char* key : {"node.name", "media.name", "application.name",
                            "application.process.binary", "node.description"}) {
        const QString value = props.value(QLatin1String(key)).toString();
        for (const char* maker : kMakers) {
            if (value.contains(QLatin1String(maker), Qt::CaseInsensitive)) {
                return true;
            }
        }
    }
    return false;
}

}  // namespace

bool IsScreenShareNode(const QJsonObject& props) {
    if (Has(props, "media.role", "Camera") || Has(props, "device.api", "v4l2") ||
        Has(props, "device.api", "libcamera")) {
        return false;
    }
    if (Has(props, "media.class", "Stream/Output/Video")) {
        return true;
    }
    return Has(props, "media.class", "Video/Source") && MadeByDesktop(props);
}

void PipeWireGraph::Feed(const QByteArray& bytes) {
    pending_ += bytes;
    qsizetype start = 0;
    for (qsizetype i = scanned_; i < pending_.size(); ++i) {
        const char c = pending_[i];
        if (inString_) {
            if (escaped_) {
                escaped_ = false;
            } else if (c == '\\') {
                escaped_ = true;
            } else if (c == '"') {
                inString_ = false;
            }
            continue;
        }
        if (c == '"') {
            inString_ = true;
        } else if (c == '[' || c == '{') {
            ++depth_;
        } else if ((c == ']' || c == '}') && depth_ > 0 && --depth_ == 0) {
            const QJsonDocument doc = QJsonDocument::fromJson(pending_.mid(start, i + 1 - start));
            for (const QJsonValue& value : doc.array()) {
                Apply(value.toObject());
            }
            start = i + 1;
        } else if (depth_ == 0 && c != '[') {
            start = i + 1;  // blanks between the arrays
        }
    }
    pending_.remove(0, start);
    scanned_ = pending_.size();
}

void PipeWireGraph::Apply(const QJsonObject& object) {
    const QJsonValue id = object.value(QLatin1String("id"));
    if (!id.isDouble()) {
        return;
    }
    const QJsonValue info = object.value(QLatin1String("info"));
    if (info.isNull()) {
        props_.erase(id.toInteger());  // the object went
        return;
    }
    if (object.value(QLatin1String("type")).toString() !=
        QLatin1String("PipeWire:Interface:Node")) {
        return;
    }
    const QJsonValue props = info.toObject().value(QLatin1String("props"));
    if (props.isObject()) {
        props_[id.toInteger()] = props.toObject();
    }  // a change without properties keeps those known
}

void PipeWireGraph::Clear() {
    pending_.clear();
    scanned_ = 0;
    depth_ = 0;
    inString_ = false;
    escaped_ = false;
    props_.clear();
}

bool PipeWireGraph::ScreenShared() const {
    for (const auto& [id, props] : props_) {
        if (IsScreenShareNode(props)) {
            return true;
        }
    }
    return false;
}

ScreenShareWatch::ScreenShareWatch(QString program, QObject* parent)
    : QuietSource(parent), program_(std::move(program)) {}

ScreenShareWatch::~ScreenShareWatch() {
    if (process_) {
        process_->disconnect(this);
        process_->kill();
        process_->waitForFinished(1000);
    }
}

QString ScreenShareWatch::Reason() const {
    return shared_ ? QStringLiteral("Quiet: the screen is shared") : QString();
}

void ScreenShareWatch::Start() {
    if (process_) {
        return;
    }
    process_ = std::make_unique<QProcess>();
    process_->setProgram(program_);
    process_->setArguments({QStringLiteral("--monitor"), QStringLiteral("--no-colors")});
    process_->setStandardInputFile(QProcess::nullDevice());
    process_->setStandardErrorFile(QProcess::nullDevice());
    connect(process_.get(), &QProcess::readyReadStandardOutput, this, [this] {
        graph_.Feed(process_->readAllStandardOutput());
        Report();
    });
    auto ended = [this](bool again) {
        graph_.Clear();
        Report();
        QProcess* gone = process_.release();
        gone->disconnect(this);
        gone->deleteLater();
        if (again) {
            QTimer::singleShot(kRestartMs, this, [this] { Start(); });
        }
    };
    connect(process_.get(), &QProcess::errorOccurred, this, [ended](QProcess::ProcessError e) {
        if (e == QProcess::FailedToStart) {
            ended(false);  // no pw-dump here: never shared
        }
    });
    connect(process_.get(), &QProcess::finished, this, [ended] { ended(true); });
    process_->start();
}

void ScreenShareWatch::Report() {
    const bool shared = graph_.ScreenShared();
    if (shared != shared_) {
        shared_ = shared;
        emit Changed();
    }
}

}  // namespace platform::session
