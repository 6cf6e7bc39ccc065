/* Version note of the camera SDK stand-ins and their runtime files: one block shaped like the
 * fixed file information of a Windows version resource, so the loader compares numbers the
 * same way whatever the file is. Little-endian uint32 values, 4-byte aligned. */
#ifndef JEX4_VERSION_NOTE_H
#define JEX4_VERSION_NOTE_H

#include <stdint.h>

#define JEX4_VERSION_NOTE_SIGNATURE 0xFEEF04BDu
#define JEX4_VERSION_NOTE_STRUCVER 0x00010000u
#define JEX4_VERSION_NOTE_WORDS 13
#define JEX4_VERSION_NOTE_BYTES (JEX4_VERSION_NOTE_WORDS * 4)

/* The 13 values: signature, structure version, file version MS and LS, product version MS and
 * LS (the same numbers), flags mask, flags, OS (NT, 32-bit Windows), type (1 application,
 * 2 library), subtype, date MS, date LS. */
#define JEX4_VERSION_NOTE_VALUES(major, minor, release, build, type)                              \
    {                                                                                               \
        JEX4_VERSION_NOTE_SIGNATURE, JEX4_VERSION_NOTE_STRUCVER,                                    \
            ((uint32_t)(major) << 16) | (uint32_t)(minor),                                          \
            ((uint32_t)(release) << 16) | (uint32_t)(build),                                        \
            ((uint32_t)(major) << 16) | (uint32_t)(minor),                                          \
            ((uint32_t)(release) << 16) | (uint32_t)(build), 0x3Fu, 0u, 0x00040004u, (type), 0u, 0u, 0u \
    }

#define JEX4_VERSION_TYPE_APP 1u
#define JEX4_VERSION_TYPE_DLL 2u

/* Emits the note into the named section `.jexver` of a library; `used` keeps the linker and
 * the optimiser from dropping an array nobody reads. */
#define JEX4_VERSION_NOTE(name, major, minor, release, build)                                      \
    __attribute__((used, section(".jexver"), aligned(4))) static const uint32_t                    \
        name[JEX4_VERSION_NOTE_WORDS] = JEX4_VERSION_NOTE_VALUES(major, minor, release, build,     \
                                                                 JEX4_VERSION_TYPE_DLL)

#endif
