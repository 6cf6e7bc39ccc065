// How much memory the machine can still give: large pictures are refused against it before they
// are allocated, since an allocation the system merely promises ends the program when touched.
#pragma once

#include <QtGlobal>

// Bytes the system reports as available without swapping (MemAvailable); 0 when unknown.
qint64 AvailableMemoryBytes();
