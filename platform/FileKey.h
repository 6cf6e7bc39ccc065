// One spelling per file, so that names reached by different roads (relative, with "..", through a
// link) compare equal; hides the file system's answer to "which file is this".
#pragma once

#include <QString>

// The canonical path (links followed) when the file or folder exists, else the cleaned absolute
// path, relative names taken from the current folder. Letter case counts. An empty name gives an
// empty key, which names no file: a caller whose name may be empty checks for it rather than
// taking two empty keys for one file.
QString fileKey(const QString& fileName);
