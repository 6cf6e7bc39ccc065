/* EDSDK.DLL stand-in: the 54 EOS entry points over the simulated cameras, the handles behind them,
 * events delivered from the library's own thread, and the control interface (SimCam_...) through
 * which tests set up cameras and inject faults. */
#include "eds_internal.h"
#include "simcam_control.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#define LOCK() pthread_mutex_lock(&simcam_lock)
#define UNLOCK() pthread_mutex_unlock(&simcam_lock)
#define MAX_CAMERAS 16
#define CARD_FOLDER "DCIM/100SIMCM"

static int g_init_count;
static struct EdsObjectTag* g_live;
static int g_live_count;
static int g_tearing_down;
static eds_camera* g_cameras[MAX_CAMERAS]; /* every camera of this start, plugged or not */
static int g_camera_count;
static int g_next_camera_id = 1;
static EdsCameraAddedHandler g_added_handler;
static void* g_added_context;
static unsigned g_release_delay_ms = 50;
static unsigned g_auto_off_ms; /* 0: the cameras never switch themselves off */

/* ---- objects ---- */

struct EdsObjectTag* eds_object_new_locked(eds_kind kind)
{
    struct EdsObjectTag* o = calloc(1, sizeof *o);
    if (!o)
        return NULL;
    o->magic = EDS_OBJECT_MAGIC;
    o->kind = kind;
    o->refs = 1;
    o->s.fd = -1;
    o->next = g_live;
    if (g_live)
        g_live->prev = o;
    g_live = o;
    ++g_live_count;
    return o;
}

struct EdsObjectTag* eds_object_find_locked(EdsBaseRef ref, eds_kind kind)
{
    /* Handles are checked against the live objects, so a stale or foreign pointer is an invalid
     * handle instead of a crash. */
    if (!ref)
        return NULL;
    for (struct EdsObjectTag* o = g_live; o; o = o->next)
        if (o == ref)
            return (kind == 0 || o->kind == kind) ? o : NULL;
    return NULL;
}

void eds_object_retain_locked(struct EdsObjectTag* o)
{
    ++o->refs;
}

static void object_destroy_locked(struct EdsObjectTag* o)
{
    if (o->prev)
        o->prev->next = o->next;
    else
        g_live = o->next;
    if (o->next)
        o->next->prev = o->prev;
    --g_live_count;
    switch (o->kind) {
    case OBJ_CAMERA:
        if (o->camera && o->camera->object == o)
            o->camera->object = NULL;
        break;
    case OBJ_VOLUME:
        if (o->camera && o->camera->volume == o)
            o->camera->volume = NULL;
        break;
    case OBJ_ITEM:
        if (o->node) {
            if (o->node->object == o)
                o->node->object = NULL;
            eds_node_release(o->node);
        }
        break;
    case OBJ_STREAM:
        eds_stream_close(&o->s);
        break;
    case OBJ_IMAGE:
    case OBJ_EVF_IMAGE:
        /* While the library finishes, the stream is freed on its own turn. */
        if (o->stream && !g_tearing_down)
            eds_object_release_locked(o->stream);
        free(o->evf);
        break;
    case OBJ_CAMERA_LIST:
        break;
    }
    o->magic = 0;
    free(o);
}

void eds_object_release_locked(struct EdsObjectTag* o)
{
    if (--o->refs <= 0)
        object_destroy_locked(o);
}

struct EdsObjectTag* eds_item_object_locked(eds_camera* camera, eds_node* node)
{
    if (node->object) {
        eds_object_retain_locked(node->object);
        return node->object;
    }
    struct EdsObjectTag* o = eds_object_new_locked(OBJ_ITEM);
    if (!o)
        return NULL;
    o->camera = camera;
    o->node = node;
    eds_node_retain(node);
    node->object = o;
    return o;
}

static eds_camera* camera_by_id_locked(int id)
{
    for (int i = 0; i < g_camera_count; ++i)
        if (g_cameras[i]->id == id)
            return g_cameras[i];
    return NULL;
}

/* The n-th plugged camera, in the order of the camera list. */
static eds_camera* plugged_camera_locked(int index)
{
    for (int i = 0; i < g_camera_count; ++i)
        if (g_cameras[i]->plugged && index-- == 0)
            return g_cameras[i];
    return NULL;
}

static EdsError camera_ready(const eds_camera* c, int need_session)
{
    if (!c->plugged)
        return EDS_ERR_COMM_DISCONNECTED;
    if (need_session && !c->session)
        return EDS_ERR_SESSION_NOT_OPEN;
    return EDS_ERR_OK;
}

/* ---- events ---- */

typedef enum { EVENT_PROPERTY, EVENT_OBJECT, EVENT_STATE, EVENT_ADDED } eds_event_type;

typedef struct {
    eds_event_type type;
    int camera_id;
    uint32_t event;
    uint32_t data; /* property number or state data */
    struct EdsObjectTag* ref;
} eds_event;

static void drop_event(void* arg)
{
    eds_event* e = arg;
    if (e->ref) {
        LOCK();
        if (eds_object_find_locked(e->ref, 0))
            eds_object_release_locked(e->ref);
        UNLOCK();
    }
    free(e);
}

static void run_event(void* arg)
{
    eds_event* e = arg;
    EdsPropertyEventHandler on_property = NULL;
    EdsObjectEventHandler on_object = NULL;
    EdsStateEventHandler on_state = NULL;
    EdsCameraAddedHandler on_added = NULL;
    void* context = NULL;
    LOCK();
    eds_camera* c = g_init_count ? camera_by_id_locked(e->camera_id) : NULL;
    if (e->type == EVENT_ADDED && g_init_count) {
        on_added = g_added_handler;
        context = g_added_context;
    } else if (c && e->type == EVENT_PROPERTY && c->property_handler &&
               (c->property_event == kEdsPropertyEvent_All || c->property_event == e->event)) {
        on_property = c->property_handler;
        context = c->property_context;
    } else if (c && e->type == EVENT_OBJECT && c->object_handler &&
               (c->object_event == kEdsObjectEvent_All || c->object_event == e->event)) {
        on_object = c->object_handler;
        context = c->object_context;
    } else if (c && e->type == EVENT_STATE && c->state_handler &&
               (c->state_event == kEdsStateEvent_All || c->state_event == e->event)) {
        on_state = c->state_handler;
        context = c->state_context;
    }
    UNLOCK();
    if (on_added)
        on_added(context);
    if (on_property)
        on_property(e->event, e->data, 0, context);
    if (on_state)
        on_state(e->event, e->data, context);
    if (on_object) {
        /* The handler owns the reference now, as with a real SDK. */
        struct EdsObjectTag* ref = e->ref;
        e->ref = NULL;
        on_object(e->event, ref, context);
    }
    drop_event(e);
}

static void post_event_locked(eds_event_type type, eds_camera* c, uint32_t event, uint32_t data,
                              struct EdsObjectTag* ref, unsigned delay_ms)
{
    eds_event* e = calloc(1, sizeof *e);
    if (!e) {
        if (ref)
            eds_object_release_locked(ref);
        return;
    }
    e->type = type;
    e->camera_id = c ? c->id : 0;
    e->event = event;
    e->data = data;
    e->ref = ref;
    simcam_post(run_event, drop_event, e, delay_ms);
}

void eds_post_property_event_locked(eds_camera* c, EdsPropertyEvent event, EdsPropertyID id, unsigned delay_ms)
{
    post_event_locked(EVENT_PROPERTY, c, event, id, NULL, delay_ms);
}

void eds_post_object_event_locked(eds_camera* c, EdsObjectEvent event, eds_node* node, unsigned delay_ms)
{
    struct EdsObjectTag* ref = eds_item_object_locked(c, node);
    if (ref)
        post_event_locked(EVENT_OBJECT, c, event, 0, ref, delay_ms);
}

void eds_post_state_event_locked(eds_camera* c, EdsStateEvent event, uint32_t data, unsigned delay_ms)
{
    post_event_locked(EVENT_STATE, c, event, data, NULL, delay_ms);
}

static void live_view_off_locked(eds_camera* c)
{
    eds_prop_force(c, kEdsPropID_Evf_OutputDevice, 0);
    eds_prop_force(c, kEdsPropID_Evf_Mode, 0);
    c->recording = 0;
}

void eds_unplug_locked(eds_camera* c)
{
    if (!c->plugged)
        return;
    c->plugged = 0;
    c->session = 0;
    live_view_off_locked(c);
    eds_post_state_event_locked(c, kEdsStateEvent_Shutdown, 0, 0);
}

/* ---- automatic switch-off ----
 * With JEX4_SIMCAM_AUTO_OFF_MS a camera left alone that long announces that it will switch itself
 * off (0x303); unless something reaches it within half that time more, it does (0x301). Commands,
 * property writes, downloads and live-view frames count as use; so does the extension command. */

static uint64_t now_ms(void)
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (uint64_t)t.tv_sec * 1000u + (uint64_t)t.tv_nsec / 1000000u;
}

static void touch_locked(eds_camera* c)
{
    c->last_activity_ms = now_ms();
    c->warned_ms = 0;
}

typedef struct {
    int camera_id;
} eds_auto_off_job;

