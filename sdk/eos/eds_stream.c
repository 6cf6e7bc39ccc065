/* Streams of the EDSDK.DLL stand-in: files, growing memory, a caller's fixed buffer, and a
 * caller's own stream functions. Reads and writes are bounded by what the stream holds; a read at
 * the end gives no bytes and no error, as callers loop until a read comes back short. */
#include "eds_internal.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

EdsError eds_stream_open_file(eds_stream* s, const char* path, EdsFileCreateDisposition disposition, EdsAccess access)
{
    memset(s, 0, sizeof *s);
    s->kind = STREAM_FILE;
    s->fd = -1;
    int flags;
    switch (access) {
    case kEdsAccess_Read: flags = O_RDONLY; s->can_read = 1; break;
    case kEdsAccess_Write: flags = O_WRONLY; s->can_write = 1; break;
    case kEdsAccess_ReadWrite: flags = O_RDWR; s->can_read = s->can_write = 1; break;
    default: return EDS_ERR_INVALID_PARAMETER;
    }
    switch (disposition) {
    case kEdsFileCreateDisposition_CreateNew: flags |= O_CREAT | O_EXCL; break;
    case kEdsFileCreateDisposition_CreateAlways: flags |= O_CREAT | O_TRUNC; break;
    case kEdsFileCreateDisposition_OpenExisting: break;
    case kEdsFileCreateDisposition_OpenAlways: flags |= O_CREAT; break;
    case kEdsFileCreateDisposition_TruncateExsisting: flags |= O_TRUNC; break;
    default: return EDS_ERR_INVALID_PARAMETER;
    }
    if ((flags & (O_CREAT | O_TRUNC)) && !s->can_write)
        return EDS_ERR_INVALID_PARAMETER;
    int fd = open(path, flags | O_CLOEXEC, 0644);
    if (fd < 0) {
        switch (errno) {
        case ENOENT: return EDS_ERR_FILE_NOT_FOUND;
        case EEXIST: return 0x0000002Bu; /* file already exists */
        case EACCES:
        case EPERM:
        case EROFS: return EDS_ERR_FILE_PERMISSION_ERROR;
        case EMFILE:
        case ENFILE: return 0x00000021u; /* too many open files */
        default: return EDS_ERR_FILE_OPEN_ERROR;
        }
    }
    struct stat st;
    if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        close(fd);
        return EDS_ERR_FILE_OPEN_ERROR;
    }
    s->fd = fd;
    s->length = (uint64_t)st.st_size;
    return EDS_ERR_OK;
}

void eds_stream_close(eds_stream* s)
{
    if (s->kind == STREAM_FILE && s->fd >= 0)
        close(s->fd);
    if (s->kind == STREAM_MEMORY)
        free(s->data);
    s->fd = -1;
    s->data = NULL;
}

EdsError eds_stream_read(eds_stream* s, uint64_t size, void* buffer, uint64_t* done)
{
    *done = 0;
    if (size && !buffer)
        return EDS_ERR_INVALID_POINTER;
    switch (s->kind) {
    case STREAM_USER:
        return s->user.read ? s->user.read(s->user.context, size, buffer, done) : EDS_ERR_STREAM_PERMISSION_ERROR;
    case STREAM_FILE: {
        if (!s->can_read)
            return EDS_ERR_STREAM_PERMISSION_ERROR;
        unsigned char* out = buffer;
        while (*done < size) {
            size_t chunk = (size - *done) > (uint64_t)(1 << 30) ? (size_t)(1 << 30) : (size_t)(size - *done);
            ssize_t n = pread(s->fd, out + *done, chunk, (off_t)s->position);
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                return EDS_ERR_STREAM_READ_ERROR;
            }
            if (n == 0)
                break;
            *done += (uint64_t)n;
            s->position += (uint64_t)n;
        }
        return EDS_ERR_OK;
    }
    case STREAM_MEMORY:
    case STREAM_POINTER: {
        uint64_t left = s->position < s->length ? s->length - s->position : 0;
        uint64_t n = size < left ? size : left;
        if (n)
            memcpy(buffer, s->data + s->position, (size_t)n);
        s->position += n;
        *done = n;
        return EDS_ERR_OK;
    }
    }
    return EDS_ERR_INVALID_HANDLE;
}

