/* The version note of a stand-in library; the build passes its numbers (a fault folder gets a
 * library of another version from the same objects). */
#include "version_note.h"

JEX4_VERSION_NOTE(simcam_version_note, SIMCAM_VER_MAJOR, SIMCAM_VER_MINOR, SIMCAM_VER_RELEASE, SIMCAM_VER_BUILD);
