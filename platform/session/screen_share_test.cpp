#include "platform/session/screen_share.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QJsonDocument>
#include <QTemporaryDir>

#include <sys/stat.h>

#include <functional>

#include <gtest/gtest.h>

namespace platform::session {
namespace {

QJsonObject Props(const char* json) {
    return QJsonDocument::fromJson(json).object();
}

TEST(ScreenShare, StreamsOfTheScreenCountAndCamerasDoNot) {
    // mutter's screen cast, as pw-dump shows it
    EXPECT_TRUE(IsScreenShareNode(Props(R"({"media.class": "Stream/Output/Video",
        "media.name": "meta-screen-cast-src", "node.name": "mutter", "stream.is-live": true})")));
    // a portal back end's source (xdg-desktop-portal-wlr)
    EXPECT_TRUE(IsScreenShareNode(
        Props(R"({"media.class": "Video/Source", "node.name": "xdpw-stream-3f2a"})")));
    // a camera, directly or through a program that offers it
    EXPECT_FALSE(IsScreenShareNode(Props(R"({"media.class": "Video/Source", "device.api": "v4l2",
        "node.name": "v4l2_input.pci-0000_00_14.0-usb-0_1_1.0", "media.role": "Camera"})")));
    EXPECT_FALSE(
        IsScreenShareNode(Props(R"({"media.class": "Video/Source", "device.api": "libcamera"})")));
    EXPECT_FALSE(IsScreenShareNode(
        Props(R"({"media.class": "Stream/Output/Video", "media.role": "camera"})")));
    // what watches a shared screen, a video source of no desktop, sound
    EXPECT_FALSE(IsScreenShareNode(Props(R"({"media.class": "Stream/Input/Video",
        "media.role": "Screen", "node.name": "xdg-desktop-portal-client"})")));
    EXPECT_FALSE(
        IsScreenShareNode(Props(R"({"media.class": "Video/Source", "node.name": "obs"})")));
    EXPECT_FALSE(IsScreenShareNode(
        Props(R"({"media.class": "Stream/Output/Audio", "node.name": "mutter"})")));
    EXPECT_FALSE(IsScreenShareNode(QJsonObject()));
}

const char kFirst[] = R"([
  { "id": 30, "type": "PipeWire:Interface:Client", "info": { "props": {
      "media.class": "Stream/Output/Video" } } },
  { "id": 31, "type": "PipeWire:Interface:Node", "info": { "props": {
      "media.class": "Video/Source", "device.api": "v4l2", "node.description": "Cam \"]}[\\" } } }
]
[
  { "id": 35, "type": "PipeWire:Interface:Node", "info": { "state": "suspended", "props": {
      "media.class": "Stream/Output/Video", "node.name": "mutter" } } }
]
)";

TEST(ScreenShare, GraphFollowsNodesAsPwDumpReportsThemInAnyPieces) {
    const QByteArray first(kFirst);
    for (qsizetype piece : {qsizetype(1), qsizetype(7), first.size()}) {
        PipeWireGraph graph;
        for (qsizetype at = 0; at < first.size(); at += piece) {
            graph.Feed(first.mid(at, piece));
            // Not before the whole second array came (a client is no node; a camera is none).
            if (at + piece < first.lastIndexOf('[')) {
                EXPECT_FALSE(graph.ScreenShared()) << piece << " " << at;
            }
        }
        EXPECT_TRUE(graph.ScreenShared()) << piece;
        // A change without properties keeps the node as it was; its removal ends the sharing.
        graph.Feed(
            R"([{"id": 35, "type": "PipeWire:Interface:Node", "info": {"state": "running"}}])");
        EXPECT_TRUE(graph.ScreenShared());
        graph.Feed("[\n  {\n    \"id\": 35,\n    \"info\": null\n  }\n]\n");
        EXPECT_FALSE(graph.ScreenShared());
    }
}

bool WaitFor(const std::function<bool()>& done) {
    const QDeadlineTimer deadline(30000);
    while (!done() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    return done();
}

TEST(ScreenShare, WatchSaysSharedWhilePwDumpShowsAStreamOfTheScreen) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // pw-dump's stand-in: the graph with mutter's stream, then the stream gone, then it stays.
    QFile script(dir.filePath("pw-dump"));
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write(QByteArray("#!/bin/sh\n[ \"$1 $2\" = '--monitor --no-colors' ] || exit 3\n"
                            "cat <<'EOF'\n") +
                 kFirst +
                 "EOF\nread go <\"$0.go\"\necho '[{\"id\": 35, \"info\": null}]'\n"
                 "exec sleep 60\n");
    script.close();
    script.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    ASSERT_EQ(::mkfifo((script.fileName() + ".go").toLocal8Bit().constData(), 0600), 0);

    ScreenShareWatch watch(script.fileName());
    int changes = 0;
    QObject::connect(&watch, &QuietSource::Changed, [&] { ++changes; });
    EXPECT_EQ(watch.Reason(), "");
    watch.Start();
    ASSERT_TRUE(WaitFor([&] { return !watch.Reason().isEmpty(); }));
    EXPECT_EQ(watch.Reason(), "Quiet: the screen is shared");
    QFile go(script.fileName() + ".go");
    ASSERT_TRUE(go.open(QIODevice::WriteOnly));
    go.write("go\n");
    go.close();
    ASSERT_TRUE(WaitFor([&] { return watch.Reason().isEmpty(); }));
    EXPECT_EQ(changes, 2);

    // No pw-dump on this machine: never shared, and nothing to wait for.
    ScreenShareWatch missing(dir.filePath("no-such-pw-dump"));
    missing.Start();
    QCoreApplication::processEvents();
    EXPECT_EQ(missing.Reason(), "");
}

}  // namespace
}  // namespace platform::session
