// The one way the program replaces a file: the bytes go to a temporary file beside the target, and
// the target takes its place only when every byte reached the disk. A failed write (a full disk, no
// permission, a writer that gave up) leaves an existing file as it was and no temporary behind.
#pragma once

#include <QByteArray>
#include <QFileDevice>
#include <QString>

#include <functional>

// Writes the bytes as the file's whole content. Returns 0 when done, -1 when the file could not be
// written; `error` then receives the reason.
int writeFileAtomically(const QString& fileName, const QByteArray& bytes, QString* error = nullptr);

// For writers that stream into a device (image writers, XML, camera transfers): `fill` writes the
// content into the device and returns false when it failed, optionally with its own reason. The
// target is replaced only when `fill` succeeded and the device took every byte; an exception from
// `fill` passes through and leaves the target as it was too.
using AtomicFill = std::function<bool(QFileDevice& device, QString& reason)>;
int writeFileAtomically(const QString& fileName, const AtomicFill& fill, QString* error = nullptr);