static void run_auto_off(void* arg)
{
    eds_auto_off_job* job = arg;
    LOCK();
    eds_camera* c = g_init_count ? camera_by_id_locked(job->camera_id) : NULL;
    if (!c || !c->plugged || !g_auto_off_ms) {
        UNLOCK();
        free(job);
        return;
    }
    const uint64_t now = now_ms();
    if (c->session && !c->warned_ms && now - c->last_activity_ms >= g_auto_off_ms) {
        c->warned_ms = now;
        eds_post_state_event_locked(c, kEdsStateEvent_WillSoonShutDown, g_auto_off_ms / 2000u, 0);
    } else if (c->warned_ms && now - c->warned_ms >= g_auto_off_ms / 2) {
        eds_unplug_locked(c);
    }
    UNLOCK();
    simcam_post(run_auto_off, free, job, g_auto_off_ms / 8 ? g_auto_off_ms / 8 : 1);
}

static void watch_auto_off_locked(eds_camera* c)
{
    touch_locked(c);
    if (!g_auto_off_ms)
        return;
    eds_auto_off_job* job = calloc(1, sizeof *job);
    if (!job)
        return;
    job->camera_id = c->id;
    simcam_post(run_auto_off, free, job, g_auto_off_ms / 8 ? g_auto_off_ms / 8 : 1);
}

/* ---- start and finish ---- */

static void add_cameras_locked(const char* models)
{
    char buf[256];
    snprintf(buf, sizeof buf, "%s", models);
    if (strcmp(buf, "none") == 0)
        return;
    char* save = NULL;
    for (char* key = strtok_r(buf, ",", &save); key; key = strtok_r(NULL, ",", &save)) {
        const eds_model* m = eds_model_find(key);
        if (!m || g_camera_count == MAX_CAMERAS)
            continue;
        eds_camera* c = eds_camera_new(g_next_camera_id++, m);
        if (c) {
            g_cameras[g_camera_count++] = c;
            watch_auto_off_locked(c);
        }
    }
}

static void finish_locked(void)
{
    g_tearing_down = 1;
    while (g_live)
        object_destroy_locked(g_live);
    g_tearing_down = 0;
    for (int i = 0; i < g_camera_count; ++i)
        eds_camera_free(g_cameras[i]);
    g_camera_count = 0;
    g_added_handler = NULL;
    g_added_context = NULL;
}

EDSAPI EdsError EdsInitializeSDK(void)
{
    SIMCAM_ENTER();
    LOCK();
    const int first = g_init_count++ == 0;
    if (first) {
        simcam_faults_from_env();
        g_release_delay_ms = (unsigned)simcam_env_long("JEX4_SIMCAM_RELEASE_MS", 50);
        g_auto_off_ms = (unsigned)simcam_env_long("JEX4_SIMCAM_AUTO_OFF_MS", 0);
        add_cameras_locked(simcam_camera_models_locked());
    }
    UNLOCK();
    if (first)
        simcam_events_start();
    return EDS_ERR_OK;
}

EDSAPI EdsError EdsTerminateSDK(void)
{
    SIMCAM_ENTER();
    LOCK();
    const int last = g_init_count == 1;
    if (g_init_count > 0)
        --g_init_count;
    UNLOCK();
    if (!last)
        return EDS_ERR_OK;
    /* Events not yet delivered are dropped with the references they carry. */
    simcam_events_stop();
    LOCK();
    if (g_init_count == 0)
        finish_locked();
    UNLOCK();
    return EDS_ERR_OK;
}

/* A library unloaded while started must not leave its thread running in freed code. */
__attribute__((destructor)) static void unload_library(void)
{
    LOCK();
    const int started = g_init_count > 0;
    g_init_count = 0;
    UNLOCK();
    if (started) {
        simcam_events_stop();
        LOCK();
        finish_locked();
        UNLOCK();
    }
}

#define REQUIRE_STARTED()                                                                           \
    do {                                                                                            \
        if (!g_init_count) {                                                                        \
            UNLOCK();                                                                               \
            return EDS_ERR_INVALID_FN_CALL;                                                         \
        }                                                                                           \
    } while (0)

/* Looks up a handle of the given kind (0: any) with the lock held; returns on failure. */
#define FIND(var, ref, kind)                                                                        \
    struct EdsObjectTag* var = eds_object_find_locked((ref), (kind));                               \
    if (!var) {                                                                                     \
        UNLOCK();                                                                                   \
        return EDS_ERR_INVALID_HANDLE;                                                              \
    }

static EdsError unlock_with(EdsError err)
{
    UNLOCK();
    return err;
}

/* ---- references ---- */

EDSAPI EdsError EdsRetain(EdsBaseRef inRef)
{
    SIMCAM_ENTER();
    LOCK();
    FIND(o, inRef, 0);
    eds_object_retain_locked(o);
    return unlock_with(EDS_ERR_OK);
}

EDSAPI EdsError EdsRelease(EdsBaseRef inRef)
{
    SIMCAM_ENTER();
    LOCK();
    FIND(o, inRef, 0);
    eds_object_release_locked(o);
    return unlock_with(EDS_ERR_OK);
}

static int visible_children(const eds_node* n)
{
    return n ? n->child_count : 0;
}

EDSAPI EdsError EdsGetChildCount(EdsBaseRef inRef, EdsUInt32* outCount)
{
    SIMCAM_ENTER();
    if (!outCount)
        return EDS_ERR_INVALID_POINTER;
    LOCK();
    REQUIRE_STARTED();
    FIND(o, inRef, 0);
    EdsError err = EDS_ERR_OK;
    switch (o->kind) {
    case OBJ_CAMERA_LIST: *outCount = (EdsUInt32)o->list.count; break;
    case OBJ_CAMERA:
        if (!(err = camera_ready(o->camera, 0)))
            *outCount = o->camera->card ? 1 : 0;
        break;
    case OBJ_VOLUME:
        if (!(err = camera_ready(o->camera, 0)))
            *outCount = (EdsUInt32)visible_children(o->camera->card);
        break;
    case OBJ_ITEM:
        if (o->node->deleted)
            err = EDS_ERR_DIR_ENTRY_NOT_FOUND;
        else if (!(err = camera_ready(o->camera, 0)))
            *outCount = o->node->is_folder ? (EdsUInt32)o->node->child_count : 0;
        break;
    default: err = EDS_ERR_INVALID_HANDLE; break;
    }
    return unlock_with(err);
}

static struct EdsObjectTag* volume_object_locked(eds_camera* c)
{
    if (c->volume) {
        eds_object_retain_locked(c->volume);
        return c->volume;
    }
    struct EdsObjectTag* v = eds_object_new_locked(OBJ_VOLUME);
    if (v) {
        v->camera = c;
        c->volume = v;
    }
    return v;
}

static struct EdsObjectTag* camera_object_locked(eds_camera* c)
{
    if (c->object) {
        eds_object_retain_locked(c->object);
        return c->object;
    }
    struct EdsObjectTag* o = eds_object_new_locked(OBJ_CAMERA);
    if (o) {
        o->camera = c;
        c->object = o;
    }
    return o;
}

EDSAPI EdsError EdsGetChildAtIndex(EdsBaseRef inRef, EdsInt32 inIndex, EdsBaseRef* outRef)
{
    SIMCAM_ENTER();
    if (!outRef)
        return EDS_ERR_INVALID_POINTER;
    *outRef = NULL;
    LOCK();
    REQUIRE_STARTED();
    FIND(o, inRef, 0);
    struct EdsObjectTag* child = NULL;
    EdsError err = EDS_ERR_OK;
    switch (o->kind) {
    case OBJ_CAMERA_LIST: {
        eds_camera* c = (inIndex >= 0 && inIndex < o->list.count) ? camera_by_id_locked(o->list.camera_ids[inIndex]) : NULL;
        if (!c)
            err = EDS_ERR_INVALID_INDEX;
        else if (!(child = camera_object_locked(c)))
            err = EDS_ERR_MEM_ALLOC_FAILED;
        break;
    }
    case OBJ_CAMERA:
        if ((err = camera_ready(o->camera, 0)))
            break;
        if (inIndex != 0 || !o->camera->card)
            err = EDS_ERR_INVALID_INDEX;
        else if (!(child = volume_object_locked(o->camera)))
            err = EDS_ERR_MEM_ALLOC_FAILED;
        break;
    case OBJ_VOLUME:
    case OBJ_ITEM: {
        if ((err = camera_ready(o->camera, 0)))
            break;
        eds_node* folder = o->kind == OBJ_VOLUME ? o->camera->card : o->node;
        if (!folder || folder->deleted || !folder->is_folder || inIndex < 0 || inIndex >= folder->child_count)
            err = EDS_ERR_INVALID_INDEX;
        else if (!(child = eds_item_object_locked(o->camera, folder->children[inIndex])))
            err = EDS_ERR_MEM_ALLOC_FAILED;
        break;
    }
    default: err = EDS_ERR_INVALID_HANDLE; break;
    }
    *outRef = child;
    return unlock_with(err);
}

