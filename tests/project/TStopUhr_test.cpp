// Stopwatch arithmetic on a hand-set clock: midnight, daylight saving, a wrapping tick counter,
// integer division of performance counts; and the text of the stopped time.
#include "project/TStopUhr.h"

#include <QElapsedTimer>
#include <QLocale>
#include <QThread>
#include <QTimeZone>

#include <gtest/gtest.h>

#include <limits>

namespace {

class FakeClock : public StopwatchClock {
public:
    QDateTime now() const override { return dateTime; }
    quint32 tickCount() const override { return ticks; }
    qint64 performanceCounter() const override { return counter; }
    qint64 performanceFrequency() const override { return frequency; }

    QDateTime dateTime = QDateTime(QDate(2024, 5, 1), QTime(12, 0));
    quint32 ticks = 0;
    qint64 counter = 0;
    qint64 frequency = 10000000;
};

struct Reading {
    QDateTime dateTime;
    quint32 ticks = 0;
    qint64 counter = 0;
};

QDateTime local(int y, int mo, int d, int h, int mi, int s, int ms)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s, ms));
}

QDateTime atOffset(int y, int mo, int d, int h, int mi, int s, int ms, int offsetSeconds)
{
    // A fixed UTC offset, so the repeated hour of the autumn change is unambiguous.
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s, ms), QTimeZone(offsetSeconds));
}

} // namespace

TEST(StopUhr, CreateTakesNowForBothTimesAndDateTimeMethod)
{
    FakeClock clock;
    clock.dateTime = local(2023, 3, 14, 9, 26, 53, 589);
    TStopUhr watch(clock);
    EXPECT_EQ(watch.StartTime(), clock.dateTime);
    EXPECT_EQ(watch.StopTime(), watch.StartTime());
    EXPECT_EQ(watch.StoppedTime(), 0);
    EXPECT_EQ(watch.MeasureMethode(), su_DateTime);
}

TEST(StopUhr, ElapsedMillisecondsByMethod)
{
    struct Case {
        const char* name;
        TStopUhrMethode method;
        qint64 frequency;
        Reading start, stop;
        qint64 expected;
    };
    const qint64 nsPerSecond = 1000000000;
    const Case cases[] = {
        {"date-time, same second", su_DateTime, 0,
         {local(2024, 5, 1, 12, 0, 0, 100)}, {local(2024, 5, 1, 12, 0, 1, 334)}, 1234},
        {"date-time, across midnight", su_DateTime, 0,
         {local(2024, 12, 31, 23, 59, 59, 900)}, {local(2025, 1, 1, 0, 0, 1, 150)}, 1250},
        {"date-time, days hours minutes", su_DateTime, 0,
         {local(2024, 2, 28, 22, 30, 0, 0)}, {local(2024, 3, 2, 1, 45, 30, 5)},
         2 * 86400000LL + 3 * 3600000LL + 15 * 60000LL + 30 * 1000LL + 5},
        // 02:59:59.900 summer time, then 02:00:00.100 winter time: 200 ms, not minus an hour.
        {"date-time, clocks go back", su_DateTime, 0,
         {atOffset(2024, 10, 27, 2, 59, 59, 900, 7200)}, {atOffset(2024, 10, 27, 2, 0, 0, 100, 3600)}, 200},
        {"ticks", su_TickCount, 0, {{}, 1000}, {{}, 1750}, 750},
        {"ticks, counter wraps", su_TickCount, 0, {{}, 0xFFFFFF00u}, {{}, 0x00000100u}, 512},
        {"ticks, wraps from the top", su_TickCount, 0, {{}, 0xFFFFFFFFu}, {{}, 0u}, 1},
        {"ticks, highest values", su_TickCount, 0, {{}, 0x7FFFFFFFu}, {{}, 0xFFFFFFFFu}, 0x80000000LL},
        {"performance, 1.5 ms truncates", su_Performance, 10000000, {{}, 0, 5000}, {{}, 0, 20000}, 1},
        {"performance, 0.999 ms", su_Performance, 1000000, {{}, 0, 1000}, {{}, 0, 1999}, 0},
        {"performance, exact seconds", su_Performance, 3579545, {{}, 0, 0}, {{}, 0, 3579545 * 7LL}, 7000},
        // 200 days of nanoseconds: the plain product of counts and 1000 would overflow 64 bits.
        {"performance, long run", su_Performance, nsPerSecond,
         {{}, 0, 123}, {{}, 0, 123 + 200 * 86400LL * nsPerSecond + 999999}, 200 * 86400000LL},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeClock clock;
        clock.frequency = c.frequency;
        TStopUhr watch(clock);
        watch.setMeasureMethode(c.method);

        clock.dateTime = c.start.dateTime;
        clock.ticks = c.start.ticks;
        clock.counter = c.start.counter;
        watch.Start();

        clock.dateTime = c.stop.dateTime;
        clock.ticks = c.stop.ticks;
        clock.counter = c.stop.counter;
        watch.Stop();

        EXPECT_EQ(watch.StoppedTime(), c.expected);
        EXPECT_GE(watch.StoppedTime(), 0);
        if (c.method == su_DateTime) {
            EXPECT_EQ(watch.StartTime(), c.start.dateTime);
            EXPECT_EQ(watch.StopTime(), c.stop.dateTime);
        }
    }
}

