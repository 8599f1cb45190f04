// Whether the screen is shared or recorded now, from the desktop's PipeWire graph: a video
// stream that the compositor or its portal makes of the screen (GNOME's mutter, KWin,
// xdg-desktop-portal and its back ends) is a node of the graph for as long as the sharing
// lasts. A camera's node (media.role Camera, the v4l2 or libcamera device API) is a video
// source too and does not count.
//
// The graph is followed through `pw-dump --monitor`, which prints it once and then every
// change, so nothing here links PipeWire or waits for it: a missing pw-dump, a PipeWire that
// does not run or a pw-dump that ends counts as not shared (pw-dump is started again a while
// later, for a PipeWire that comes after the program).
#pragma once

#include "platform/session/quiet_source.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <map>
#include <memory>

class QProcess;

namespace platform::session {

// Whether a PipeWire node with these properties is a stream of the screen.
bool IsScreenShareNode(const QJsonObject& props);

// The nodes pw-dump reports, from its output as it comes: a run of JSON arrays of objects,
// an object {"id": N, "info": null} for one that went.
class PipeWireGraph {
  public:
    // Takes more output; any whole arrays in it are applied.
    void Feed(const QByteArray& bytes);
    void Clear();
    // A node that streams the screen is in the graph.
    bool ScreenShared() const;

  private:
    void Apply(const QJsonObject& object);

    QByteArray pending_;     // output not yet part of a whole array
    qsizetype scanned_ = 0;  // how much of pending_ the scan below has read
    int depth_ = 0;          // brackets and braces open there
    bool inString_ = false;
    bool escaped_ = false;
    std::map<qint64, QJsonObject> props_;  // node id -> its properties
};

class ScreenShareWatch : public QuietSource {
    Q_OBJECT
  public:
    // program: what prints the graph (pw-dump; a stand-in in tests).
    explicit ScreenShareWatch(QString program = QStringLiteral("pw-dump"),
                              QObject* parent = nullptr);
    ~ScreenShareWatch() override;

    void Start() override;
    QString Reason() const override;

  private:
    void Report();

    QString program_;
    std::unique_ptr<QProcess> process_;
    PipeWireGraph graph_;
    bool shared_ = false;
};

}  // namespace platform::session
