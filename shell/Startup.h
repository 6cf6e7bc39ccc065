// Program start-up and shut-down: the splash, the main window and the windows that live for the
// whole run, made in a fixed order; then the event loop until the main window has closed (or the
// program is halted), and the windows freed. The steps are separate so tests can run them.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

// One window made at start-up; its creation may use only the windows made before it.
struct StartupWindow {
    QString Name; // the global that holds it, as "F_ErrorLog"
    std::function<void()> Create;
};

// The windows of the start-up in their order (after the main window).
QList<StartupWindow> StartupWindows();

// Makes the splash (shown only without a file to open), the main window and `windows`, stepping
// the splash bar after each. Throws what a creation throws; the windows made so far stay for
// DestroyStartupWindows.
void CreateStartupWindows(const QStringList& arguments, const QList<StartupWindow>& windows = StartupWindows());

// Shows the main window after pending events; its first showing loads the settings and the brush
// sets, fills the menus, opens the command line's file and starts the splash fade.
void ShowMainWindow();

// Frees every window of the start-up: the splash and the main window with the windows it owns.
// No close handler runs: nothing is asked and nothing is written.
void DestroyStartupWindows();

// The whole program for the running application: a fresh start (settings variables and store
// state as at a program start), the start-up, the event loop until the main window has closed or
// Halt was called, and the windows freed. A failure during the start-up is printed to stderr and
// gives status 1; otherwise the loop's status. `running`, when given, is called once the loop
// runs (tests drive the program from there).
int RunProgram(const QStringList& arguments, const QList<StartupWindow>& windows = StartupWindows(),
               const std::function<void()>& running = {});

// Ends the program at once: the event loop returns `status` without any window being asked or
// anything written (the settings reset uses it). Does nothing outside a running loop but mark
// the program as halted.
void Halt(int status = 0);
// True once Halt was called in this run.
bool Halted();
