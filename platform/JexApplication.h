// The application object: keeps exceptions from crossing the event loop. Whatever an event
// handler or slot throws ends in one handler (the log, once the shell installs it) and the loop
// goes on.
#pragma once

#include <QApplication>

#include <functional>

class JexApplication : public QApplication {
    Q_OBJECT
public:
    using ExceptionHandler = std::function<void(const QString& message)>;

    JexApplication(int& argc, char** argv);

    // Receives the message of every exception caught in notify(); an empty handler restores the
    // default, which prints the message to stderr.
    void setExceptionHandler(ExceptionHandler handler);

    // Delivers the event; an exception thrown on the way is handed to the handler and the event
    // counts as not handled (false).
    bool notify(QObject* receiver, QEvent* event) override;

    // For a failure caught where it must not go on unwinding (a slot that keeps the loop's frames
    // clean): ends in the same handler as one caught in notify(). Without a JexApplication (tests
    // run under a plain one) the message goes to stderr.
    static void reportException(const QString& message);

private:
    void report(const QString& message);

    ExceptionHandler m_handler;
};
