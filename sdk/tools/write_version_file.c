/* Writes a runtime file of a camera SDK stand-in: a short text naming it, then its version
 * note. Usage: write_version_file <out> <major> <minor> <release> <build> [app|dll] */
#include "version_note.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

int main(int argc, char** argv)
{
    if (argc < 6) {
        fprintf(stderr, "usage: %s <file> <major> <minor> <release> <build> [app|dll]\n", argv[0]);
        return 2;
    }
    uint32_t v[4];
    for (int i = 0; i < 4; ++i) {
        char* end = NULL;
        unsigned long n = strtoul(argv[2 + i], &end, 10);
        if (!end || *end || n > 0xFFFFu) {
            fprintf(stderr, "%s: not a version number: %s\n", argv[0], argv[2 + i]);
            return 2;
        }
        v[i] = (uint32_t)n;
    }
    const uint32_t type = (argc > 6 && strcmp(argv[6], "app") == 0) ? JEX4_VERSION_TYPE_APP : JEX4_VERSION_TYPE_DLL;
    const uint32_t note[JEX4_VERSION_NOTE_WORDS] = JEX4_VERSION_NOTE_VALUES(v[0], v[1], v[2], v[3], type);

    FILE* f = fopen(argv[1], "wb");
    if (!f) {
        perror(argv[1]);
        return 1;
    }
    /* 32 bytes of text keep the note 4-byte aligned. */
    char text[32];
    memset(text, 0, sizeof text);
    snprintf(text, sizeof text, "JEX4 camera SDK runtime file\n");
    unsigned char bytes[JEX4_VERSION_NOTE_BYTES];
    for (int i = 0; i < JEX4_VERSION_NOTE_WORDS; ++i)
        for (int b = 0; b < 4; ++b)
            bytes[i * 4 + b] = (unsigned char)(note[i] >> (8 * b)); /* little-endian on any host */
    int ok = fwrite(text, 1, sizeof text, f) == sizeof text && fwrite(bytes, 1, sizeof bytes, f) == sizeof bytes;
    ok = (fclose(f) == 0) && ok;
    if (!ok) {
        perror(argv[1]);
        return 1;
    }
    return 0;
}