EDSAPI EdsError EdsGetParent(EdsBaseRef inRef, EdsBaseRef* outParentRef)
{
    SIMCAM_ENTER();
    if (!outParentRef)
        return EDS_ERR_INVALID_POINTER;
    *outParentRef = NULL;
    LOCK();
    REQUIRE_STARTED();
    FIND(o, inRef, 0);
    struct EdsObjectTag* parent = NULL;
    if (o->kind == OBJ_VOLUME) {
        parent = camera_object_locked(o->camera);
    } else if (o->kind == OBJ_ITEM) {
        eds_node* up = o->node->parent;
        if (!up)
            return unlock_with(EDS_ERR_DIR_NOT_FOUND);
        parent = up == o->camera->card ? volume_object_locked(o->camera) : eds_item_object_locked(o->camera, up);
    } else {
        return unlock_with(EDS_ERR_OK); /* cameras, lists and streams have no parent */
    }
    *outParentRef = parent;
    return unlock_with(parent ? EDS_ERR_OK : EDS_ERR_MEM_ALLOC_FAILED);
}

/* ---- properties ---- */

static int evf_property(EdsPropertyID id, EdsDataType* type, uint32_t* size)
{
    switch (id) {
    case kEdsPropID_Evf_ZoomPosition: *type = kEdsDataType_Point; *size = sizeof(EdsPoint); return 1;
    case kEdsPropID_Evf_ZoomRect: *type = kEdsDataType_Rect; *size = sizeof(EdsRect); return 1;
    case kEdsPropID_Evf_ImagePosition: *type = kEdsDataType_Point; *size = sizeof(EdsPoint); return 1;
    case kEdsPropID_Evf_CoordinateSystem: *type = kEdsDataType_Point; *size = sizeof(EdsSize); return 1;
    case kEdsPropID_Evf_Histogram: *type = kEdsDataType_UInt32_Array; *size = 4096; return 1;
    default: return 0;
    }
}

EDSAPI EdsError EdsGetPropertySize(EdsBaseRef inRef, EdsPropertyID inPropertyID, EdsInt32 inParam,
                                   EdsDataType* outDataType, EdsUInt32* outSize)
{
    SIMCAM_ENTER();
    if (!outDataType || !outSize)
        return EDS_ERR_INVALID_POINTER;
    LOCK();
    REQUIRE_STARTED();
    FIND(o, inRef, 0);
    if (o->kind == OBJ_CAMERA) {
        EdsError err = camera_ready(o->camera, 1);
        if (err)
            return unlock_with(err);
        eds_prop* p = eds_prop_find(o->camera, inPropertyID);
        if (!p)
            return unlock_with(EDS_ERR_PROPERTIES_UNAVAILABLE);
        *outDataType = p->type;
        *outSize = p->size;
        return unlock_with(EDS_ERR_OK);
    }
    if (o->kind == OBJ_IMAGE && (inPropertyID == kEdsPropID_WhiteBalance || inPropertyID == kEdsPropID_ColorTemperature)) {
        *outDataType = inPropertyID == kEdsPropID_WhiteBalance ? kEdsDataType_Int32 : kEdsDataType_UInt32;
        *outSize = 4;
        return unlock_with(EDS_ERR_OK);
    }
    if (o->kind == OBJ_EVF_IMAGE && evf_property(inPropertyID, outDataType, outSize))
        return unlock_with(EDS_ERR_OK);
    return unlock_with(EDS_ERR_PROPERTIES_UNAVAILABLE);
}

static EdsError read_evf_property(const eds_evf_meta* m, EdsPropertyID id, uint32_t size, void* data)
{
    EdsDataType type;
    uint32_t need;
    if (!evf_property(id, &type, &need))
        return EDS_ERR_PROPERTIES_UNAVAILABLE;
    if (!m || !m->valid)
        return EDS_ERR_OBJECT_NOTREADY;
    if (size < need)
        return EDS_ERR_INVALID_LENGTH;
    const void* from = id == kEdsPropID_Evf_ZoomPosition    ? (const void*)&m->zoom_position
                       : id == kEdsPropID_Evf_ZoomRect      ? (const void*)&m->zoom_rect
                       : id == kEdsPropID_Evf_ImagePosition ? (const void*)&m->image_position
                       : id == kEdsPropID_Evf_CoordinateSystem ? (const void*)&m->coordinate_system
                                                               : (const void*)m->histogram;
    memcpy(data, from, need);
    return EDS_ERR_OK;
}

EDSAPI EdsError EdsGetPropertyData(EdsBaseRef inRef, EdsPropertyID inPropertyID, EdsInt32 inParam,
                                   EdsUInt32 inPropertySize, EdsVoid* outPropertyData)
{
    SIMCAM_ENTER();
    if (!outPropertyData)
        return EDS_ERR_INVALID_POINTER;
    LOCK();
    REQUIRE_STARTED();
    FIND(o, inRef, 0);
    EdsError err;
    switch (o->kind) {
    case OBJ_CAMERA: {
        err = camera_ready(o->camera, 1);
        if (err)
            break;
        eds_prop* p = eds_prop_find(o->camera, inPropertyID);
        err = p ? eds_prop_read(o->camera, p, inPropertySize, outPropertyData) : EDS_ERR_PROPERTIES_UNAVAILABLE;
        break;
    }
    case OBJ_IMAGE:
        if (inPropertyID != kEdsPropID_WhiteBalance && inPropertyID != kEdsPropID_ColorTemperature)
            err = EDS_ERR_PROPERTIES_UNAVAILABLE;
        else if (inPropertySize < 4)
            err = EDS_ERR_INVALID_LENGTH;
        else {
            int32_t v = inPropertyID == kEdsPropID_WhiteBalance ? o->raw.white_balance : o->raw.color_temperature;
            memcpy(outPropertyData, &v, 4);
            err = EDS_ERR_OK;
        }
        break;
    case OBJ_EVF_IMAGE: err = read_evf_property(o->evf, inPropertyID, inPropertySize, outPropertyData); break;
    default: err = EDS_ERR_PROPERTIES_UNAVAILABLE; break;
    }
    return unlock_with(err);
}

static uint32_t refusal_locked(EdsPropertyID id, const void* data, uint32_t size)
{
    if (size < 4)
        return 0;
    uint32_t value;
    memcpy(&value, data, 4);
    return simcam_refusal_locked(id, value);
}

/* Ends a movie: the file appears on the card and is announced like a picture saved there. */
static void end_recording_locked(eds_camera* c)
{
    if (!c->recording)
        return;
    c->recording = 0;
    char name[32];
    snprintf(name, sizeof name, "MVI_%04u.MOV", c->next_number++ % 10000);
    eds_node* movie = eds_card_add_file(c, CARD_FOLDER, name, 0);
    if (movie) {
        eds_post_object_event_locked(c, kEdsObjectEvent_DirItemCreated, movie, 0);
        eds_post_property_event_locked(c, kEdsPropertyEvent_PropertyChanged, kEdsPropID_AvailableShots, 0);
    }
}

static EdsError set_camera_property_locked(eds_camera* c, EdsPropertyID id, uint32_t size, const void* data)
{
    EdsError err = camera_ready(c, 1);
    if (err)
        return err;
    touch_locked(c);
    eds_prop* p = eds_prop_find(c, id);
    if (!p)
        return EDS_ERR_PROPERTIES_UNAVAILABLE;
    uint32_t refused = refusal_locked(id, data, size);
    if (refused)
        return refused;
    if (id == kEdsPropID_Record && size >= 4) {
        uint32_t v;
        memcpy(&v, data, 4);
        if (v == 4 && eds_prop_u32(c, kEdsPropID_Evf_OutputDevice, 0) == 0)
            return EDS_ERR_DEVICE_BUSY; /* a movie needs live view running */
    }
    err = eds_prop_write(c, p, size, data);
    if (err)
        return err;
    if (id == kEdsPropID_Record) {
        if (eds_prop_u32(c, id, 0) == 4)
            c->recording = 1;
        else
            end_recording_locked(c);
    }
    if (id == kEdsPropID_Evf_OutputDevice && eds_prop_u32(c, id, 0) == 0 && c->recording) {
        eds_prop_force(c, kEdsPropID_Record, 0);
        end_recording_locked(c);
    }
    eds_post_property_event_locked(c, kEdsPropertyEvent_PropertyChanged, id, 0);
    if (id == kEdsPropID_ImageQuality)
        eds_post_property_event_locked(c, kEdsPropertyEvent_PropertyChanged, kEdsPropID_AvailableShots, 0);
    return EDS_ERR_OK;
}

EDSAPI EdsError EdsSetPropertyData(EdsBaseRef inRef, EdsPropertyID inPropertyID, EdsInt32 inParam,
                                   EdsUInt32 inPropertySize, const EdsVoid* inPropertyData)
{
    SIMCAM_ENTER();
    if (!inPropertyData)
        return EDS_ERR_INVALID_POINTER;
    LOCK();
    REQUIRE_STARTED();
    FIND(o, inRef, 0);
    if (o->kind == OBJ_CAMERA)
        return unlock_with(set_camera_property_locked(o->camera, inPropertyID, inPropertySize, inPropertyData));
    if (o->kind != OBJ_IMAGE)
        return unlock_with(EDS_ERR_PROPERTIES_UNAVAILABLE);
    if (inPropertySize < 4)
        return unlock_with(EDS_ERR_INVALID_LENGTH);
    int32_t v;
    memcpy(&v, inPropertyData, 4);
    if (inPropertyID == kEdsPropID_WhiteBalance) {
        if (!eds_white_balance_allowed(v))
            return unlock_with(EDS_ERR_INVALID_DEVICEPROP_VALUE);
        o->raw.white_balance = v;
    } else if (inPropertyID == kEdsPropID_ColorTemperature) {
        if (v < 2500 || v > 10000)
            return unlock_with(EDS_ERR_INVALID_DEVICEPROP_VALUE);
        o->raw.color_temperature = v;
    } else {
        return unlock_with(EDS_ERR_PROPERTIES_UNAVAILABLE);
    }
    return unlock_with(EDS_ERR_OK);
}