static EdsError grow(eds_stream* s, uint64_t need)
{
    if (need <= s->capacity)
        return EDS_ERR_OK;
    if (s->kind == STREAM_POINTER || need > (uint64_t)SIZE_MAX / 2)
        return EDS_ERR_STREAM_WRITE_ERROR;
    uint64_t capacity = s->capacity ? s->capacity : 4096;
    while (capacity < need)
        capacity *= 2;
    unsigned char* data = realloc(s->data, (size_t)capacity);
    if (!data)
        return EDS_ERR_MEM_ALLOC_FAILED;
    memset(data + s->capacity, 0, (size_t)(capacity - s->capacity));
    s->data = data;
    s->capacity = capacity;
    return EDS_ERR_OK;
}

EdsError eds_stream_write(eds_stream* s, uint64_t size, const void* buffer, uint64_t* done)
{
    *done = 0;
    if (size && !buffer)
        return EDS_ERR_INVALID_POINTER;
    switch (s->kind) {
    case STREAM_USER:
        return s->user.write ? s->user.write(s->user.context, size, buffer, done) : EDS_ERR_STREAM_PERMISSION_ERROR;
    case STREAM_FILE: {
        if (!s->can_write)
            return EDS_ERR_STREAM_PERMISSION_ERROR;
        const unsigned char* in = buffer;
        while (*done < size) {
            size_t chunk = (size - *done) > (uint64_t)(1 << 30) ? (size_t)(1 << 30) : (size_t)(size - *done);
            ssize_t n = pwrite(s->fd, in + *done, chunk, (off_t)s->position);
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                return errno == ENOSPC ? 0x0000002Au /* disk full */ : EDS_ERR_STREAM_WRITE_ERROR;
            }
            *done += (uint64_t)n;
            s->position += (uint64_t)n;
        }
        if (s->position > s->length)
            s->length = s->position;
        return EDS_ERR_OK;
    }
    case STREAM_MEMORY:
    case STREAM_POINTER: {
        if (s->position > UINT64_MAX - size)
            return EDS_ERR_STREAM_WRITE_ERROR;
        EdsError err = grow(s, s->position + size);
        if (err)
            return err;
        if (size)
            memcpy(s->data + s->position, buffer, (size_t)size);
        s->position += size;
        if (s->position > s->length)
            s->length = s->position;
        *done = size;
        return EDS_ERR_OK;
    }
    }
    return EDS_ERR_INVALID_HANDLE;
}

EdsError eds_stream_write_all(eds_stream* s, const void* buffer, uint64_t size)
{
    uint64_t done = 0;
    EdsError err = eds_stream_write(s, size, buffer, &done);
    if (err)
        return err;
    return done == size ? EDS_ERR_OK : EDS_ERR_STREAM_WRITE_ERROR;
}

EdsError eds_stream_seek(eds_stream* s, int64_t offset, EdsSeekOrigin origin)
{
    if (s->kind == STREAM_USER)
        return s->user.seek ? s->user.seek(s->user.context, offset, origin) : EDS_ERR_STREAM_SEEK_ERROR;
    if (s->kind == STREAM_FILE) {
        struct stat st;
        if (fstat(s->fd, &st) == 0 && (uint64_t)st.st_size > s->length)
            s->length = (uint64_t)st.st_size;
    }
    int64_t base;
    switch (origin) {
    case kEdsSeek_Cur: base = (int64_t)s->position; break;
    case kEdsSeek_Begin: base = 0; break;
    case kEdsSeek_End: base = (int64_t)s->length; break;
    default: return EDS_ERR_INVALID_PARAMETER;
    }
    if ((offset < 0 && base < -offset) || (offset > 0 && base > INT64_MAX - offset))
        return EDS_ERR_STREAM_SEEK_ERROR;
    int64_t to = base + offset;
    /* A fixed buffer cannot be positioned beyond its end; files and memory grow on the next write. */
    if (s->kind == STREAM_POINTER && (uint64_t)to > s->capacity)
        return EDS_ERR_STREAM_SEEK_ERROR;
    s->position = (uint64_t)to;
    return EDS_ERR_OK;
}

EdsError eds_stream_position(eds_stream* s, uint64_t* position)
{
    if (s->kind == STREAM_USER)
        return s->user.tell ? s->user.tell(s->user.context, position) : EDS_ERR_STREAM_SEEK_ERROR;
    *position = s->position;
    return EDS_ERR_OK;
}

EdsError eds_stream_length(eds_stream* s, uint64_t* length)
{
    if (s->kind == STREAM_USER)
        return s->user.getLength ? s->user.getLength(s->user.context, length) : EDS_ERR_STREAM_SEEK_ERROR;
    if (s->kind == STREAM_FILE) {
        struct stat st;
        if (fstat(s->fd, &st) == 0 && (uint64_t)st.st_size > s->length)
            s->length = (uint64_t)st.st_size;
    }
    *length = s->length;
    return EDS_ERR_OK;
}
