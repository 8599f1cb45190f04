#include "platform/session/quiet_source.h"

namespace platform::session {

void QuietSum::Add(QuietSource* source, bool enabled) {
    sources_.push_back({source, enabled});
    connect(source, &QuietSource::Changed, this, &QuietSum::Refresh);
    Refresh();
}

void QuietSum::SetEnabled(QuietSource* source, bool enabled) {
    for (Entry& entry : sources_) {
        if (entry.source == source) {
            entry.enabled = enabled;
        }
    }
    Refresh();
}

void QuietSum::Start() {
    for (const Entry& entry : sources_) {
        entry.source->Start();
    }
}

void QuietSum::Refresh() {
    QString reason;
    for (const Entry& entry : sources_) {
        if (entry.enabled) {
            reason = entry.source->Reason();
            if (!reason.isEmpty()) {
                break;
            }
        }
    }
    if (reason != reason_) {
        reason_ = reason;
        emit Changed();
    }
}

}  // namespace platform::session
