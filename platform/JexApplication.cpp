// Catching in notify() is the one place every event passes, so no exception unwinds through
// the event loop's own frames.
#include "platform/JexApplication.h"

#include <cstdio>
#include <exception>

namespace {

void printException(const QString& message)
{
    std::fprintf(stderr, "Exception: %s\n", message.toLocal8Bit().constData());
    std::fflush(stderr);
}

} // namespace

JexApplication::JexApplication(int& argc, char** argv)
    : QApplication(argc, argv)
{
}

void JexApplication::setExceptionHandler(ExceptionHandler handler)
{
    m_handler = std::move(handler);
}

bool JexApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        report(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        report(QStringLiteral("Unknown exception"));
    }
    return false;
}

void JexApplication::reportException(const QString& message)
{
    if (auto* app = qobject_cast<JexApplication*>(QCoreApplication::instance()))
        app->report(message);
    else
        printException(message);
}

void JexApplication::report(const QString& message)
{
    // The handler itself must not throw back into the loop either.
    try {
        if (m_handler) {
            m_handler(message);
            return;
        }
    } catch (...) {
    }
    printException(message);
}
