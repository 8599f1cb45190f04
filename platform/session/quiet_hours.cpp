#include "platform/session/quiet_hours.h"

#include <QLocale>
#include <QTimeZone>

#include <algorithm>
#include <vector>

namespace platform::session {

namespace {

constexpr int kLongestWaitMs = 30000;

bool DayChosen(const Hours& hours, const QDate& date) {
    return (hours.days >> (date.dayOfWeek() - 1)) & 1U;  // dayOfWeek: 1 Monday ... 7 Sunday
}

bool Inside(const QDateTime& at, const Hours& hours) {
    const QDate date = at.date();
    const int minute = at.time().hour() * 60 + at.time().minute();
    if (hours.from < hours.to) {
        return DayChosen(hours, date) && minute >= hours.from && minute < hours.to;
    }
    // Past midnight: begun today, or begun yesterday and not yet ended.
    return (DayChosen(hours, date) && minute >= hours.from) ||
           (DayChosen(hours, date.addDays(-1)) && minute < hours.to);
}

QDateTime LocalAt(const QDate& date, const QTime& time, const QDateTime& like) {
    switch (like.timeSpec()) {
        case Qt::TimeZone:
            return QDateTime(date, time, like.timeZone());
        case Qt::OffsetFromUTC:
            return QDateTime(date, time, Qt::OffsetFromUTC, like.offsetFromUtc());
        default:
            return QDateTime(date, time, like.timeSpec());
    }
}

// That local time on that date; a time that a change of daylight saving time skips (02:30 on
// the spring morning) becomes the first minute after the gap, when the clock says later.
QDateTime At(const QDate& date, int minute, const QDateTime& like) {
    for (int later = 0; later < 4 * 60 && minute + later < 24 * 60; ++later) {
        const int m = minute + later;
        const QDateTime at = LocalAt(date, QTime(m / 60, m % 60), like);
        if (at.isValid()) {
            return at;
        }
    }
    return {};
}

}  // namespace

HoursAnswer HoursAt(const QDateTime& now, const Hours& hours) {
    HoursAnswer answer;
    answer.inside = Inside(now, hours);
    // The answer can only change at a start or an end of the range, on one of the next days; a
    // time that a change of daylight saving time skips comes at the end of the gap, and a time
    // it repeats counts at its first occurrence.
    std::vector<QDateTime> candidates;
    for (int day = -1; day <= 8; ++day) {
        const QDate date = now.date().addDays(day);
        for (const int minute : {hours.from, hours.to}) {
            const QDateTime at = At(date, minute, now);
            if (at.isValid() && at > now) {
                candidates.push_back(at);
            }
        }
    }
    std::sort(candidates.begin(), candidates.end());
    for (const QDateTime& at : candidates) {
        if (Inside(at, hours) != answer.inside) {
            answer.next = at;
            break;
        }
    }
    return answer;
}

QString OutsideHoursReason(const QDateTime& now, const HoursAnswer& answer) {
    if (!answer.next.isValid()) {
        return QStringLiteral("Quiet");
    }
    const QString time = answer.next.time().toString(QStringLiteral("HH:mm"));
    if (now.secsTo(answer.next) < 24 * 3600) {
        return QStringLiteral("Quiet until ") + time;
    }
    return QStringLiteral("Quiet until ") +
           QLocale::c().dayName(answer.next.date().dayOfWeek(), QLocale::ShortFormat) + u' ' + time;
}

HoursWatch::HoursWatch(WallClock clock, QObject* parent)
    : QuietSource(parent), clock_(std::move(clock)) {
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &HoursWatch::Check);
}

void HoursWatch::Start() {
    started_ = true;
    Check();
}

void HoursWatch::SetHours(const Hours& hours) {
    hours_ = hours;
    if (started_) {
        Check();
    }
}

void HoursWatch::Check() {
    const QDateTime now = clock_();
    const HoursAnswer answer = HoursAt(now, hours_);
    const QString reason = answer.inside ? QString() : OutsideHoursReason(now, answer);
    // Looked at again when the answer changes, or sooner should the clock jump meanwhile.
    qint64 wait = kLongestWaitMs;
    if (answer.next.isValid()) {
        wait = std::clamp<qint64>(now.msecsTo(answer.next) + 1, 1, kLongestWaitMs);
    }
    timer_.start(static_cast<int>(wait));
    if (reason != reason_) {
        reason_ = reason;
        emit Changed();
    }
}

}  // namespace platform::session
