// Handing a web address, a folder or a document to the desktop (the shell's "open" verb). Only http
// and https addresses, existing folders and documents that are no programs are ever handed over;
// tests put an opener in place that records instead of starting a browser or a file manager.
#pragma once

#include <QUrl>

#include <functional>

// Opens the address in the user's browser. False, and nothing started, for an address that is not
// a valid http or https address, or when the desktop could not open it.
bool ShellOpenUrl(const QUrl& url);

// Shows an existing folder in the desktop's file manager. False, and nothing started, for a path
// that is no folder, or when the desktop could not open it.
bool ShellOpenFolder(const QString& folder);
// Opens an existing document with the desktop's program for its type. False, and nothing started,
// for a path that is no plain file or is executable, or when the desktop could not open it.
bool ShellOpenDocument(const QString& fileName);

// True for a valid absolute http or https address with a host.
bool IsWebAddress(const QUrl& url);

// Replaces what opens a checked address (nullptr: the desktop again). Returns the previous one.
using UrlOpener = std::function<bool(const QUrl&)>;
UrlOpener setUrlOpener(UrlOpener opener);
