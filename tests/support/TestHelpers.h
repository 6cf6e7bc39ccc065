// Small helpers shared by the tests.
#pragma once

#include <QString>

namespace testhelpers {

// Root of the source tree, for sample files the tests read.
inline QString sourceDir() { return QStringLiteral(JEX4_SOURCE_DIR); }

} // namespace testhelpers
