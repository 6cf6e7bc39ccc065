// A folder of small "pictures" and a writer that keeps saving them, for the benchmarks of the
// program idling beside a folder that changes.
#pragma once

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QString>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <thread>

#include <time.h>

namespace bench {

constexpr int BusyFolderFiles = 300;

inline QString busyFolderFileName(int i)
{
    return QStringLiteral("core_%1.jpg").arg(i, 3, 10, QLatin1Char('0'));
}

inline void fillBusyFolder(const QString& folder)
{
    for (int i = 0; i < BusyFolderFiles; ++i) {
        QFile f(QDir(folder).filePath(busyFolderFileName(i)));
        f.open(QIODevice::WriteOnly);
        f.write("x");
    }
}

inline double threadCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// The event loop as the idle program runs it, sleeping until something happens.
inline void idleFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Saves the folder's files one after another every 5 ms (temporary file, then rename) until stopped.
class FolderWriter {
public:
    explicit FolderWriter(const QString& folder)
        : m_thread([this, folder] {
            const double start = threadCpuSeconds();
            const QDir dir(folder);
            for (int i = 0; !m_stop; i = (i + 1) % BusyFolderFiles) {
                const QString temp = dir.filePath(QStringLiteral("save.tmp"));
                QFile f(temp);
                if (f.open(QIODevice::WriteOnly)) {
                    f.write(QByteArray(1 + i % 7, 'x'));
                    f.close();
                }
                ::rename(QFile::encodeName(temp).constData(),
                         QFile::encodeName(dir.filePath(busyFolderFileName(i))).constData());
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            m_cpu = threadCpuSeconds() - start;
        })
    {
    }
    // Stops the writer; its CPU seconds.
    double stop()
    {
        m_stop = true;
        m_thread.join();
        return m_cpu;
    }

private:
    std::atomic<bool> m_stop{false};
    double m_cpu = 0;
    std::thread m_thread;
};

} // namespace bench