EDSAPI EdsError EdsGetPropertyDesc(EdsBaseRef inRef, EdsPropertyID inPropertyID, EdsPropertyDesc* outPropertyDesc)
{
    SIMCAM_ENTER();
    if (!outPropertyDesc)
        return EDS_ERR_INVALID_POINTER;
    LOCK();
    REQUIRE_STARTED();
    FIND(o, inRef, OBJ_CAMERA);
    EdsError err = camera_ready(o->camera, 1);
    if (err)
        return unlock_with(err);
    eds_prop* p = eds_prop_find(o->camera, inPropertyID);
    if (!p)
        return unlock_with(EDS_ERR_PROPERTIES_UNAVAILABLE);
    memset(outPropertyDesc, 0, sizeof *outPropertyDesc);
    outPropertyDesc->access = p->writable ? 1 : 0;
    outPropertyDesc->numElements = p->value_count;
    memcpy(outPropertyDesc->propDesc, p->values, (size_t)p->value_count * sizeof(EdsInt32));
    return unlock_with(EDS_ERR_OK);
}

/* ---- cameras ---- */

EDSAPI EdsError EdsGetCameraList(EdsCameraListRef* outCameraListRef)
{
    SIMCAM_ENTER();
    if (!outCameraListRef)
        return EDS_ERR_INVALID_POINTER;
    *outCameraListRef = NULL;
    LOCK();
    REQUIRE_STARTED();
    struct EdsObjectTag* list = eds_object_new_locked(OBJ_CAMERA_LIST);
    if (!list)
        return unlock_with(EDS_ERR_MEM_ALLOC_FAILED);
    for (int i = 0; i < g_camera_count; ++i)
        if (g_cameras[i]->plugged)
            list->list.camera_ids[list->list.count++] = g_cameras[i]->id;
    *outCameraListRef = list;
    return unlock_with(EDS_ERR_OK);
}

EDSAPI EdsError EdsGetDeviceInfo(EdsCameraRef inCameraRef, EdsDeviceInfo* outDeviceInfo)
{
    SIMCAM_ENTER();
    if (!outDeviceInfo)
        return EDS_ERR_INVALID_POINTER;
    LOCK();
    REQUIRE_STARTED();
    FIND(o, inCameraRef, OBJ_CAMERA);
    EdsError err = camera_ready(o->camera, 0);
    if (err)
        return unlock_with(err);
    memset(outDeviceInfo, 0, sizeof *outDeviceInfo);
    snprintf(outDeviceInfo->szPortName, EDS_MAX_NAME, "usb:001,%03d", o->camera->id);
    snprintf(outDeviceInfo->szDeviceDescription, EDS_MAX_NAME, "%s", o->camera->model->description);
    outDeviceInfo->deviceSubType = o->camera->model->sub_type;
    return unlock_with(EDS_ERR_OK);
}

EDSAPI EdsError EdsOpenSession(EdsCameraRef inCameraRef)
{
    SIMCAM_ENTER();
    LOCK();
    REQUIRE_STARTED();
    FIND(o, inCameraRef, OBJ_CAMERA);
    EdsError err = camera_ready(o->camera, 0);
    if (!err) {
        o->camera->session = 1;
        touch_locked(o->camera);
    }
    return unlock_with(err);
}

EDSAPI EdsError EdsCloseSession(EdsCameraRef inCameraRef)
{
    SIMCAM_ENTER();
    LOCK();
    REQUIRE_STARTED();
    FIND(o, inCameraRef, OBJ_CAMERA);
    eds_camera* c = o->camera;
    if (!c->plugged)
        return unlock_with(EDS_ERR_COMM_DISCONNECTED);
    if (!c->session)
        return unlock_with(EDS_ERR_SESSION_NOT_OPEN);
    c->session = 0;
    end_recording_locked(c);
    live_view_off_locked(c);
    /* Pictures nobody fetched are gone with the session. */
    while (c->transfer_count)
        eds_transfer_remove(c, c->transfer[0]);
    return unlock_with(EDS_ERR_OK);
}

typedef struct {
    int camera_id;
} eds_release_job;

static void run_release(void* arg)
{
    eds_release_job* job = arg;
    LOCK();
    eds_camera* c = g_init_count ? camera_by_id_locked(job->camera_id) : NULL;
    if (c && c->plugged && c->session) {
        eds_node* pictures[2];
        const int count = eds_release_pictures(c, pictures, 2);
        const uint32_t save_to = eds_prop_u32(c, kEdsPropID_SaveTo, kEdsSaveTo_Camera);
        int card_changed = 0;
        if (count == 0)
            eds_post_state_event_locked(c, kEdsStateEvent_CaptureError, 0, 0);
        for (int i = 0; i < count; ++i) {
            eds_node* n = pictures[i];
            eds_node* folder = (save_to & kEdsSaveTo_Camera) && c->card ? eds_card_folder(c, CARD_FOLDER, 1) : NULL;
            int kept = 0;
            if (folder && eds_node_add_child(folder, n) == 0) {
                eds_node_retain(n);
                kept = card_changed = 1;
            }
            if (save_to & kEdsSaveTo_Host) {
                if (eds_transfer_add(c, n) == 0) {
                    eds_post_object_event_locked(c, kEdsObjectEvent_DirItemRequestTransfer, n, 0);
                    kept = 1;
                }
            } else if (kept) {
                eds_post_object_event_locked(c, kEdsObjectEvent_DirItemCreated, n, 0);
            }
            eds_node_release(n);
        }
        if (card_changed)
            eds_post_property_event_locked(c, kEdsPropertyEvent_PropertyChanged, kEdsPropID_AvailableShots, 0);
    }
    UNLOCK();
    free(job);
}

static EdsError release_shutter_locked(eds_camera* c)
{
    const uint32_t save_to = eds_prop_u32(c, kEdsPropID_SaveTo, kEdsSaveTo_Camera);
    if (save_to == kEdsSaveTo_Camera && !c->card)
        return EDS_ERR_TAKE_PICTURE_NO_CARD_NG;
    eds_release_job* job = calloc(1, sizeof *job);
    if (!job)
        return EDS_ERR_MEM_ALLOC_FAILED;
    job->camera_id = c->id;
    simcam_post(run_release, free, job, g_release_delay_ms);
    return EDS_ERR_OK;
}

EDSAPI EdsError EdsSendCommand(EdsCameraRef inCameraRef, EdsCameraCommand inCommand, EdsInt32 inParam)
{
    SIMCAM_ENTER();
    LOCK();
    REQUIRE_STARTED();
    FIND(o, inCameraRef, OBJ_CAMERA);
    eds_camera* c = o->camera;
    EdsError err = camera_ready(c, 1);
    if (err)
        return unlock_with(err);
    touch_locked(c);
    const uint32_t param = (uint32_t)inParam;
    const int live = c->model->has_live_view;
    switch (inCommand) {
    case kEdsCameraCommand_TakePicture: err = release_shutter_locked(c); break;
    case kEdsCameraCommand_ExtendShutDownTimer: break;
    case kEdsCameraCommand_PressShutterButton:
        if (param == kEdsCameraCommand_ShutterButton_Completely || param == kEdsCameraCommand_ShutterButton_Completely_NonAF)
            err = release_shutter_locked(c);
        else if (param != kEdsCameraCommand_ShutterButton_OFF && param != kEdsCameraCommand_ShutterButton_Halfway &&
                 param != kEdsCameraCommand_ShutterButton_Halfway_NonAF)
            err = EDS_ERR_INVALID_PARAMETER;
        break;
    case kEdsCameraCommand_DoEvfAf:
        err = !live ? EDS_ERR_NOT_SUPPORTED : param > 1 ? EDS_ERR_INVALID_PARAMETER : EDS_ERR_OK;
        break;
    case kEdsCameraCommand_DriveLensEvf:
        if (!live)
            err = EDS_ERR_NOT_SUPPORTED;
        else if (!((param >= 1 && param <= 3) || (param >= 0x8001 && param <= 0x8003)))
            err = EDS_ERR_INVALID_PARAMETER;
        break;
    case kEdsCameraCommand_DoClickWBEvf:
        if (!live)
            err = EDS_ERR_NOT_SUPPORTED;
        else if ((int)(param >> 16) >= c->model->evf_width || (int)(param & 0xFFFF) >= c->model->evf_height)
            err = EDS_ERR_INVALID_PARAMETER;
        break;
    default: err = EDS_ERR_NOT_SUPPORTED; break;
    }
    return unlock_with(err);
}

