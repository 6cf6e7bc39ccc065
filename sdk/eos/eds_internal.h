/* Inside the EDSDK.DLL stand-in: the reference-counted objects behind the opaque handles, the
 * simulated EOS cameras with their properties and card, and the one lock that guards them. Entry
 * points take the lock for their bookkeeping and drop it before any callback, so a callback may
 * call the library again. */
#ifndef JEX4_EDS_INTERNAL_H
#define JEX4_EDS_INTERNAL_H

#include "edsdk_api.h"
#include "simcam.h"

#include <pthread.h>
#include <stddef.h>
#include <stdint.h>

#define EDS_OBJECT_MAGIC 0x45445342u /* "EDSB" */

typedef enum {
    OBJ_CAMERA_LIST = 1,
    OBJ_CAMERA,
    OBJ_VOLUME,
    OBJ_ITEM,
    OBJ_STREAM,
    OBJ_IMAGE,
    OBJ_EVF_IMAGE
} eds_kind;

typedef enum { STREAM_FILE, STREAM_MEMORY, STREAM_POINTER, STREAM_USER } eds_stream_kind;

typedef struct {
    eds_stream_kind kind;
    int fd;
    int can_read, can_write;
    unsigned char* data; /* memory: owned; pointer: the caller's */
    uint64_t capacity;
    uint64_t length;
    uint64_t position; /* file and memory streams */
    EdsIStream user;
    EdsProgressCallback progress;
    EdsProgressOption progress_option;
    void* progress_context;
} eds_stream;

struct eds_camera;
struct eds_node;

/* Live-view metadata kept by the live-view image reference after a download. */
typedef struct {
    int valid;
    EdsPoint zoom_position;
    EdsRect zoom_rect;
    EdsPoint image_position;
    EdsSize coordinate_system;
    uint32_t histogram[256 * 4];
} eds_evf_meta;

/* A developed RAW file's description (the simulated RAW format carries only these numbers). */
typedef struct {
    int width, height;
    int sensor_width, sensor_height;
    unsigned seed;
    int32_t white_balance;
    int32_t color_temperature;
} eds_raw;

struct EdsObjectTag {
    uint32_t magic;
    eds_kind kind;
    int refs;
    struct EdsObjectTag* prev;
    struct EdsObjectTag* next;
    struct eds_camera* camera; /* camera, volume, item */
    struct eds_node* node;     /* item */
    struct EdsObjectTag* stream; /* image and live-view references: the stream, retained */
    struct {
        int count;
        int camera_ids[16];
    } list;
    eds_stream s;
    eds_raw raw;
    eds_evf_meta* evf;
};

/* A file or folder of a card, or a released picture waiting in the camera's memory. */
typedef struct eds_node {
    int refs; /* membership of a folder or of the transfer list, plus item references */
    struct eds_node* parent;
    struct eds_node** children;
    int child_count, child_capacity;
    char name[EDS_MAX_NAME];
    int is_folder;
    int deleted;
    uint32_t format; /* 1 JPEG, 2 RAW, 3 movie */
    uint32_t attributes;
    uint32_t date_time;
    uint64_t size;
    unsigned char* data; /* made when first needed */
    unsigned char* thumbnail;
    size_t thumbnail_size;
    int width, height, quality; /* of the picture the data will show */
    unsigned seed;
    struct EdsObjectTag* object; /* the item reference handed out for it, if any */
} eds_node;

typedef struct {
    EdsPropertyID id;
    EdsDataType type;
    uint32_t size;
    int writable;
    int needs_live_view_model;
    unsigned char* data;
    int value_count; /* allowed values; none: any value in range */
    int32_t values[EDS_MAX_DESC_ELEMENTS];
    int has_range;
    int32_t min, max;
} eds_prop;

typedef struct {
    const char* key;
    const char* description;
    uint32_t sub_type; /* not 0: the newer kind */
    int sensor_width, sensor_height;
    int sizes[3][2]; /* large, medium, small */
    int evf_width, evf_height;
    int has_live_view, has_picture_style, has_wb_shift, has_photo_effect;
    int focus_points;
} eds_model;

typedef struct eds_camera {
    int id; /* stays with the camera for the library's life */
    const eds_model* model;
    int plugged;
    int session;
    eds_prop props[48];
    int prop_count;
    eds_node* card; /* the card's root folder; NULL: no card */
    uint64_t card_capacity;
    eds_node** transfer; /* released pictures waiting in the camera's memory */
    int transfer_count, transfer_capacity;
    unsigned next_number;
    unsigned frame;
    int recording;
    uint64_t last_activity_ms; /* monotonic; the automatic switch-off counts from here */
    uint64_t warned_ms;        /* when the switch-off was announced; 0: not announced */
    EdsCapacity capacity;
    struct EdsObjectTag* object; /* the camera reference handed out, if any */
    struct EdsObjectTag* volume;
    EdsPropertyEventHandler property_handler;
    EdsPropertyEvent property_event;
    void* property_context;
    EdsObjectEventHandler object_handler;
    EdsObjectEvent object_event;
    void* object_context;
    EdsStateEventHandler state_handler;
    EdsStateEvent state_event;
    void* state_context;
} eds_camera;

