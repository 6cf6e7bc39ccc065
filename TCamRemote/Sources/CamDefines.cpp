// The real camera clock and the switch that lets tests put their own in its place.
#include "TCamRemote/Sources/CamDefines.h"

#include <QElapsedTimer>
#include <QThread>

namespace {

class SystemCamClock : public CamClock {
public:
    SystemCamClock() { m_timer.start(); }
    qint64 tickCount() override { return m_timer.elapsed(); }
    void sleep(int ms) override
    {
        if (ms > 0)
            QThread::msleep(static_cast<unsigned long>(ms));
    }

private:
    QElapsedTimer m_timer; // monotonic
};

SystemCamClock& systemCamClock()
{
    static SystemCamClock clock;
    return clock;
}

// nullptr: the real clock. SDK threads may ask for the time, so the switch is atomic.
std::atomic<CamClock*> g_clock{nullptr};

} // namespace

CamClock& camClock()
{
    CamClock* clock = g_clock.load();
    return clock ? *clock : systemCamClock();
}

CamClock* setCamClock(CamClock* clock)
{
    return g_clock.exchange(clock);
}

void FakeCamClock::sleep(int ms)
{
    if (ms > 0) {
        m_now += ms;
        m_slept += ms;
    }
    ++m_sleeps;
    if (onSleep)
        onSleep(ms);
}
