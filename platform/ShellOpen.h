// Handing a web address to the desktop (the shell's "open" verb). Only http and https addresses
// are ever handed over; tests put an opener in place that records instead of starting a browser.
#pragma once

#include <QUrl>

#include <functional>

// Opens the address in the user's browser. False, and nothing started, for an address that is not
// a valid http or https address, or when the desktop could not open it.
bool ShellOpenUrl(const QUrl& url);

// True for a valid absolute http or https address with a host.
bool IsWebAddress(const QUrl& url);

// Replaces what opens a checked address (nullptr: the desktop again). Returns the previous one.
using UrlOpener = std::function<bool(const QUrl&)>;
UrlOpener setUrlOpener(UrlOpener opener);
