// A private SANE configuration with the test device only.
#include "support/SaneTestDevice.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

namespace testhelpers {

QString SaneTestDevice::folder()
{
    static QTemporaryDir dir;
    static const bool set = [] {
        // No trailing ':' so the system's folder, with its real devices, is not read.
        qputenv("SANE_CONFIG_DIR", QFile::encodeName(dir.path()));
        return true;
    }();
    (void)set;
    return dir.isValid() ? dir.path() : QString();
}

SaneTestDevice::SaneTestDevice(const QStringList& extraLines, bool testBackend)
{
    const QString path = folder();
    if (path.isEmpty())
        return;
    QFile dll(path + QStringLiteral("/dll.conf"));
    QFile test(path + QStringLiteral("/test.conf"));
    if (!dll.open(QIODevice::WriteOnly) || !test.open(QIODevice::WriteOnly))
        return;
    dll.write(testBackend ? "test\n" : "# none\n");
    // Millimetres, a little over 1 x 0.5 inch: truncated to 100 x 50 pixels at 100 dpi.
    QStringList lines{QStringLiteral("number_of_devices 2"), QStringLiteral("mode Color"),
                      QStringLiteral("depth 8"), QStringLiteral("resolution 100"),
                      QStringLiteral("test-picture \"Color pattern\""), QStringLiteral("tl_x 0.0"),
                      QStringLiteral("tl_y 0.0"), QStringLiteral("br_x 25.45"), QStringLiteral("br_y 12.75")};
    lines << extraLines;
    m_valid = test.write(lines.join(QLatin1Char('\n')).toUtf8() + "\n") > 0;
}

bool waitUntil(const std::function<bool()>& done, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
    return true;
}

} // namespace testhelpers