EDSAPI EdsError EdsSendStatusCommand(EdsCameraRef inCameraRef, EdsCameraStatusCommand inStatusCommand, EdsInt32 inParam)
{
    SIMCAM_ENTER();
    LOCK();
    REQUIRE_STARTED();
    FIND(o, inCameraRef, OBJ_CAMERA);
    EdsError err = camera_ready(o->camera, 1);
    if (!err && inStatusCommand != kEdsCameraStatusCommand_UILock && inStatusCommand != kEdsCameraStatusCommand_UIUnLock)
        err = EDS_ERR_NOT_SUPPORTED;
    return unlock_with(err);
}

EDSAPI EdsError EdsSetCapacity(EdsCameraRef inCameraRef, EdsCapacity inCapacity)
{
    SIMCAM_ENTER();
    LOCK();
    REQUIRE_STARTED();
    FIND(o, inCameraRef, OBJ_CAMERA);
    EdsError err = camera_ready(o->camera, 1);
    if (!err && (inCapacity.numberOfFreeClusters < 0 || inCapacity.bytesPerSector <= 0))
        err = EDS_ERR_INVALID_PARAMETER;
    if (!err)
        o->camera->capacity = inCapacity;
    return unlock_with(err);
}

/* ---- volumes and items ---- */

EDSAPI EdsError EdsGetVolumeInfo(EdsVolumeRef inVolumeRef, EdsVolumeInfo* outVolumeInfo)
{
    SIMCAM_ENTER();
    if (!outVolumeInfo)
        return EDS_ERR_INVALID_POINTER;
    LOCK();
    REQUIRE_STARTED();
    FIND(o, inVolumeRef, OBJ_VOLUME);
    eds_camera* c = o->camera;
    EdsError err = camera_ready(c, 0);
    if (err)
        return unlock_with(err);
    if (!c->card)
        return unlock_with(EDS_ERR_DEVICE_NO_DISK);
    memset(outVolumeInfo, 0, sizeof *outVolumeInfo);
    const uint64_t used = eds_card_used(c);
    outVolumeInfo->storageType = 2;
    outVolumeInfo->access = kEdsAccess_ReadWrite;
    outVolumeInfo->maxCapacity = c->card_capacity;
    outVolumeInfo->freeSpaceInBytes = used < c->card_capacity ? c->card_capacity - used : 0;
    snprintf(outVolumeInfo->szVolumeLabel, EDS_MAX_NAME, "SD");
    return unlock_with(EDS_ERR_OK);
}

EDSAPI EdsError EdsFormatVolume(EdsVolumeRef inVolumeRef)
{
    SIMCAM_ENTER();
    LOCK();
    REQUIRE_STARTED();
    FIND(o, inVolumeRef, OBJ_VOLUME);
    eds_camera* c = o->camera;
    EdsError err = camera_ready(c, 1);
    if (err)
        return unlock_with(err);
    if (!c->card)
        return unlock_with(EDS_ERR_DEVICE_NO_DISK);
    while (c->card->child_count)
        eds_node_remove(c->card->children[0]);
    eds_post_property_event_locked(c, kEdsPropertyEvent_PropertyChanged, kEdsPropID_AvailableShots, 0);
    return unlock_with(EDS_ERR_OK);
}

/* An item reference whose camera is still there and whose file was not deleted. */
#define FIND_ITEM(var, ref, need_session)                                                           \
    FIND(var, ref, OBJ_ITEM);                                                                       \
    do {                                                                                            \
        EdsError item_err_ = camera_ready(var->camera, (need_session));                             \
        if (!item_err_ && var->node->deleted)                                                       \
            item_err_ = EDS_ERR_DIR_ENTRY_NOT_FOUND;                                                \
        if (item_err_)                                                                              \
            return unlock_with(item_err_);                                                          \
    } while (0)

EDSAPI EdsError EdsGetDirectoryItemInfo(EdsDirectoryItemRef inDirItemRef, EdsDirectoryItemInfo* outDirItemInfo)
{
    SIMCAM_ENTER();
    if (!outDirItemInfo)
        return EDS_ERR_INVALID_POINTER;
    LOCK();
    REQUIRE_STARTED();
    FIND_ITEM(o, inDirItemRef, 0);
    const eds_node* n = o->node;
    memset(outDirItemInfo, 0, sizeof *outDirItemInfo);
    outDirItemInfo->size = n->size;
    outDirItemInfo->isFolder = n->is_folder;
    outDirItemInfo->format = n->format;
    outDirItemInfo->dateTime = n->date_time;
    snprintf(outDirItemInfo->szFileName, EDS_MAX_NAME, "%s", n->name);
    return unlock_with(EDS_ERR_OK);
}

EDSAPI EdsError EdsDeleteDirectoryItem(EdsDirectoryItemRef inDirItemRef)
{
    SIMCAM_ENTER();
    LOCK();
    REQUIRE_STARTED();
    FIND_ITEM(o, inDirItemRef, 1);
    eds_camera* c = o->camera;
    eds_node* n = o->node;
    if (n->attributes & kEdsFileAttribute_ReadOnly)
        return unlock_with(EDS_ERR_FILE_PERMISSION_ERROR);
    if (n->is_folder && n->child_count)
        return unlock_with(0x00000044u); /* directory not empty */
    eds_transfer_remove(c, n);
    if (n->parent) {
        eds_node_remove(n);
        eds_post_property_event_locked(c, kEdsPropertyEvent_PropertyChanged, kEdsPropID_AvailableShots, 0);
    } else {
        n->deleted = 1;
    }
    return unlock_with(EDS_ERR_OK);
}

/* Writes bytes to a stream, reporting progress; the lock is not held. */
static EdsError write_with_progress(struct EdsObjectTag* stream, const unsigned char* data, uint64_t size,
                                    int may_disconnect, int* disconnected)
{
    const uint64_t chunk = 256 * 1024;
    const EdsProgressCallback progress = stream->s.progress;
    const EdsProgressOption option = stream->s.progress_option;
    void* context = stream->s.progress_context;
    uint64_t done = 0;
    *disconnected = 0;
    unsigned last_percent = 0;
    while (done < size || size == 0) {
        uint64_t want = size - done < chunk ? size - done : chunk;
        int cut = 0;
        uint64_t may = may_disconnect ? simcam_take_transfer_budget(want, &cut) : want;
        if (may) {
            EdsError err = eds_stream_write_all(&stream->s, data + done, may);
            if (err)
                return err;
            done += may;
        }
        if (cut) {
            *disconnected = 1;
            return EDS_ERR_COMM_DISCONNECTED;
        }
        const unsigned percent = size ? (unsigned)(done * 100 / size) : 100;
        if (progress && option == kEdsProgressOption_Periodically && percent != last_percent) {
            EdsBool cancel = 0;
            progress(percent, context, &cancel);
            last_percent = percent;
            if (cancel)
                return EDS_ERR_OPERATION_CANCELLED;
        }
        if (size == 0)
            break;
    }
    if (progress && option == kEdsProgressOption_Done) {
        EdsBool cancel = 0;
        progress(100, context, &cancel);
    }
    return EDS_ERR_OK;
}

/* A download's bytes stay alive while the lock is dropped: the node is retained. */
static EdsError download_locked(struct EdsObjectTag* item, struct EdsObjectTag* stream, int thumbnail, uint64_t size)
{
    eds_camera* c = item->camera;
    eds_node* n = item->node;
    if (n->is_folder)
        return EDS_ERR_INVALID_PARAMETER;
    touch_locked(c);
    EdsError err = thumbnail ? eds_node_thumbnail(c, n) : eds_node_materialise(c, n);
    if (err)
        return err;
    const unsigned char* data = thumbnail ? n->thumbnail : n->data;
    uint64_t available = thumbnail ? n->thumbnail_size : n->size;
    if (size > available)
        size = available;
    eds_node_retain(n);
    eds_object_retain_locked(stream);
    const int camera_id = c->id;
    UNLOCK();
    int disconnected = 0;
    err = write_with_progress(stream, data, size, !thumbnail, &disconnected);
    LOCK();
    if (disconnected) {
        eds_camera* still = camera_by_id_locked(camera_id);
        if (still)
            eds_unplug_locked(still);
    }
    eds_object_release_locked(stream);
    eds_node_release(n);
    return err;
}

EDSAPI EdsError EdsDownload(EdsDirectoryItemRef inDirItemRef, EdsUInt64 inReadSize, EdsStreamRef outStream)
{
    SIMCAM_ENTER();
    LOCK();
    REQUIRE_STARTED();
    FIND_ITEM(o, inDirItemRef, 1);
    FIND(s, outStream, OBJ_STREAM);
    return unlock_with(download_locked(o, s, 0, inReadSize));
}

EDSAPI EdsError EdsDownloadCancel(EdsDirectoryItemRef inDirItemRef)
{
    SIMCAM_ENTER();
    LOCK();
    REQUIRE_STARTED();
    FIND_ITEM(o, inDirItemRef, 1);
    eds_transfer_remove(o->camera, o->node);
    return unlock_with(EDS_ERR_OK);
}

