#include "pipewire_frames.h"

#include <pipewire/pipewire.h>
#include <spa/buffer/meta.h>
#include <spa/param/video/format-utils.h>
#include <spa/pod/builder.h>

namespace {
QImage::Format imageFormat(uint32_t format) {
    // SPA names the bytes in memory order; QImage's 32-bit formats name a native word.
    switch (format) {
        case SPA_VIDEO_FORMAT_BGRx:
            return QImage::Format_RGB32;
        case SPA_VIDEO_FORMAT_BGRA:
            return QImage::Format_ARGB32;
        case SPA_VIDEO_FORMAT_RGBx:
            return QImage::Format_RGBX8888;
        case SPA_VIDEO_FORMAT_RGBA:
            return QImage::Format_RGBA8888;
        default:
            return QImage::Format_Invalid;
    }
}
}  // namespace

// PipeWire calls these on its thread with the loop's lock held.
struct PipeWireCallbacks {
    static void stateChanged(void* data, pw_stream_state, pw_stream_state state,
                             const char* error) {
        auto* self = static_cast<PipeWireFrames*>(data);
        if (state == PW_STREAM_STATE_ERROR)
            self->streamError_ = QString::fromUtf8(error ? error : "stream error");
        if (state == PW_STREAM_STATE_PAUSED)
            self->paused_ = true;
        pw_thread_loop_signal(self->loop_, false);
    }

    static void paramChanged(void* data, uint32_t id, const spa_pod* param) {
        auto* self = static_cast<PipeWireFrames*>(data);
        if (id != SPA_PARAM_Format || !param)
            return;
        spa_video_info_raw info{};
        if (spa_format_video_raw_parse(param, &info) < 0)
            return;
        self->width_ = int(info.size.width);
        self->height_ = int(info.size.height);
        self->format_ = imageFormat(info.format);
        // Buffers this process can map (shared memory, as a file or as plain memory), each with
        // a header that says when the source made its frame.
        uint8_t buffer[512];
        spa_pod_builder builder = SPA_POD_BUILDER_INIT(buffer, sizeof buffer);
        const spa_pod* params[2];
        params[0] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
            &builder, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers, SPA_PARAM_BUFFERS_dataType,
            SPA_POD_CHOICE_FLAGS_Int((1 << SPA_DATA_MemPtr) | (1 << SPA_DATA_MemFd))));
        params[1] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
            &builder, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta, SPA_PARAM_META_type,
            SPA_POD_Id(SPA_META_Header), SPA_PARAM_META_size,
            SPA_POD_Int(int(sizeof(spa_meta_header)))));
        pw_stream_update_params(self->stream_, params, 2);
    }

    static void process(void* data) {
        auto* self = static_cast<PipeWireFrames*>(data);
        pw_buffer* buffer = pw_stream_dequeue_buffer(self->stream_);
        if (!buffer)
            return;
        const spa_data& plane = buffer->buffer->datas[0];
        const auto* header = static_cast<const spa_meta_header*>(
            spa_buffer_find_meta_data(buffer->buffer, SPA_META_Header, sizeof(spa_meta_header)));
        const bool corrupted = header && (header->flags & SPA_META_HEADER_FLAG_CORRUPTED);
        // A buffer without pixels (the source only moved its cursor) is no new frame.
        if (plane.data && plane.chunk->size > 0 && !corrupted &&
            self->format_ != QImage::Format_Invalid) {
            const auto* pixels = static_cast<const uchar*>(plane.data) + plane.chunk->offset;
            // A copy: the buffer goes back to the source to be filled again. The oldest frame
            // not taken goes when too many wait.
            if (self->waiting_.size() >= PipeWireFrames::kKept)
                self->waiting_.pop_front();
            self->waiting_.push_back(
                {QImage(pixels, self->width_, self->height_, plane.chunk->stride, self->format_)
                     .copy(),
                 header ? header->pts : -1});
            pw_thread_loop_signal(self->loop_, false);
        }
        pw_stream_queue_buffer(self->stream_, buffer);
    }
};

PipeWireFrames::PipeWireFrames() {
    pw_init(nullptr, nullptr);
}

PipeWireFrames::~PipeWireFrames() {
    if (loop_) {
        pw_thread_loop_lock(loop_);
        if (link_)
            pw_proxy_destroy(link_);
        if (stream_)
            pw_stream_destroy(stream_);
        if (core_)
            pw_core_disconnect(core_);
        pw_thread_loop_unlock(loop_);
        pw_thread_loop_stop(loop_);
    }
    if (context_)
        pw_context_destroy(context_);
    if (loop_)
        pw_thread_loop_destroy(loop_);
    pw_deinit();
}

