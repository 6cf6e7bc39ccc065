/* EDSDK.DLL stand-in: the EOS entry points, not yet backed by the simulated camera. */
#include "edsdk_api.h"
#include "version_note.h"

JEX4_VERSION_NOTE(edsdk_version_note, 2, 13, 20, 6);

#define EDSDK_STUB(name, params) EDSAPI EdsError name params { return EDS_ERR_UNIMPLEMENTED; }
EDSDK_ENTRY_POINTS(EDSDK_STUB)