EDSAPI EdsError EdsDownloadComplete(EdsDirectoryItemRef inDirItemRef)
{
    SIMCAM_ENTER();
    LOCK();
    REQUIRE_STARTED();
    FIND_ITEM(o, inDirItemRef, 1);
    eds_transfer_remove(o->camera, o->node);
    return unlock_with(EDS_ERR_OK);
}

EDSAPI EdsError EdsDownloadThumbnail(EdsDirectoryItemRef inDirItemRef, EdsStreamRef outStream)
{
    SIMCAM_ENTER();
    LOCK();
    REQUIRE_STARTED();
    FIND_ITEM(o, inDirItemRef, 1);
    FIND(s, outStream, OBJ_STREAM);
    return unlock_with(download_locked(o, s, 1, UINT64_MAX));
}

EDSAPI EdsError EdsGetAttribute(EdsDirectoryItemRef inDirItemRef, EdsFileAttributes* outFileAttribute)
{
    SIMCAM_ENTER();
    if (!outFileAttribute)
        return EDS_ERR_INVALID_POINTER;
    LOCK();
    REQUIRE_STARTED();
    FIND_ITEM(o, inDirItemRef, 1);
    *outFileAttribute = (EdsFileAttributes)o->node->attributes;
    return unlock_with(EDS_ERR_OK);
}

EDSAPI EdsError EdsSetAttribute(EdsDirectoryItemRef inDirItemRef, EdsFileAttributes inFileAttribute)
{
    SIMCAM_ENTER();
    LOCK();
    REQUIRE_STARTED();
    FIND_ITEM(o, inDirItemRef, 1);
    const uint32_t known = kEdsFileAttribute_ReadOnly | kEdsFileAttribute_Hidden | kEdsFileAttribute_System |
                           kEdsFileAttribute_Archive;
    if ((uint32_t)inFileAttribute & ~known)
        return unlock_with(EDS_ERR_INVALID_PARAMETER);
    o->node->attributes = (uint32_t)inFileAttribute;
    return unlock_with(EDS_ERR_OK);
}

/* ---- streams ---- */

static EdsError create_file_stream(const EdsChar* name, EdsFileCreateDisposition disposition, EdsAccess access,
                                   EdsStreamRef* out)
{
    if (!out)
        return EDS_ERR_INVALID_POINTER;
    *out = NULL;
    if (!name || !*name)
        return EDS_ERR_INVALID_PARAMETER;
    eds_stream s;
    EdsError err = eds_stream_open_file(&s, name, disposition, access);
    if (err)
        return err;
    LOCK();
    struct EdsObjectTag* o = g_init_count ? eds_object_new_locked(OBJ_STREAM) : NULL;
    if (!o) {
        err = g_init_count ? EDS_ERR_MEM_ALLOC_FAILED : EDS_ERR_INVALID_FN_CALL;
        UNLOCK();
        eds_stream_close(&s);
        return err;
    }
    o->s = s;
    *out = o;
    return unlock_with(EDS_ERR_OK);
}

EDSAPI EdsError EdsCreateFileStream(const EdsChar* inFileName, EdsFileCreateDisposition inCreateDisposition,
                                    EdsAccess inDesiredAccess, EdsStreamRef* outStream)
{
    SIMCAM_ENTER();
    return create_file_stream(inFileName, inCreateDisposition, inDesiredAccess, outStream);
}

EDSAPI EdsError EdsCreateFileStreamEx(const EdsChar* inFileNameUtf8, EdsFileCreateDisposition inCreateDisposition,
                                      EdsAccess inDesiredAccess, EdsStreamRef* outStream)
{
    SIMCAM_ENTER();
    return create_file_stream(inFileNameUtf8, inCreateDisposition, inDesiredAccess, outStream);
}

EDSAPI EdsError EdsCreateMemoryStream(EdsUInt64 inBufferSize, EdsStreamRef* outStream)
{
    SIMCAM_ENTER();
    if (!outStream)
        return EDS_ERR_INVALID_POINTER;
    *outStream = NULL;
    if (inBufferSize > ((uint64_t)1 << 40))
        return EDS_ERR_MEM_ALLOC_FAILED;
    unsigned char* data = inBufferSize ? calloc(1, (size_t)inBufferSize) : NULL;
    if (inBufferSize && !data)
        return EDS_ERR_MEM_ALLOC_FAILED;
    LOCK();
    if (!g_init_count) {
        UNLOCK();
        free(data);
        return EDS_ERR_INVALID_FN_CALL;
    }
    struct EdsObjectTag* o = eds_object_new_locked(OBJ_STREAM);
    if (!o) {
        UNLOCK();
        free(data);
        return EDS_ERR_MEM_ALLOC_FAILED;
    }
    o->s.kind = STREAM_MEMORY;
    o->s.can_read = o->s.can_write = 1;
    o->s.data = data;
    o->s.capacity = inBufferSize;
    *outStream = o;
    return unlock_with(EDS_ERR_OK);
}

EDSAPI EdsError EdsCreateMemoryStreamFromPointer(EdsVoid* inUserBuffer, EdsUInt64 inBufferSize, EdsStreamRef* outStream)
{
    SIMCAM_ENTER();
    if (!outStream || (!inUserBuffer && inBufferSize))
        return EDS_ERR_INVALID_POINTER;
    *outStream = NULL;
    LOCK();
    REQUIRE_STARTED();
    struct EdsObjectTag* o = eds_object_new_locked(OBJ_STREAM);
    if (!o)
        return unlock_with(EDS_ERR_MEM_ALLOC_FAILED);
    o->s.kind = STREAM_POINTER;
    o->s.can_read = o->s.can_write = 1;
    o->s.data = inUserBuffer;
    o->s.capacity = o->s.length = inBufferSize;
    *outStream = o;
    return unlock_with(EDS_ERR_OK);
}

EDSAPI EdsError EdsCreateStream(EdsIStream* inStream, EdsStreamRef* outStreamRef)
{
    SIMCAM_ENTER();
    if (!outStreamRef || !inStream)
        return EDS_ERR_INVALID_POINTER;
    *outStreamRef = NULL;
    if (!inStream->read && !inStream->write)
        return EDS_ERR_INVALID_FN_POINTER;
    LOCK();
    REQUIRE_STARTED();
    struct EdsObjectTag* o = eds_object_new_locked(OBJ_STREAM);
    if (!o)
        return unlock_with(EDS_ERR_MEM_ALLOC_FAILED);
    o->s.kind = STREAM_USER;
    o->s.user = *inStream;
    *outStreamRef = o;
    return unlock_with(EDS_ERR_OK);
}

EDSAPI EdsError EdsGetPointer(EdsStreamRef inStream, EdsVoid** outPointer)
{
    SIMCAM_ENTER();
    if (!outPointer)
        return EDS_ERR_INVALID_POINTER;
    LOCK();
    REQUIRE_STARTED();
    FIND(o, inStream, OBJ_STREAM);
    if (o->s.kind == STREAM_MEMORY && !o->s.data) {
        o->s.data = calloc(1, 1);
        o->s.capacity = o->s.data ? 1 : 0;
    }
    if (o->s.kind != STREAM_MEMORY && o->s.kind != STREAM_POINTER)
        return unlock_with(EDS_ERR_NOT_SUPPORTED);
    *outPointer = o->s.data;
    return unlock_with(o->s.data ? EDS_ERR_OK : EDS_ERR_MEM_ALLOC_FAILED);
}

/* Runs a stream operation without the lock, the stream kept alive meanwhile. */
#define WITH_STREAM(ref, body)                                                                      \
    do {                                                                                            \
        LOCK();                                                                                     \
        REQUIRE_STARTED();                                                                          \
        FIND(stream_, ref, OBJ_STREAM);                                                             \
        eds_object_retain_locked(stream_);                                                          \
        UNLOCK();                                                                                   \
        eds_stream* s = &stream_->s;                                                                \
        EdsError err_ = (body);                                                                     \
        LOCK();                                                                                     \
        eds_object_release_locked(stream_);                                                         \
        UNLOCK();                                                                                   \
        return err_;                                                                                \
    } while (0)

EDSAPI EdsError EdsRead(EdsStreamRef inStreamRef, EdsUInt64 inReadSize, EdsVoid* outBuffer, EdsUInt64* outReadSize)
{
    SIMCAM_ENTER();
    EdsUInt64 ignored = 0;
    EdsUInt64* done = outReadSize ? outReadSize : &ignored;
    *done = 0;
    WITH_STREAM(inStreamRef, eds_stream_read(s, inReadSize, outBuffer, done));
}

EDSAPI EdsError EdsWrite(EdsStreamRef inStreamRef, EdsUInt64 inWriteSize, const EdsVoid* inBuffer, EdsUInt64* outWrittenSize)
{
    SIMCAM_ENTER();
    EdsUInt64 ignored = 0;
    EdsUInt64* done = outWrittenSize ? outWrittenSize : &ignored;
    *done = 0;
    WITH_STREAM(inStreamRef, eds_stream_write(s, inWriteSize, inBuffer, done));
}

EDSAPI EdsError EdsSeek(EdsStreamRef inStreamRef, EdsInt64 inSeekOffset, EdsSeekOrigin inSeekOrigin)
{
    SIMCAM_ENTER();
    WITH_STREAM(inStreamRef, eds_stream_seek(s, inSeekOffset, inSeekOrigin));
}