/* ---- shared state (edsdk.c) ---- */

/* Objects; the lock is held for every *_locked routine. */
struct EdsObjectTag* eds_object_new_locked(eds_kind kind);
struct EdsObjectTag* eds_object_find_locked(EdsBaseRef ref, eds_kind kind); /* 0: any kind */
void eds_object_retain_locked(struct EdsObjectTag* obj);
void eds_object_release_locked(struct EdsObjectTag* obj);
struct EdsObjectTag* eds_item_object_locked(eds_camera* camera, eds_node* node); /* a new reference */

/* Events go out from the library's thread after the delay. */
void eds_post_property_event_locked(eds_camera* camera, EdsPropertyEvent event, EdsPropertyID id, unsigned delay_ms);
void eds_post_object_event_locked(eds_camera* camera, EdsObjectEvent event, eds_node* node, unsigned delay_ms);
void eds_post_state_event_locked(eds_camera* camera, EdsStateEvent event, uint32_t data, unsigned delay_ms);
void eds_unplug_locked(eds_camera* camera);

/* ---- streams (eds_stream.c); no lock held, the object retained by the caller ---- */
EdsError eds_stream_open_file(eds_stream* s, const char* path, EdsFileCreateDisposition disposition, EdsAccess access);
void eds_stream_close(eds_stream* s);
EdsError eds_stream_read(eds_stream* s, uint64_t size, void* buffer, uint64_t* done);
EdsError eds_stream_write(eds_stream* s, uint64_t size, const void* buffer, uint64_t* done);
EdsError eds_stream_seek(eds_stream* s, int64_t offset, EdsSeekOrigin origin);
EdsError eds_stream_position(eds_stream* s, uint64_t* position);
EdsError eds_stream_length(eds_stream* s, uint64_t* length);
EdsError eds_stream_write_all(eds_stream* s, const void* buffer, uint64_t size);

/* ---- the simulated cameras (eds_camera.c); the lock is held ---- */
const eds_model* eds_model_find(const char* key);
eds_camera* eds_camera_new(int id, const eds_model* model);
void eds_camera_free(eds_camera* camera);
eds_prop* eds_prop_find(eds_camera* camera, EdsPropertyID id);
uint32_t eds_prop_u32(eds_camera* camera, EdsPropertyID id, uint32_t fallback);
EdsError eds_prop_write(eds_camera* camera, eds_prop* prop, uint32_t size, const void* data);
EdsError eds_prop_read(eds_camera* camera, eds_prop* prop, uint32_t size, void* data);
void eds_prop_force(eds_camera* camera, EdsPropertyID id, int32_t value);

eds_node* eds_node_new(const char* name, int is_folder);
void eds_node_retain(eds_node* node);
void eds_node_release(eds_node* node);
int eds_node_add_child(eds_node* folder, eds_node* child);
void eds_node_remove(eds_node* node);
eds_node* eds_card_folder(eds_camera* camera, const char* path, int create);
eds_node* eds_card_add_file(eds_camera* camera, const char* folder, const char* name, uint64_t size);
uint64_t eds_card_used(eds_camera* camera);
EdsError eds_node_materialise(eds_camera* camera, eds_node* node);
EdsError eds_node_thumbnail(eds_camera* camera, eds_node* node);
int eds_release_pictures(eds_camera* camera, eds_node** out, int max); /* new nodes, per image quality */
uint32_t eds_available_shots(eds_camera* camera);
void eds_focus_info(eds_camera* camera, unsigned char* out, size_t size);
int eds_transfer_add(eds_camera* camera, eds_node* node);
void eds_transfer_remove(eds_camera* camera, eds_node* node);

/* Live view: the frame's JPEG and metadata for the camera's current zoom. */
EdsError eds_make_evf_frame(eds_camera* camera, unsigned char** jpeg, size_t* size, eds_evf_meta* meta);

/* The simulated RAW file and its development. */
size_t eds_raw_header(const eds_raw* raw, unsigned char* out, size_t size);
int eds_raw_parse(const unsigned char* data, size_t size, eds_raw* raw);
int eds_white_balance_allowed(int32_t code);
EdsError eds_develop(const eds_raw* raw, EdsTargetImageType type, int jpeg_quality, unsigned char** out, size_t* size);
EdsError eds_render_image(const eds_raw* raw, EdsImageSource source, EdsTargetImageType type, EdsRect src,
                          EdsSize dst, unsigned char** out, size_t* size);

#endif
