// A process has one application object and the test main already made a plain one, so each case
// runs this executable again as a child that builds a JexApplication before main() and reports on
// stdout what its loop went through.
#include "platform/JexApplication.h"

#include <QCoreApplication>
#include <QEvent>
#include <QProcess>
#include <QTimer>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <unistd.h>

namespace {

const char* const kChildVariable = "JEX4_JEXAPPLICATION_CHILD";

class Thrower : public QObject {
public:
    bool event(QEvent* e) override
    {
        if (e->type() == QEvent::User)
            throw std::runtime_error("event handler failed");
        return QObject::event(e);
    }
};

int runChild(const QByteArray& scenario)
{
    int argc = 1;
    char arg0[] = "child";
    char* argv[] = {arg0, nullptr};
    JexApplication app(argc, argv);
    if (scenario == "handler")
        app.setExceptionHandler([](const QString& m) { std::printf("caught:%s\n", qPrintable(m)); });
    else if (scenario == "throwing-handler")
        app.setExceptionHandler([](const QString&) { throw std::runtime_error("handler failed too"); });

    Thrower thrower;
    QCoreApplication::postEvent(&thrower, new QEvent(QEvent::User));
    QTimer::singleShot(0, [] { throw std::logic_error("slot failed"); });
    QTimer::singleShot(0, [] { throw 42; });
    QTimer::singleShot(0, [] { JexApplication::reportException(QStringLiteral("caught by a slot")); });
    QTimer::singleShot(0, [&thrower] {
        QEvent direct(QEvent::User);
        std::printf("sendEvent:%d\n", QCoreApplication::sendEvent(&thrower, &direct) ? 1 : 0);
    });
    // Posted after the others, so it runs after them however long each took.
    QMetaObject::invokeMethod(
        &app,
        [&app] {
            std::printf("loop went on\n");
            app.quit();
        },
        Qt::QueuedConnection);
    const int rc = app.exec();
    std::printf("exec:%d\n", rc);
    std::fflush(stdout);
    std::fflush(stderr);
    return 0;
}

// Runs before main() in the child only.
[[maybe_unused]] const bool g_child = [] {
    if (const char* scenario = std::getenv(kChildVariable)) {
        const int rc = runChild(QByteArray(scenario));
        _exit(rc);
    }
    return false;
}();

struct ChildResult {
    QStringList out;
    QString err;
    int exitCode = -1;
};

ChildResult runScenario(const char* scenario)
{
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QString::fromLatin1(kChildVariable), QString::fromLatin1(scenario));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(), {});
    ChildResult result;
    if (!child.waitForFinished(60000)) {
        child.kill();
        child.waitForFinished();
        return result;
    }
    result.out = QString::fromLocal8Bit(child.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    result.err = QString::fromLocal8Bit(child.readAllStandardError());
    result.exitCode = child.exitStatus() == QProcess::NormalExit ? child.exitCode() : -1;
    return result;
}

TEST(JexApplication, ExceptionsEndInTheHandlerAndTheLoopGoesOn)
{
    struct Row { const char* scenario; QStringList out; QStringList err; };
    const Row rows[] = {
        {"handler",
         {"caught:event handler failed", "caught:slot failed", "caught:Unknown exception", "caught:caught by a slot",
          "caught:event handler failed", "sendEvent:0", "loop went on", "exec:0"},
         {}},
        // Without a handler the messages go to stderr.
        {"default", {"sendEvent:0", "loop went on", "exec:0"},
         {"Exception: event handler failed", "Exception: slot failed", "Exception: Unknown exception",
          "Exception: caught by a slot"}},
        // A handler that throws itself does not break the loop either.
        {"throwing-handler", {"sendEvent:0", "loop went on", "exec:0"}, {"Exception: slot failed", "Exception: caught by a slot"}},
    };
    for (const Row& r : rows) {
        const ChildResult result = runScenario(r.scenario);
        EXPECT_EQ(result.exitCode, 0) << r.scenario << "\n" << result.err.toStdString();
        EXPECT_EQ(result.out, r.out) << r.scenario << "\nstderr: " << result.err.toStdString();
        for (const QString& line : r.err)
            EXPECT_TRUE(result.err.contains(line)) << r.scenario << ": " << line.toStdString() << "\nstderr: " << result.err.toStdString();
    }
}

} // namespace