EDSAPI EdsError EdsGetPosition(EdsStreamRef inStreamRef, EdsUInt64* outPosition)
{
    SIMCAM_ENTER();
    if (!outPosition)
        return EDS_ERR_INVALID_POINTER;
    WITH_STREAM(inStreamRef, eds_stream_position(s, outPosition));
}

EDSAPI EdsError EdsGetLength(EdsStreamRef inStreamRef, EdsUInt64* outLength)
{
    SIMCAM_ENTER();
    if (!outLength)
        return EDS_ERR_INVALID_POINTER;
    WITH_STREAM(inStreamRef, eds_stream_length(s, outLength));
}

static EdsError copy_streams(eds_stream* from, eds_stream* to, uint64_t size)
{
    unsigned char buffer[64 * 1024];
    uint64_t done = 0;
    while (done < size) {
        uint64_t want = size - done < sizeof buffer ? size - done : sizeof buffer;
        uint64_t got = 0;
        EdsError err = eds_stream_read(from, want, buffer, &got);
        if (err)
            return err;
        if (got == 0)
            return EDS_ERR_STREAM_END_OF_STREAM;
        err = eds_stream_write_all(to, buffer, got);
        if (err)
            return err;
        done += got;
    }
    return EDS_ERR_OK;
}

EDSAPI EdsError EdsCopyData(EdsStreamRef inStreamRef, EdsUInt64 inWriteSize, EdsStreamRef outStreamRef)
{
    SIMCAM_ENTER();
    LOCK();
    REQUIRE_STARTED();
    FIND(from, inStreamRef, OBJ_STREAM);
    FIND(to, outStreamRef, OBJ_STREAM);
    if (from == to)
        return unlock_with(EDS_ERR_INVALID_PARAMETER);
    eds_object_retain_locked(from);
    eds_object_retain_locked(to);
    UNLOCK();
    EdsError err = copy_streams(&from->s, &to->s, inWriteSize);
    LOCK();
    eds_object_release_locked(from);
    eds_object_release_locked(to);
    return unlock_with(err);
}

EDSAPI EdsError EdsSetProgressCallback(EdsBaseRef inRef, EdsProgressCallback inProgressCallback,
                                       EdsProgressOption inProgressOption, EdsVoid* inContext)
{
    SIMCAM_ENTER();
    if (inProgressOption != kEdsProgressOption_NoReport && inProgressOption != kEdsProgressOption_Done &&
        inProgressOption != kEdsProgressOption_Periodically)
        return EDS_ERR_INVALID_PARAMETER;
    LOCK();
    REQUIRE_STARTED();
    FIND(o, inRef, 0);
    if (o->kind != OBJ_STREAM && o->kind != OBJ_IMAGE)
        return unlock_with(EDS_ERR_INVALID_HANDLE);
    o->s.progress = inProgressCallback;
    o->s.progress_option = inProgressCallback ? inProgressOption : kEdsProgressOption_NoReport;
    o->s.progress_context = inContext;
    return unlock_with(EDS_ERR_OK);
}

/* ---- images (RAW development) ---- */

EDSAPI EdsError EdsCreateImageRef(EdsStreamRef inStreamRef, EdsImageRef* outImageRef)
{
    SIMCAM_ENTER();
    if (!outImageRef)
        return EDS_ERR_INVALID_POINTER;
    *outImageRef = NULL;
    LOCK();
    REQUIRE_STARTED();
    FIND(stream, inStreamRef, OBJ_STREAM);
    eds_object_retain_locked(stream);
    UNLOCK();
    /* The header decides; the stream's position is left where the caller had it. */
    unsigned char header[28];
    uint64_t position = 0, got = 0;
    eds_raw raw;
    EdsError err = eds_stream_position(&stream->s, &position);
    if (!err)
        err = eds_stream_seek(&stream->s, 0, kEdsSeek_Begin);
    if (!err)
        err = eds_stream_read(&stream->s, sizeof header, header, &got);
    eds_stream_seek(&stream->s, (int64_t)position, kEdsSeek_Begin);
    if (!err && eds_raw_parse(header, (size_t)got, &raw) != 0)
        err = EDS_ERR_FILE_FORMAT_UNRECOGNIZED;
    LOCK();
    struct EdsObjectTag* image = err ? NULL : eds_object_new_locked(OBJ_IMAGE);
    if (!err && !image)
        err = EDS_ERR_MEM_ALLOC_FAILED;
    if (image) {
        image->raw = raw;
        image->stream = stream; /* keeps the retain taken above */
        *outImageRef = image;
    } else {
        eds_object_release_locked(stream);
    }
    return unlock_with(err);
}

EDSAPI EdsError EdsGetImageInfo(EdsImageRef inImageRef, EdsImageSource inImageSource, EdsImageInfo* outImageInfo)
{
    SIMCAM_ENTER();
    if (!outImageInfo)
        return EDS_ERR_INVALID_POINTER;
    LOCK();
    REQUIRE_STARTED();
    FIND(o, inImageRef, OBJ_IMAGE);
    memset(outImageInfo, 0, sizeof *outImageInfo);
    int w = o->raw.width, h = o->raw.height;
    switch (inImageSource) {
    case kEdsImageSrc_FullView: break;
    case kEdsImageSrc_Thumbnail: w = 160; h = 120; break;
    case kEdsImageSrc_Preview: w /= 4; h /= 4; break;
    default: return unlock_with(EDS_ERR_INVALID_PARAMETER);
    }
    outImageInfo->width = (EdsUInt32)w;
    outImageInfo->height = (EdsUInt32)h;
    outImageInfo->numOfComponents = 3;
    outImageInfo->componentDepth = inImageSource == kEdsImageSrc_FullView ? 14 : 8;
    outImageInfo->effectiveRect.size.width = w;
    outImageInfo->effectiveRect.size.height = h;
    return unlock_with(EDS_ERR_OK);
}

/* Writes a made picture to a stream, without the lock; frees the picture. */
static EdsError write_made(struct EdsObjectTag* stream, unsigned char* data, size_t size)
{
    EdsError err = eds_stream_write_all(&stream->s, data, size);
    free(data);
    LOCK();
    eds_object_release_locked(stream);
    UNLOCK();
    return err;
}

EDSAPI EdsError EdsGetImage(EdsImageRef inImageRef, EdsImageSource inImageSource, EdsTargetImageType inImageType,
                            EdsRect inSrcRect, EdsSize inDstSize, EdsStreamRef outStreamRef)
{
    SIMCAM_ENTER();
    LOCK();
    REQUIRE_STARTED();
    FIND(o, inImageRef, OBJ_IMAGE);
    FIND(out, outStreamRef, OBJ_STREAM);
    const eds_raw raw = o->raw;
    eds_object_retain_locked(out);
    UNLOCK();
    unsigned char* data = NULL;
    size_t size = 0;
    EdsError err = eds_render_image(&raw, inImageSource, inImageType, inSrcRect, inDstSize, &data, &size);
    if (err) {
        LOCK();
        eds_object_release_locked(out);
        return unlock_with(err);
    }
    return write_made(out, data, size);
}

EDSAPI EdsError EdsSaveImage(EdsImageRef inImageRef, EdsTargetImageType inImageType, EdsSaveImageSetting inSaveSetting,
                             EdsStreamRef outStreamRef)
{
    SIMCAM_ENTER();
    LOCK();
    REQUIRE_STARTED();
    FIND(o, inImageRef, OBJ_IMAGE);
    FIND(out, outStreamRef, OBJ_STREAM);
    if (inSaveSetting.iccProfileStream && !eds_object_find_locked(inSaveSetting.iccProfileStream, OBJ_STREAM))
        return unlock_with(EDS_ERR_INVALID_HANDLE);
    const eds_raw raw = o->raw;
    eds_object_retain_locked(out);
    UNLOCK();
    unsigned char* data = NULL;
    size_t size = 0;
    EdsError err = eds_develop(&raw, inImageType, (int)inSaveSetting.JPEGQuality, &data, &size);
    if (err) {
        LOCK();
        eds_object_release_locked(out);
        return unlock_with(err);
    }
    return write_made(out, data, size);
}

EDSAPI EdsError EdsCacheImage(EdsImageRef inImageRef, EdsBool inUseCache)
{
    SIMCAM_ENTER();
    LOCK();
    REQUIRE_STARTED();
    FIND(o, inImageRef, OBJ_IMAGE);
    return unlock_with(EDS_ERR_OK);
}

EDSAPI EdsError EdsReflectImageProperty(EdsImageRef inImageRef)
{
    SIMCAM_ENTER();
    LOCK();
    REQUIRE_STARTED();
    FIND(o, inImageRef, OBJ_IMAGE);
    return unlock_with(EDS_ERR_OK);
}

/* ---- live view ---- */

