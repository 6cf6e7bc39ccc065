// Stopwatch with three time sources; times a mouse press for inertia scrolling.
// The clock behind it is an interface so tests can set the time, the tick counter and the
// performance counter by hand.
#pragma once

#include <QDateTime>
#include <QString>
#include <QtGlobal>

enum TStopUhrMethode { su_DateTime, su_TickCount, su_Performance };

class StopwatchClock {
public:
    virtual ~StopwatchClock() = default;
    virtual QDateTime now() const = 0;               // local date and time
    virtual quint32 tickCount() const = 0;           // milliseconds since an arbitrary start; wraps after 2^32
    virtual qint64 performanceCounter() const = 0;   // monotonic counts
    virtual qint64 performanceFrequency() const = 0; // counts per second, fixed for the run
};

// The monotonic system clock; lives for the whole run.
const StopwatchClock& systemStopwatchClock();

class TStopUhr {
public:
    // The clock must outlive the stopwatch.
    explicit TStopUhr(const StopwatchClock& clock = systemStopwatchClock());

    void Start();
    void Stop();

    QDateTime StartTime() const { return FStartTime; }
    QDateTime StopTime() const { return FStopTime; }
    qint64 StoppedTime() const { return FStoppedTime; }
    QString StoppedTimeStr() const; // "12,345 ms" with the locale's thousands separator
    TStopUhrMethode MeasureMethode() const { return FMethode; }
    void setMeasureMethode(TStopUhrMethode value) { FMethode = value; }

private:
    const StopwatchClock* m_clock;

    qint64 FStoppedTime = 0; // milliseconds of the last Start-Stop
    qint64 FStartValue = 0;  // tick count or performance counter at Start
    qint64 FStopValue = 0;
    QDateTime FStartTime;
    QDateTime FStopTime;
    TStopUhrMethode FMethode = su_DateTime;      // taken by the next Start
    TStopUhrMethode FMethodeInUse = su_DateTime; // taken at the last Start; Stop follows it
};
