// Handing a web address or a folder to the desktop (the shell's "open" verb). Only http and https
// addresses and existing folders are ever handed over; tests put an opener in place that records
// instead of starting a browser or a file manager.
#pragma once

#include <QUrl>

#include <functional>

// Opens the address in the user's browser. False, and nothing started, for an address that is not
// a valid http or https address, or when the desktop could not open it.
bool ShellOpenUrl(const QUrl& url);

// Shows an existing folder in the desktop's file manager. False, and nothing started, for a path
// that is no folder, or when the desktop could not open it.
bool ShellOpenFolder(const QString& folder);

// True for a valid absolute http or https address with a host.
bool IsWebAddress(const QUrl& url);

// Replaces what opens a checked address (nullptr: the desktop again). Returns the previous one.
using UrlOpener = std::function<bool(const QUrl&)>;
UrlOpener setUrlOpener(UrlOpener opener);