TEST(StopUhr, StopFollowsTheMethodTakenAtStart)
{
    FakeClock clock;
    TStopUhr watch(clock);
    watch.setMeasureMethode(su_TickCount);
    clock.ticks = 500;
    watch.Start();

    watch.setMeasureMethode(su_Performance);
    EXPECT_EQ(watch.MeasureMethode(), su_Performance);
    clock.ticks = 800;
    clock.counter = 999999999; // would give a different answer if Stop read it
    clock.dateTime = clock.dateTime.addSecs(3600);
    watch.Stop();
    EXPECT_EQ(watch.StoppedTime(), 300);

    // The new method holds from the next Start on.
    clock.counter = 0;
    watch.Start();
    clock.counter = 25000;
    watch.Stop();
    EXPECT_EQ(watch.StoppedTime(), 2);
}

TEST(StopUhr, StoppedTimeStrUsesTheLocaleThousandsSeparator)
{
    struct Case {
        QLocale locale;
        qint64 ms;
        const char* expected;
    };
    const Case cases[] = {
        {QLocale(QLocale::English, QLocale::UnitedStates), 12345, "12,345 ms"},
        {QLocale(QLocale::German, QLocale::Germany), 12345, "12.345 ms"},
        {QLocale(QLocale::English, QLocale::UnitedStates), 1234567, "1,234,567 ms"},
        {QLocale(QLocale::English, QLocale::UnitedStates), 999, "999 ms"},
        {QLocale(QLocale::English, QLocale::UnitedStates), 0, "0 ms"},
        {QLocale::c(), 12345, "12,345 ms"}, // the C locale leaves out separators unless asked
    };
    const QLocale saved;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        QLocale::setDefault(c.locale);
        FakeClock clock;
        TStopUhr watch(clock);
        watch.setMeasureMethode(su_TickCount);
        clock.ticks = 10;
        watch.Start();
        clock.ticks = quint32(10 + c.ms);
        watch.Stop();
        EXPECT_EQ(watch.StoppedTimeStr(), QString::fromUtf8(c.expected));
    }
    QLocale::setDefault(saved);
}

// The system clock's three sources all count in milliseconds: a 30 ms sleep reads as at least 30,
// and never as more than a watch started before and stopped after it, however busy the machine.
TEST(StopUhr, SystemClockSourcesAgreeOnUnits)
{
    for (TStopUhrMethode method : {su_DateTime, su_TickCount, su_Performance}) {
        SCOPED_TRACE(int(method));
        TStopUhr watch;
        watch.setMeasureMethode(method);
        QElapsedTimer outside;
        outside.start();
        watch.Start();
        QThread::msleep(30);
        watch.Stop();
        const qint64 bound = outside.elapsed();
        EXPECT_GE(watch.StoppedTime(), 29); // tick and date-time readings can each lose part of a millisecond
        EXPECT_LE(watch.StoppedTime(), bound + 2);
    }
    EXPECT_GT(systemStopwatchClock().performanceFrequency(), 0);
}