bool PipeWireFrames::connect(uint32_t node, QString* error) {
    source_ = node;
    loop_ = pw_thread_loop_new("capture", nullptr);
    context_ = loop_ ? pw_context_new(pw_thread_loop_get_loop(loop_), nullptr, 0) : nullptr;
    if (!context_ || pw_thread_loop_start(loop_) < 0) {
        *error = QStringLiteral("cannot set up a PipeWire client");
        return false;
    }
    pw_thread_loop_lock(loop_);
    core_ = pw_context_connect(context_, nullptr, 0);
    if (!core_) {
        pw_thread_loop_unlock(loop_);
        *error =
            QStringLiteral("no PipeWire daemon on %1").arg(qEnvironmentVariable("XDG_RUNTIME_DIR"));
        return false;
    }
    stream_ = pw_stream_new(core_, "kestrane screen capture",
                            pw_properties_new(PW_KEY_MEDIA_TYPE, "Video", PW_KEY_MEDIA_CATEGORY,
                                              "Capture", PW_KEY_MEDIA_ROLE, "Screen", nullptr));
    static const pw_stream_events events = {
        .version = PW_VERSION_STREAM_EVENTS,
        .destroy = nullptr,
        .state_changed = &PipeWireCallbacks::stateChanged,
        .control_info = nullptr,
        .io_changed = nullptr,
        .param_changed = &PipeWireCallbacks::paramChanged,
        .add_buffer = nullptr,
        .remove_buffer = nullptr,
        .process = &PipeWireCallbacks::process,
        .drained = nullptr,
        .command = nullptr,
        .trigger_done = nullptr,
    };
    pw_stream_add_listener(stream_, &listener_, &events, this);

    uint8_t buffer[1024];
    spa_pod_builder builder = SPA_POD_BUILDER_INIT(buffer, sizeof buffer);
    spa_rectangle size = SPA_RECTANGLE(1280, 800), minSize = SPA_RECTANGLE(1, 1),
                  maxSize = SPA_RECTANGLE(16384, 16384);
    spa_fraction rate = SPA_FRACTION(60, 1), minRate = SPA_FRACTION(0, 1),
                 maxRate = SPA_FRACTION(1000, 1);
    const auto* format = static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &builder, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat, SPA_FORMAT_mediaType,
        SPA_POD_Id(SPA_MEDIA_TYPE_video), SPA_FORMAT_mediaSubtype,
        SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw), SPA_FORMAT_VIDEO_format,
        SPA_POD_CHOICE_ENUM_Id(5, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRx,
                               SPA_VIDEO_FORMAT_BGRA, SPA_VIDEO_FORMAT_RGBx, SPA_VIDEO_FORMAT_RGBA),
        SPA_FORMAT_VIDEO_size, SPA_POD_CHOICE_RANGE_Rectangle(&size, &minSize, &maxSize),
        SPA_FORMAT_VIDEO_framerate, SPA_POD_CHOICE_RANGE_Fraction(&rate, &minRate, &maxRate)));
    // No AUTOCONNECT: with no session manager nothing would act on it; link() links instead.
    const bool linked = pw_stream_connect(stream_, PW_DIRECTION_INPUT, PW_ID_ANY,
                                          PW_STREAM_FLAG_MAP_BUFFERS, &format, 1) == 0 &&
                        link(error);
    pw_thread_loop_unlock(loop_);
    return linked;
}

// With the loop locked: once this stream's node exists, a link from the source's node to it.
bool PipeWireFrames::link(QString* error) {
    while (!paused_ && streamError_.isEmpty()) {
        if (pw_thread_loop_timed_wait(loop_, 5) != 0) {
            *error = QStringLiteral("the PipeWire capture stream did not connect");
            return false;
        }
    }
    if (!streamError_.isEmpty()) {
        *error = QStringLiteral("PipeWire: %1").arg(streamError_);
        return false;
    }
    const QByteArray source = QByteArray::number(source_);
    const QByteArray sink = QByteArray::number(pw_stream_get_node_id(stream_));
    pw_properties* properties =
        pw_properties_new(PW_KEY_LINK_OUTPUT_NODE, source.constData(), PW_KEY_LINK_INPUT_NODE,
                          sink.constData(), PW_KEY_OBJECT_LINGER, "false", nullptr);
    link_ = static_cast<pw_proxy*>(pw_core_create_object(
        core_, "link-factory", PW_TYPE_INTERFACE_Link, PW_VERSION_LINK, &properties->dict, 0));
    pw_properties_free(properties);
    if (!link_) {
        *error = QStringLiteral("PipeWire made no link from node %1").arg(source_);
        return false;
    }
    return true;
}

QImage PipeWireFrames::next(int waitMs, bool* fresh, QString* error) {
    pw_thread_loop_lock(loop_);
    timespec deadline{};
    pw_thread_loop_get_time(loop_, &deadline, int64_t(waitMs) * SPA_NSEC_PER_MSEC);
    while (waiting_.empty() && streamError_.isEmpty())
        if (pw_thread_loop_timed_wait_full(loop_, &deadline) != 0)
            break;
    *fresh = !waiting_.empty();
    if (*fresh) {
        returned_ = waiting_.front().image;
        returnedPts_ = waiting_.front().pts;
        waiting_.pop_front();
    }
    if (returned_.isNull())
        *error = streamError_.isEmpty()
                     ? QStringLiteral("no frame from the screen-cast stream in %1 ms").arg(waitMs)
                     : QStringLiteral("PipeWire: %1").arg(streamError_);
    pw_thread_loop_unlock(loop_);
    return returned_;
}
