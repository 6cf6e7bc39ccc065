// Stopwatch arithmetic and the system clock behind it.
#include "project/TStopUhr.h"

#include <QLocale>

#include <time.h>

namespace {

qint64 monotonicNanoseconds()
{
    timespec ts {};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

class SystemClock final : public StopwatchClock {
public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
    // Milliseconds since boot cut to 32 bits, so it wraps like a 32-bit tick counter.
    quint32 tickCount() const override { return quint32(monotonicNanoseconds() / 1000000); }
    qint64 performanceCounter() const override { return monotonicNanoseconds(); }
    qint64 performanceFrequency() const override { return 1000000000; }
};

// counts * 1000 / frequency, truncating, without the 64-bit overflow of the plain product
// (nanosecond counts overflow it after about 106 days).
qint64 countsToMilliseconds(qint64 counts, qint64 frequency)
{
    if (frequency <= 0)
        return 0;
    return counts / frequency * 1000 + counts % frequency * 1000 / frequency;
}

} // namespace

const StopwatchClock& systemStopwatchClock()
{
    static const SystemClock clock;
    return clock;
}

TStopUhr::TStopUhr(const StopwatchClock& clock)
    : m_clock(&clock)
    , FStartTime(clock.now())
    , FStopTime(FStartTime)
{
}

void TStopUhr::Start()
{
    FMethodeInUse = FMethode;
    switch (FMethodeInUse) {
    case su_DateTime:
        FStartTime = m_clock->now();
        break;
    case su_TickCount:
        FStartValue = m_clock->tickCount();
        break;
    case su_Performance:
        FStartValue = m_clock->performanceCounter();
        break;
    }
}

void TStopUhr::Stop()
{
    switch (FMethodeInUse) {
    case su_DateTime:
        FStopTime = m_clock->now();
        // Counted on the UTC time line, so midnight and daylight-saving changes cost nothing.
        FStoppedTime = FStartTime.msecsTo(FStopTime);
        break;
    case su_TickCount:
        FStopValue = m_clock->tickCount();
        // Modulo 2^32: a counter that wrapped between Start and Stop still gives the true interval.
        FStoppedTime = quint32(quint32(FStopValue) - quint32(FStartValue));
        break;
    case su_Performance:
        FStopValue = m_clock->performanceCounter();
        FStoppedTime = countsToMilliseconds(FStopValue - FStartValue, m_clock->performanceFrequency());
        break;
    }
}

QString TStopUhr::StoppedTimeStr() const
{
    QLocale locale;
    locale.setNumberOptions(locale.numberOptions() & ~QLocale::OmitGroupSeparator);
    return locale.toString(FStoppedTime) + QStringLiteral(" ms");
}