EDSAPI EdsError EdsCreateEvfImageRef(EdsStreamRef inStreamRef, EdsEvfImageRef* outEvfImageRef)
{
    SIMCAM_ENTER();
    if (!outEvfImageRef)
        return EDS_ERR_INVALID_POINTER;
    *outEvfImageRef = NULL;
    LOCK();
    REQUIRE_STARTED();
    FIND(stream, inStreamRef, OBJ_STREAM);
    struct EdsObjectTag* evf = eds_object_new_locked(OBJ_EVF_IMAGE);
    eds_evf_meta* meta = evf ? calloc(1, sizeof *meta) : NULL;
    if (!meta) {
        if (evf)
            eds_object_release_locked(evf);
        return unlock_with(EDS_ERR_MEM_ALLOC_FAILED);
    }
    evf->evf = meta;
    evf->stream = stream;
    eds_object_retain_locked(stream);
    *outEvfImageRef = evf;
    return unlock_with(EDS_ERR_OK);
}

EDSAPI EdsError EdsDownloadEvfImage(EdsCameraRef inCameraRef, EdsEvfImageRef inEvfImageRef)
{
    SIMCAM_ENTER();
    LOCK();
    REQUIRE_STARTED();
    FIND(o, inCameraRef, OBJ_CAMERA);
    FIND(evf, inEvfImageRef, OBJ_EVF_IMAGE);
    eds_camera* c = o->camera;
    EdsError err = camera_ready(c, 1);
    if (err)
        return unlock_with(err);
    if (!c->model->has_live_view)
        return unlock_with(EDS_ERR_NOT_SUPPORTED);
    touch_locked(c);
    /* No picture until live view runs with the computer as an output. */
    if (eds_prop_u32(c, kEdsPropID_Evf_Mode, 0) != 1 ||
        !(eds_prop_u32(c, kEdsPropID_Evf_OutputDevice, 0) & kEdsEvfOutputDevice_PC))
        return unlock_with(EDS_ERR_OBJECT_NOTREADY);
    eds_evf_meta* meta = malloc(sizeof *meta);
    if (!meta)
        return unlock_with(EDS_ERR_MEM_ALLOC_FAILED);
    unsigned char* jpeg = NULL;
    size_t size = 0;
    err = eds_make_evf_frame(c, &jpeg, &size, meta);
    if (err) {
        free(meta);
        return unlock_with(err);
    }
    struct EdsObjectTag* stream = evf->stream;
    eds_object_retain_locked(evf);
    UNLOCK();
    /* Each frame replaces the stream's content. */
    if (stream->s.kind == STREAM_MEMORY)
        stream->s.length = 0;
    err = eds_stream_seek(&stream->s, 0, kEdsSeek_Begin);
    if (!err)
        err = eds_stream_write_all(&stream->s, jpeg, size);
    free(jpeg);
    LOCK();
    if (!err)
        memcpy(evf->evf, meta, sizeof *meta);
    free(meta);
    eds_object_release_locked(evf);
    return unlock_with(err);
}

/* ---- event handlers ---- */

EDSAPI EdsError EdsSetCameraAddedHandler(EdsCameraAddedHandler inCameraAddedHandler, EdsVoid* inContext)
{
    SIMCAM_ENTER();
    LOCK();
    REQUIRE_STARTED();
    g_added_handler = inCameraAddedHandler;
    g_added_context = inContext;
    return unlock_with(EDS_ERR_OK);
}

EDSAPI EdsError EdsSetPropertyEventHandler(EdsCameraRef inCameraRef, EdsPropertyEvent inEvent,
                                           EdsPropertyEventHandler inPropertyEventHandler, EdsVoid* inContext)
{
    SIMCAM_ENTER();
    LOCK();
    REQUIRE_STARTED();
    FIND(o, inCameraRef, OBJ_CAMERA);
    o->camera->property_handler = inPropertyEventHandler;
    o->camera->property_event = inEvent;
    o->camera->property_context = inContext;
    return unlock_with(EDS_ERR_OK);
}

EDSAPI EdsError EdsSetObjectEventHandler(EdsCameraRef inCameraRef, EdsObjectEvent inEvent,
                                         EdsObjectEventHandler inObjectEventHandler, EdsVoid* inContext)
{
    SIMCAM_ENTER();
    LOCK();
    REQUIRE_STARTED();
    FIND(o, inCameraRef, OBJ_CAMERA);
    o->camera->object_handler = inObjectEventHandler;
    o->camera->object_event = inEvent;
    o->camera->object_context = inContext;
    return unlock_with(EDS_ERR_OK);
}

EDSAPI EdsError EdsSetCameraStateEventHandler(EdsCameraRef inCameraRef, EdsStateEvent inEvent,
                                              EdsStateEventHandler inStateEventHandler, EdsVoid* inContext)
{
    SIMCAM_ENTER();
    LOCK();
    REQUIRE_STARTED();
    FIND(o, inCameraRef, OBJ_CAMERA);
    o->camera->state_handler = inStateEventHandler;
    o->camera->state_event = inEvent;
    o->camera->state_context = inContext;
    return unlock_with(EDS_ERR_OK);
}

EDSAPI EdsError EdsGetEvent(void)
{
    SIMCAM_ENTER();
    LOCK();
    REQUIRE_STARTED();
    UNLOCK();
    simcam_drain();
    return EDS_ERR_OK;
}

/* ---- control interface ---- */

void simcam_cameras_changed_locked(const char* models)
{
    if (!g_init_count)
        return;
    /* Cameras up to the first change keep their state; the rest are unplugged, and the new
     * ones plugged in and announced. */
    char buf[256];
    snprintf(buf, sizeof buf, "%s", strcmp(models, "none") == 0 ? "" : models);
    const eds_model* wanted[MAX_CAMERAS];
    int count = 0;
    char* save = NULL;
    for (char* key = strtok_r(buf, ",", &save); key && count < MAX_CAMERAS; key = strtok_r(NULL, ",", &save))
        if ((wanted[count] = eds_model_find(key)) != NULL)
            ++count;
    int same = 0;
    for (eds_camera* c; same < count && (c = plugged_camera_locked(same)) != NULL && c->model == wanted[same];)
        ++same;
    for (eds_camera* c; (c = plugged_camera_locked(same)) != NULL;)
        eds_unplug_locked(c);
    for (int i = same; i < count && g_camera_count < MAX_CAMERAS; ++i) {
        eds_camera* added = eds_camera_new(g_next_camera_id++, wanted[i]);
        if (added) {
            g_cameras[g_camera_count++] = added;
            watch_auto_off_locked(added);
            post_event_locked(EVENT_ADDED, added, 0, 0, NULL, 0);
        }
    }
}

int simcam_unplug_locked(int camera)
{
    eds_camera* c = plugged_camera_locked(camera);
    if (c)
        eds_unplug_locked(c);
    return c ? 0 : -1;
}

SIMCAM_EXPORT int SimCam_SetProperty(int camera, uint32_t property, int32_t value)
{
    LOCK();
    eds_camera* c = plugged_camera_locked(camera);
    eds_prop* p = c ? eds_prop_find(c, property) : NULL;
    if (p && p->type != kEdsDataType_String && p->size >= 4) {
        memcpy(p->data, &value, 4);
        eds_post_property_event_locked(c, kEdsPropertyEvent_PropertyChanged, property, 0);
    }
    UNLOCK();
    return p ? 0 : -1;
}

SIMCAM_EXPORT int SimCam_SetAllowedValues(int camera, uint32_t property, const int32_t* values, int count)
{
    if (count < 0 || count > EDS_MAX_DESC_ELEMENTS || (count && !values))
        return -1;
    LOCK();
    eds_camera* c = plugged_camera_locked(camera);
    eds_prop* p = c ? eds_prop_find(c, property) : NULL;
    if (p) {
        memcpy(p->values, values, (size_t)count * sizeof(int32_t));
        p->value_count = count;
        eds_post_property_event_locked(c, kEdsPropertyEvent_PropertyDescChanged, property, 0);
    }
    UNLOCK();
    return p ? 0 : -1;
}

SIMCAM_EXPORT int SimCam_RaiseEvent(int camera, uint32_t event, uint32_t data)
{
    LOCK();
    eds_camera* c = plugged_camera_locked(camera);
    int ok = c != NULL;
    if (c && (event & 0xF00) == 0x100)
        eds_post_property_event_locked(c, event, data, 0);
    else if (c && (event & 0xF00) == 0x300)
        eds_post_state_event_locked(c, event, data, 0);
    else
        ok = 0;
    UNLOCK();
    return ok ? 0 : -1;
}

SIMCAM_EXPORT int SimCam_AddCardFile(int camera, const char* folder, const char* name, uint64_t size)
{
    if (!folder || !name || !*name || strchr(name, '/'))
        return -1;
    LOCK();
    eds_camera* c = plugged_camera_locked(camera);
    eds_node* n = c ? eds_card_add_file(c, folder, name, size) : NULL;
    UNLOCK();
    return n ? 0 : -1;
}

SIMCAM_EXPORT int SimCam_SetCard(int camera, int present)
{
    LOCK();
    eds_camera* c = plugged_camera_locked(camera);
    if (c && !present && c->card) {
        while (c->card->child_count)
            eds_node_remove(c->card->children[0]);
        eds_node_release(c->card);
        c->card = NULL;
    } else if (c && present && !c->card) {
        c->card = eds_node_new("", 1);
    }
    UNLOCK();
    return c ? 0 : -1;
}

SIMCAM_EXPORT int SimCam_LiveObjects(void)
{
    LOCK();
    int n = g_live_count;
    UNLOCK();
    return n;
}
