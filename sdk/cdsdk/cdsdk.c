/* CDSDK.DLL stand-in: the 153 older-PowerShot entry points over simulated cameras. Everything the
 * caller holds is a 32-bit handle checked against a table, so a stale or foreign handle is an error
 * and never a crash. Releases and viewfinder frames come from the library's own thread; picture
 * data go to a file or the caller's memory with progress on that thread while the call waits. */
#include "cdsdk_api.h"
#include "simcam.h"
#include "simcam_control.h"

#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <time.h>

#define CDAPI CDAPI_EXPORT
#define MAX_CAMERAS 16
#define MAX_VALUES 64
#define RELEASE_EVENT_FLAG 0x80000000u /* SimCam_RaiseEvent: a release event, not a camera event */

/* ---- models ---- */

typedef enum { F_DRIVE, F_SHOOTING, F_AV, F_TV, F_EXPCOMP, F_WB, F_AFDIST, F_COUNT } cd_family;

typedef struct {
    const char* key;
    const char* name;
    int sensor_width, sensor_height;
    int sizes[3][2]; /* large, medium, small */
    int enumerable[F_COUNT];
    uint32_t faculty;
    uint32_t zoom_max, zoom_optical;
} cd_model;

static const cd_model g_models[] = {
    /* Cannot list its shutter speeds: a probe must try them. */
    {"ps-old", "PowerShot SimCam O", 2048, 1536, {{2048, 1536}, {1600, 1200}, {640, 480}}, {1, 1, 1, 0, 1, 1, 1},
     cdRELEASE_CONTROL_CAP_SUPPORTED | 0x1F, 8, 5},
    {"ps-both", "PowerShot SimCam Twin", 2272, 1704, {{2272, 1704}, {1600, 1200}, {1024, 768}}, {1, 1, 1, 1, 1, 1, 1},
     cdRELEASE_CONTROL_CAP_SUPPORTED | 0x17, 7, 7},
};

/* ---- state ---- */

typedef struct cd_node {
    int refs;
    struct cd_node* parent;
    struct cd_node** children;
    int child_count, child_capacity;
    char name[128];
    int is_folder;
    uint32_t type; /* 1 folder, 2 picture, 3 movie */
    uint32_t attribute;
    uint32_t marks[3]; /* print, slide show, transfer */
    uint32_t date_time;
    unsigned seed;
    int width, height;
    unsigned char* data;
    size_t size;
    unsigned char* thumbnail;
    size_t thumbnail_size;
    int opened;
} cd_node;

typedef struct {
    unsigned char* data;
    size_t size;
    uint32_t type; /* 1 thumbnail, 2 picture */
    uint32_t sequence;
    char name[32];
} cd_released;

typedef struct {
    uint32_t id;
    uint32_t size;
    uint32_t value;
    const uint32_t* allowed;
    int allowed_count;
    int enumerable;
} cd_relcam;

typedef struct {
    int id;
    const cd_model* model;
    int plugged;
    cdHSource source; /* 0: not open */
    cdHVolume volume;
    cdEventCallbackFunction event_cb;
    cdContext event_context;
    cdHandle event_handle;
    int release_control;
    cdReleaseEventCallbackFunction release_cb;
    cdContext release_context;
    uint32_t release_kind;
    cd_released* pending;
    int pending_count;
    uint32_t sequence;
    int viewfinder;
    int viewfinder_generation;
    cdViewfinderCallbackFunction viewfinder_cb;
    cdContext viewfinder_context;
    uint32_t viewfinder_format;
    unsigned frame;
    uint32_t settings[F_COUNT];
    uint32_t quality, size_code, flash_mode, flash_comp;
    cd_relcam relcam[8];
    int relcam_count;
    char owner[32];
    uint32_t battery;
    uint32_t camera_time;
    uint32_t zoom;
    uint32_t shots;
    unsigned next_number;
    cd_node* card;
} cd_camera;

typedef enum { H_SOURCE = 1, H_ENUM, H_VOLUME, H_ITEM, H_PART } cd_kind;

typedef enum {
    E_DEVICE = 1, E_DEVPROP, E_IMAGESIZE, E_VOLUME, E_ITEM, E_IMAGEITEM, E_IMAGEPROP, E_FORMAT, E_FLASH, E_RELCAM,
    E_RELCAMDATA, E_FAMILY /* + family */
} cd_enum_kind;

typedef struct {
    uint32_t handle;
    cd_kind kind;
    int camera_id;
    cd_node* node;      /* items and parts */
    uint32_t part;      /* 1 thumbnail, 2 picture, 3 movie */
    int enum_kind;
    unsigned char* elements;
    size_t element_size;
    int count, cursor;
} cd_handle;

#define LOCK() pthread_mutex_lock(&simcam_lock)
#define UNLOCK() pthread_mutex_unlock(&simcam_lock)

static int g_started;
static cd_camera* g_cameras[MAX_CAMERAS];
static int g_camera_count;
static int g_next_id = 1;
static cd_handle* g_handles;
static int g_handle_count, g_handle_capacity;
static uint32_t g_next_handle = 0x100;
static unsigned g_viewfinder_ms = 100;

static cdError unlock_with(cdError e)
{
    UNLOCK();
    return e;
}

/* ---- handles ---- */

static cd_handle* handle_new(cd_kind kind, int camera_id)
{
    if (g_handle_count == g_handle_capacity) {
        int capacity = g_handle_capacity ? g_handle_capacity * 2 : 32;
        cd_handle* grown = realloc(g_handles, (size_t)capacity * sizeof *grown);
        if (!grown)
            return NULL;
        g_handles = grown;
        g_handle_capacity = capacity;
    }
    cd_handle* h = &g_handles[g_handle_count++];
    memset(h, 0, sizeof *h);
    h->handle = g_next_handle++;
    h->kind = kind;
    h->camera_id = camera_id;
    return h;
}

static cd_handle* handle_find(uint32_t handle, cd_kind kind)
{
    for (int i = 0; i < g_handle_count; ++i)
        if (g_handles[i].handle == handle)
            return g_handles[i].kind == kind ? &g_handles[i] : NULL;
    return NULL;
}

static void node_release(cd_node* n);

static void handle_free(cd_handle* h)
{
    free(h->elements);
    if (h->node)
        node_release(h->node);
    const int index = (int)(h - g_handles);
    g_handles[index] = g_handles[--g_handle_count];
}

static cd_camera* camera_by_id(int id)
{
    for (int i = 0; i < g_camera_count; ++i)
        if (g_cameras[i]->id == id)
            return g_cameras[i];
    return NULL;
}

static cd_camera* plugged_camera(int index)
{
    for (int i = 0; i < g_camera_count; ++i)
        if (g_cameras[i]->plugged && index-- == 0)
            return g_cameras[i];
    return NULL;
}

/* The camera of an open source: cdOK or why not. */
static cdError source_camera(cdHSource source, cd_camera** out)
{
    if (!g_started)
        return cdINVALID_FN_CALL;
    cd_handle* h = handle_find(source, H_SOURCE);
    cd_camera* c = h ? camera_by_id(h->camera_id) : NULL;
    if (!c)
        return cdINVALID_HANDLE;
    if (!c->plugged)
        return cdCOMM_DISCONNECTED;
    *out = c;
    return cdOK;
}

/* ---- card ---- */

static cd_node* node_new(const char* name, int is_folder)
{
    cd_node* n = calloc(1, sizeof *n);
    if (!n)
        return NULL;
    n->refs = 1;
    snprintf(n->name, sizeof n->name, "%s", name);
    n->is_folder = is_folder;
    n->type = is_folder ? 1 : 2;
    n->date_time = (uint32_t)time(NULL);
    return n;
}

static void node_retain(cd_node* n)
{
    ++n->refs;
}

static void node_release(cd_node* n)
{
    if (!n || --n->refs > 0)
        return;
    for (int i = 0; i < n->child_count; ++i) {
        n->children[i]->parent = NULL;
        node_release(n->children[i]);
    }
    free(n->children);
    free(n->data);
    free(n->thumbnail);
    free(n);
}

static int node_add(cd_node* folder, cd_node* child)
{
    if (folder->child_count == folder->child_capacity) {
        int capacity = folder->child_capacity ? folder->child_capacity * 2 : 8;
        cd_node** grown = realloc(folder->children, (size_t)capacity * sizeof *grown);
        if (!grown)
            return -1;
        folder->children = grown;
        folder->child_capacity = capacity;
    }
    folder->children[folder->child_count++] = child;
    child->parent = folder;
    return 0;
}

static void node_remove(cd_node* n)
{
    cd_node* parent = n->parent;
    if (!parent)
        return;
    for (int i = 0; i < parent->child_count; ++i) {
        if (parent->children[i] == n) {
            memmove(&parent->children[i], &parent->children[i + 1], (size_t)(parent->child_count - i - 1) * sizeof n);
            --parent->child_count;
            break;
        }
    }
    n->parent = NULL;
    node_release(n);
}

static cd_node* card_folder(cd_camera* c, const char* path)
{
    if (!c->card)
        return NULL;
    cd_node* at = c->card;
    char buf[256];
    snprintf(buf, sizeof buf, "%s", path);
    char* save = NULL;
    for (char* part = strtok_r(buf, "/", &save); part; part = strtok_r(NULL, "/", &save)) {
        cd_node* next = NULL;
        for (int i = 0; i < at->child_count; ++i)
            if (at->children[i]->is_folder && strcmp(at->children[i]->name, part) == 0)
                next = at->children[i];
        if (!next) {
            next = node_new(part, 1);
            if (!next || node_add(at, next) != 0) {
                free(next);
                return NULL;
            }
        }
        at = next;
    }
    return at;
}

/* Makes a file's bytes: a JPEG of the scene for pictures, opaque bytes for movies. */
static int node_materialise(cd_camera* c, cd_node* n)
{
    if (n->data || n->is_folder)
        return 0;
    if (n->type == 2) {
        simcam_scene scene;
        simcam_scene_default(&scene, c->model->sensor_width, c->model->sensor_height, n->seed);
        return simcam_make_jpeg(&scene, n->width, n->height, 90, &n->data, &n->size, NULL);
    }
    n->size = 256 * 1024;
    n->data = malloc(n->size);
    if (!n->data)
        return -1;
    unsigned state = n->seed | 1u;
    for (size_t i = 0; i < n->size; ++i) {
        state = state * 1103515245u + 12345u;
        n->data[i] = (unsigned char)(state >> 16);
    }
    memcpy(n->data, "RIFF\0\0\0\0AVI ", 12);
    return 0;
}

static int node_thumbnail(cd_camera* c, cd_node* n)
{
    if (n->thumbnail)
        return 0;
    simcam_scene scene;
    simcam_scene_default(&scene, c->model->sensor_width, c->model->sensor_height, n->seed);
    return simcam_make_jpeg(&scene, 160, 120, 80, &n->thumbnail, &n->thumbnail_size, NULL);
}

static cd_node* card_add(cd_camera* c, const char* folder, const char* name, int width, int height)
{
    cd_node* dir = card_folder(c, folder);
    cd_node* n = dir ? node_new(name, 0) : NULL;
    if (!n)
        return NULL;
    const char* dot = strrchr(name, '.');
    n->type = (dot && strcasecmp(dot, ".AVI") == 0) ? 3 : 2;
    unsigned hash = 2166136261u;
    for (const char* p = name; *p; ++p)
        hash = (hash ^ (unsigned char)*p) * 16777619u;
    n->seed = hash ^ (unsigned)c->id;
    n->width = width;
    n->height = height;
    if (node_materialise(c, n) != 0 || node_add(dir, n) != 0) {
        node_release(n);
        return NULL;
    }
    return n;
}

/* ---- cameras ---- */

static const uint32_t k_drive[] = {0, 1, 2};
static const uint32_t k_shooting[] = {0, 1, 2, 3, 4, 5, 108, 110, 115};
static const uint32_t k_exp[] = {8, 11, 13, 16, 19, 21, 24, 27, 29, 32, 35, 37, 40};
static const uint32_t k_wb[] = {0, 1, 2, 3, 4, 5, 6, 8, 9};
static const uint32_t k_afdist[] = {0, 1, 3, 4};
static const uint32_t k_flash[] = {0, 1, 2, 3, 4};
static const uint32_t k_quality[][2] = {{2, 0}, {3, 0}, {5, 0}, {2, 1}, {3, 1}, {2, 2}, {3, 2}, {4, 0}};
static const uint32_t k_metering[] = {0, 1, 3};
static const uint32_t k_iso[] = {0, 72, 80, 88, 96};
static const uint32_t k_levels[] = {0xFF, 0, 1};
static const uint32_t k_effects[] = {0, 1, 2, 3, 4};
static const uint32_t k_onoff[] = {0, 1};
static uint32_t k_av[MAX_VALUES], k_tv[MAX_VALUES];
static int k_av_count, k_tv_count;

static int thirds(uint32_t from, uint32_t to, uint32_t* out)
{
    int n = 0;
    for (uint32_t stop = from & ~7u; stop <= to; stop += 8) {
        const uint32_t steps[3] = {stop, stop + 3, stop + 5};
        for (int i = 0; i < 3; ++i)
            if (steps[i] >= from && steps[i] <= to)
                out[n++] = steps[i];
    }
    return n;
}

/* Allowed values of a family. */
static const uint32_t* family_values(cd_family f, int* count)
{
    switch (f) {
    case F_DRIVE: *count = 3; return k_drive;
    case F_SHOOTING: *count = (int)(sizeof k_shooting / sizeof k_shooting[0]); return k_shooting;
    case F_AV: *count = k_av_count; return k_av;
    case F_TV: *count = k_tv_count; return k_tv;
    case F_EXPCOMP: *count = (int)(sizeof k_exp / sizeof k_exp[0]); return k_exp;
    case F_WB: *count = (int)(sizeof k_wb / sizeof k_wb[0]); return k_wb;
    case F_AFDIST: *count = (int)(sizeof k_afdist / sizeof k_afdist[0]); return k_afdist;
    default: *count = 0; return NULL;
    }
}

static void relcam_add(cd_camera* c, uint32_t id, uint32_t size, uint32_t value, const uint32_t* allowed, int count,
                       int enumerable)
{
    cd_relcam* r = &c->relcam[c->relcam_count++];
    *r = (cd_relcam){id, size, value, allowed, count, enumerable};
}

static cd_camera* camera_new(const cd_model* m)
{
    cd_camera* c = calloc(1, sizeof *c);
    if (!c)
        return NULL;
    if (!k_av_count) {
        k_av_count = thirds(32, 64, k_av);  /* f/2.8 to f/8 */
        k_tv_count = thirds(24, 144, k_tv); /* 15 s to 1/2000 s */
    }
    c->id = g_next_id++;
    c->model = m;
    c->plugged = 1;
    c->release_kind = 2;
    c->settings[F_SHOOTING] = 1;
    c->settings[F_AV] = 40;
    c->settings[F_TV] = 104;
    c->settings[F_EXPCOMP] = 24;
    c->settings[F_AFDIST] = 1;
    c->quality = 3;
    c->size_code = 0;
    c->battery = (uint32_t)simcam_env_long("JEX4_SIMCAM_CD_BATTERY", 0x20000006L);
    c->camera_time = (uint32_t)time(NULL);
    c->shots = 412;
    c->next_number = 1;
    relcam_add(c, cdREL_SET_ML_WEI_MODE, 1, 3, k_metering, 3, 1);
    relcam_add(c, cdREL_SET_ISO_SPEED, 2, 0, k_iso, 5, 1);
    relcam_add(c, cdREL_SET_CONTRAST, 1, 0, k_levels, 3, 1);
    relcam_add(c, cdREL_SET_COLOR_GAIN, 1, 0, k_levels, 3, 1);
    relcam_add(c, cdREL_SET_SHARPNESS, 1, 0, k_levels, 3, 1);
    relcam_add(c, cdREL_SET_PHOTO_EFFECT, 2, 0, k_effects, 5, 1);
    relcam_add(c, cdREL_SET_BEEP, 1, 1, k_onoff, 2, 1);
    relcam_add(c, cdREL_SET_COLOR_TEMPERATURE, 2, 5200, NULL, 0, 0);
    c->card = node_new("", 1);
    const int w = 1024, h = 1024 * m->sensor_height / m->sensor_width;
    card_add(c, "DCIM/100SIMCM", "IMG_0001.JPG", w, h);
    card_add(c, "DCIM/100SIMCM", "IMG_0002.JPG", w, h);
    card_add(c, "DCIM/100SIMCM", "MVI_0003.AVI", 0, 0);
    card_add(c, "DCIM/101SIMCM", "IMG_0004.JPG", w, h);
    c->next_number = 5;
    return c;
}

static void free_pending(cd_camera* c)
{
    for (int i = 0; i < c->pending_count; ++i)
        free(c->pending[i].data);
    free(c->pending);
    c->pending = NULL;
    c->pending_count = 0;
}

static void camera_free(cd_camera* c)
{
    free_pending(c);
    if (c->card)
        node_release(c->card);
    free(c);
}

static const cd_model* model_find(const char* key)
{
    for (size_t i = 0; i < sizeof g_models / sizeof g_models[0]; ++i)
        if (strcmp(g_models[i].key, key) == 0)
            return &g_models[i];
    return NULL;
}

static void add_cameras_locked(const char* models)
{
    char buf[256];
    snprintf(buf, sizeof buf, "%s", models);
    char* save = NULL;
    for (char* key = strtok_r(buf, ",", &save); key; key = strtok_r(NULL, ",", &save)) {
        const cd_model* m = model_find(key);
        if (!m || g_camera_count == MAX_CAMERAS)
            continue;
        cd_camera* c = camera_new(m);
        if (c)
            g_cameras[g_camera_count++] = c;
    }
}

/* ---- events ---- */

typedef struct {
    int camera_id;
    int release; /* the release callback, else the event callback */
    uint32_t event;
    uint32_t data;
} cd_event;

static void run_event(void* arg)
{
    cd_event* e = arg;
    LOCK();
    cd_camera* c = g_started ? camera_by_id(e->camera_id) : NULL;
    cdEventCallbackFunction on_event = c && !e->release ? c->event_cb : NULL;
    cdReleaseEventCallbackFunction on_release = c && e->release && c->release_control ? c->release_cb : NULL;
    cdContext context = !c ? 0 : e->release ? c->release_context : c->event_context;
    UNLOCK();
    if (on_event)
        on_event(e->event, &e->data, 4, context);
    if (on_release)
        on_release(e->event, &e->data, 4, context);
    free(e);
}

static void post_event_locked(cd_camera* c, int release, uint32_t event, uint32_t data, unsigned delay_ms)
{
    cd_event* e = calloc(1, sizeof *e);
    if (!e)
        return;
    *e = (cd_event){c->id, release, event, data};
    simcam_post(run_event, free, e, delay_ms);
}

static void unplug_locked(cd_camera* c)
{
    if (!c->plugged)
        return;
    post_event_locked(c, 0, cdEVENT_SEVERITY_SHUTDOWN | cdEVENT_CONNECTION_DISAPPEARED, 0, 0);
    c->plugged = 0;
    c->release_control = 0;
    c->viewfinder = 0;
}

/* ---- writing picture data ---- */

typedef struct {
    const unsigned char* data;
    size_t size;
    cdStgMedium* stg;
    cdProgressCallbackFunction progress;
    cdContext context;
    uint32_t option;
    int camera_id;
    cdError result;
} cd_write_job;

/* Writes to the storage medium with progress, on the library's thread; a disconnect leaves what
 * came so far and reports the connection gone. */
static void run_write(void* arg)
{
    cd_write_job* w = arg;
    FILE* f = NULL;
    if (w->stg->Type == cdMEMTYPE_FILE) {
        f = w->stg->u.FileName ? fopen(w->stg->u.FileName, "wb") : NULL;
        if (!f) {
            w->result = cdFILE_OPEN_ERROR;
            return;
        }
    } else if (w->stg->Type == cdMEMTYPE_MEMORY) {
        w->stg->u.Memory.Written = 0;
        if (!w->stg->u.Memory.Buffer || w->stg->u.Memory.Size < w->size) {
            w->result = cdINVALID_LENGTH;
            return;
        }
    } else {
        w->result = cdINVALID_PARAMETER;
        return;
    }
    const size_t chunk = 64 * 1024;
    size_t done = 0;
    w->result = cdOK;
    while (done < w->size) {
        size_t want = w->size - done < chunk ? w->size - done : chunk;
        int cut = 0;
        size_t may = (size_t)simcam_take_transfer_budget(want, &cut);
        if (f && may && fwrite(w->data + done, 1, may, f) != may) {
            w->result = cdFILE_WRITE_ERROR;
            break;
        }
        if (!f && may) {
            memcpy((unsigned char*)w->stg->u.Memory.Buffer + done, w->data + done, may);
            w->stg->u.Memory.Written = (cdUInt32)(done + may);
        }
        done += may;
        if (cut) {
            LOCK();
            cd_camera* c = camera_by_id(w->camera_id);
            if (c)
                unplug_locked(c);
            UNLOCK();
            w->result = cdCOMM_DISCONNECTED;
            break;
        }
        if (w->progress && w->option == cdPROG_REPORT_PERIODICALLY)
            w->progress((cdUInt32)(done * 100 / w->size), 0, w->context);
    }
    if (f && fclose(f) != 0 && w->result == cdOK)
        w->result = cdFILE_WRITE_ERROR;
    if (w->result == cdOK && w->progress && w->option == cdPROG_REPORT_DONE)
        w->progress(100, 0, w->context);
}

/* Copies the bytes and writes them without the lock. */
static cdError write_data_unlocked(const unsigned char* data, size_t size, cdStgMedium* stg,
                                   cdProgressCallbackFunction progress, cdContext context, uint32_t option, int camera_id)
{
    cd_write_job w = {data, size, stg, progress, context, option, camera_id, cdOK};
    simcam_run_on_thread(run_write, &w);
    return w.result;
}

/* ---- start and finish ---- */

CDAPI cdError CDStartSDK(cdVersionInfo* pVersion, cdUInt32 Option)
{
    SIMCAM_ENTER();
    if (!pVersion)
        return cdINVALID_POINTER;
    if (pVersion->Size != sizeof(cdVersionInfo) || pVersion->MajorVersion != 7)
        return cdINCOMPATIBLE_VERSION;
    LOCK();
    if (g_started)
        return unlock_with(cdINVALID_FN_CALL);
    g_started = 1;
    simcam_faults_from_env();
    g_viewfinder_ms = (unsigned)simcam_env_long("JEX4_SIMCAM_VIEWFINDER_MS", 100);
    add_cameras_locked(simcam_camera_models_locked());
    UNLOCK();
    simcam_events_start();
    return cdOK;
}

static void finish_locked(void)
{
    while (g_handle_count)
        handle_free(&g_handles[g_handle_count - 1]);
    free(g_handles);
    g_handles = NULL;
    g_handle_capacity = 0;
    for (int i = 0; i < g_camera_count; ++i)
        camera_free(g_cameras[i]);
    g_camera_count = 0;
}

CDAPI cdError CDFinishSDK(void)
{
    SIMCAM_ENTER();
    LOCK();
    if (!g_started)
        return unlock_with(cdINVALID_FN_CALL);
    g_started = 0;
    UNLOCK();
    simcam_events_stop();
    LOCK();
    finish_locked();
    return unlock_with(cdOK);
}

__attribute__((destructor)) static void unload_library(void)
{
    LOCK();
    const int started = g_started;
    g_started = 0;
    UNLOCK();
    if (started) {
        simcam_events_stop();
        LOCK();
        finish_locked();
        UNLOCK();
    }
}

CDAPI cdError CDGetSDKVersion(cdVersionInfo* pVersion)
{
    SIMCAM_ENTER();
    if (!pVersion)
        return cdINVALID_POINTER;
    memset(pVersion, 0, sizeof *pVersion);
    *pVersion = (cdVersionInfo){sizeof(cdVersionInfo), 7, 3, 0, "7.3.0.6"};
    return cdOK;
}

/* ---- enumerations ---- */

static cdError enum_new_locked(int camera_id, int kind, const void* elements, size_t element_size, int count,
                               cdHEnum* out)
{
    if (!out)
        return cdINVALID_POINTER;
    cd_handle* h = handle_new(H_ENUM, camera_id);
    if (!h)
        return cdMEM_ALLOC_FAILED;
    h->enum_kind = kind;
    h->element_size = element_size;
    h->count = count;
    if (count) {
        h->elements = malloc(element_size * (size_t)count);
        if (!h->elements) {
            handle_free(h);
            return cdMEM_ALLOC_FAILED;
        }
        memcpy(h->elements, elements, element_size * (size_t)count);
    }
    *out = h->handle;
    return cdOK;
}

static cdError enum_next(cdHEnum e, int kind, void* out, size_t size)
{
    if (!out)
        return cdINVALID_POINTER;
    LOCK();
    cd_handle* h = handle_find(e, H_ENUM);
    if (!h || h->enum_kind != kind)
        return unlock_with(cdINVALID_HANDLE);
    if (h->cursor >= h->count)
        return unlock_with(cdENUM_NA);
    memcpy(out, h->elements + h->element_size * (size_t)h->cursor++, size < h->element_size ? size : h->element_size);
    return unlock_with(cdOK);
}

static cdError enum_count(cdHEnum e, int kind, cdUInt32* out)
{
    if (!out)
        return cdINVALID_POINTER;
    LOCK();
    cd_handle* h = handle_find(e, H_ENUM);
    if (!h || h->enum_kind != kind)
        return unlock_with(cdINVALID_HANDLE);
    *out = (cdUInt32)h->count;
    return unlock_with(cdOK);
}

static cdError enum_release(cdHEnum e, int kind)
{
    LOCK();
    cd_handle* h = handle_find(e, H_ENUM);
    if (!h || h->enum_kind != kind)
        return unlock_with(cdINVALID_HANDLE);
    /* An enumeration of items owns the item handles it handed out. */
    uint32_t* items = NULL;
    int count = 0;
    if (kind == E_ITEM || kind == E_IMAGEITEM) {
        items = (uint32_t*)h->elements;
        count = h->count;
        h->elements = NULL;
    }
    handle_free(h);
    for (int i = 0; i < count; ++i) {
        cd_handle* item = handle_find(items[i], H_ITEM);
        if (item)
            handle_free(item);
    }
    free(items);
    return unlock_with(cdOK);
}

static void source_record(const cd_camera* c, cdSourceInfo* out)
{
    memset(out, 0, sizeof *out);
    out->SourceType = 1;
    snprintf(out->NameSource, sizeof out->NameSource, "%s", c->model->name);
    snprintf(out->NameInOS, sizeof out->NameInOS, "%s", c->model->name);
    out->PortType = 2;
    snprintf(out->PortDescription, sizeof out->PortDescription, "usb:002,%03d", c->id);
}

CDAPI cdError CDEnumDeviceReset(cdUInt32 Kind, cdHEnum* phEnum)
{
    SIMCAM_ENTER();
    LOCK();
    if (!g_started)
        return unlock_with(cdINVALID_FN_CALL);
    cdSourceInfo records[MAX_CAMERAS];
    int n = 0;
    for (int i = 0; i < g_camera_count; ++i)
        if (g_cameras[i]->plugged)
            source_record(g_cameras[i], &records[n++]);
    return unlock_with(enum_new_locked(0, E_DEVICE, records, sizeof records[0], n, phEnum));
}

CDAPI cdError CDEnumDeviceNext(cdHEnum hEnum, cdSourceInfo* pSourceInfo)
{
    SIMCAM_ENTER();
    return enum_next(hEnum, E_DEVICE, pSourceInfo, sizeof *pSourceInfo);
}

CDAPI cdError CDGetDeviceCount(cdHEnum hEnum, cdUInt32* pCount)
{
    SIMCAM_ENTER();
    return enum_count(hEnum, E_DEVICE, pCount);
}

CDAPI cdError CDEnumDeviceRelease(cdHEnum hEnum)
{
    SIMCAM_ENTER();
    return enum_release(hEnum, E_DEVICE);
}

CDAPI cdError CDOpenSource(cdSourceInfo* pSourceInfo, cdHSource* phSource)
{
    SIMCAM_ENTER();
    if (!pSourceInfo || !phSource)
        return cdINVALID_POINTER;
    LOCK();
    if (!g_started)
        return unlock_with(cdINVALID_FN_CALL);
    for (int i = 0; i < g_camera_count; ++i) {
        cd_camera* c = g_cameras[i];
        cdSourceInfo mine;
        source_record(c, &mine);
        if (!c->plugged || strcmp(mine.PortDescription, pSourceInfo->PortDescription) != 0)
            continue;
        if (c->source)
            return unlock_with(cdDEVICE_BUSY);
        cd_handle* h = handle_new(H_SOURCE, c->id);
        if (!h)
            return unlock_with(cdMEM_ALLOC_FAILED);
        c->source = h->handle;
        *phSource = h->handle;
        return unlock_with(cdOK);
    }
    return unlock_with(cdDEVICE_NOT_FOUND);
}

CDAPI cdError CDCloseSource(cdHSource hSource)
{
    SIMCAM_ENTER();
    LOCK();
    cd_handle* h = g_started ? handle_find(hSource, H_SOURCE) : NULL;
    if (!h)
        return unlock_with(cdINVALID_HANDLE);
    cd_camera* c = camera_by_id(h->camera_id);
    if (c) {
        c->source = 0;
        cd_handle* v = c->volume ? handle_find(c->volume, H_VOLUME) : NULL;
        c->volume = 0;
        c->release_control = 0;
        c->viewfinder = 0;
        c->event_cb = NULL;
        free_pending(c);
        if (v)
            handle_free(v);
        h = handle_find(hSource, H_SOURCE); /* freeing moved the table's entries */
    }
    handle_free(h);
    return unlock_with(cdOK);
}

CDAPI cdError CDRegisterEventCallbackFunction(cdHSource hSource, cdEventCallbackFunction pFunc, cdContext Context,
                                              cdHandle* phFunc)
{
    SIMCAM_ENTER();
    if (!pFunc || !phFunc)
        return cdINVALID_POINTER;
    LOCK();
    cd_camera* c = NULL;
    cdError e = source_camera(hSource, &c);
    if (e)
        return unlock_with(e);
    c->event_cb = pFunc;
    c->event_context = Context;
    c->event_handle = g_next_handle++;
    *phFunc = c->event_handle;
    return unlock_with(cdOK);
}

CDAPI cdError CDUnregisterEventCallbackFunction(cdHSource hSource, cdHandle hFunc)
{
    SIMCAM_ENTER();
    LOCK();
    cd_camera* c = NULL;
    cdError e = source_camera(hSource, &c);
    if (e)
        return unlock_with(e);
    if (!c->event_cb || c->event_handle != hFunc)
        return unlock_with(cdHANDLE_NOT_FOUND);
    c->event_cb = NULL;
    return unlock_with(cdOK);
}

/* ---- device properties ---- */

static const cdDevicePropertyStruct k_device_props[] = {
    {cdDEVICE_PROP_MODEL_NAME, 32, 1},   {cdDEVICE_PROP_FIRMWARE_VERSION, 32, 1}, {cdDEVICE_PROP_OWNER_NAME, 32, 3},
    {cdDEVICE_PROP_BATTERY_STATUS, 4, 1}, {cdDEVICE_PROP_TIME, 4, 3},
};

CDAPI cdError CDEnumDevicePropertyReset(cdHSource hSource, cdUInt32 Option, cdHEnum* phEnum)
{
    SIMCAM_ENTER();
    LOCK();
    cd_camera* c = NULL;
    cdError e = source_camera(hSource, &c);
    if (e)
        return unlock_with(e);
    return unlock_with(enum_new_locked(c->id, E_DEVPROP, k_device_props, sizeof k_device_props[0],
                                       (int)(sizeof k_device_props / sizeof k_device_props[0]), phEnum));
}

CDAPI cdError CDEnumDevicePropertyNext(cdHEnum hEnum, cdDevicePropertyStruct* pProperty)
{
    SIMCAM_ENTER();
    return enum_next(hEnum, E_DEVPROP, pProperty, sizeof *pProperty);
}

CDAPI cdError CDGetDevicePropertyCount(cdHEnum hEnum, cdUInt32* pCount)
{
    SIMCAM_ENTER();
    return enum_count(hEnum, E_DEVPROP, pCount);
}

CDAPI cdError CDEnumDevicePropertyRelease(cdHEnum hEnum)
{
    SIMCAM_ENTER();
    return enum_release(hEnum, E_DEVPROP);
}

static const cdDevicePropertyStruct* device_prop(uint32_t id)
{
    for (size_t i = 0; i < sizeof k_device_props / sizeof k_device_props[0]; ++i)
        if (k_device_props[i].DevPropID == id)
            return &k_device_props[i];
    return NULL;
}

CDAPI cdError CDGetDevicePropertyInfo(cdHSource hSource, cdUInt32 PropID, cdDevicePropertyStruct* pProperty)
{
    SIMCAM_ENTER();
    if (!pProperty)
        return cdINVALID_POINTER;
    LOCK();
    cd_camera* c = NULL;
    cdError e = source_camera(hSource, &c);
    if (e)
        return unlock_with(e);
    const cdDevicePropertyStruct* p = device_prop(PropID);
    if (!p)
        return unlock_with(cdPROPERTIES_UNAVAILABLE);
    *pProperty = *p;
    return unlock_with(cdOK);
}

CDAPI cdError CDGetDevicePropertyData(cdHSource hSource, cdUInt32 PropID, cdUInt32* pBufSize, cdVoid* pBuf,
                                      cdUInt32 Option)
{
    SIMCAM_ENTER();
    if (!pBufSize || !pBuf)
        return cdINVALID_POINTER;
    LOCK();
    cd_camera* c = NULL;
    cdError e = source_camera(hSource, &c);
    if (e)
        return unlock_with(e);
    const cdDevicePropertyStruct* p = device_prop(PropID);
    if (!p)
        return unlock_with(cdPROPERTIES_UNAVAILABLE);
    if (*pBufSize < p->DataSize) {
        *pBufSize = p->DataSize;
        return unlock_with(cdINVALID_LENGTH);
    }
    unsigned char value[32] = {0};
    switch (PropID) {
    case cdDEVICE_PROP_MODEL_NAME: snprintf((char*)value, 32, "%s", c->model->name); break;
    case cdDEVICE_PROP_FIRMWARE_VERSION: snprintf((char*)value, 32, "1.0.1.0"); break;
    case cdDEVICE_PROP_OWNER_NAME: memcpy(value, c->owner, 32); break;
    case cdDEVICE_PROP_BATTERY_STATUS: memcpy(value, &c->battery, 4); break;
    case cdDEVICE_PROP_TIME: memcpy(value, &c->camera_time, 4); break;
    default: break;
    }
    memcpy(pBuf, value, p->DataSize);
    *pBufSize = p->DataSize;
    return unlock_with(cdOK);
}

CDAPI cdError CDSetDevicePropertyData(cdHSource hSource, cdUInt32 PropID, cdUInt32 BufSize, const cdVoid* pBuf)
{
    SIMCAM_ENTER();
    if (!pBuf)
        return cdINVALID_POINTER;
    LOCK();
    cd_camera* c = NULL;
    cdError e = source_camera(hSource, &c);
    if (e)
        return unlock_with(e);
    const cdDevicePropertyStruct* p = device_prop(PropID);
    if (!p)
        return unlock_with(cdPROPERTIES_UNAVAILABLE);
    if (p->Access != 3)
        return unlock_with(cdNOT_SUPPORTED);
    if (PropID == cdDEVICE_PROP_OWNER_NAME) {
        /* The name and its terminating zero must fit the camera's 32 bytes. */
        if (BufSize == 0 || BufSize > 32 || memchr(pBuf, 0, BufSize) == NULL)
            return unlock_with(cdINVALID_LENGTH);
        memset(c->owner, 0, sizeof c->owner);
        memcpy(c->owner, pBuf, BufSize);
    } else {
        if (BufSize != 4)
            return unlock_with(cdINVALID_LENGTH);
        memcpy(&c->camera_time, pBuf, 4);
    }
    return unlock_with(cdOK);
}

/* ---- supported image sizes ---- */

CDAPI cdError CDEnumSupportedImageSizeReset(cdHSource hSource, cdUInt32 Option, cdHEnum* phEnum)
{
    SIMCAM_ENTER();
    LOCK();
    cd_camera* c = NULL;
    cdError e = source_camera(hSource, &c);
    if (e)
        return unlock_with(e);
    cdSupportedImageSize sizes[3];
    for (int i = 0; i < 3; ++i)
        sizes[i] = (cdSupportedImageSize){(cdUInt32)c->model->sizes[i][0], (cdUInt32)c->model->sizes[i][1]};
    return unlock_with(enum_new_locked(c->id, E_IMAGESIZE, sizes, sizeof sizes[0], 3, phEnum));
}

CDAPI cdError CDEnumSupportedImageSizeNext(cdHEnum hEnum, cdSupportedImageSize* pSize)
{
    SIMCAM_ENTER();
    return enum_next(hEnum, E_IMAGESIZE, pSize, sizeof *pSize);
}

CDAPI cdError CDGetSupportedImageSizeCount(cdHEnum hEnum, cdUInt32* pCount)
{
    SIMCAM_ENTER();
    return enum_count(hEnum, E_IMAGESIZE, pCount);
}

CDAPI cdError CDEnumSupportedImageSizeRelease(cdHEnum hEnum)
{
    SIMCAM_ENTER();
    return enum_release(hEnum, E_IMAGESIZE);
}

/* ---- user interface lock ---- */

static cdError with_source(cdHSource hSource)
{
    LOCK();
    cd_camera* c = NULL;
    return unlock_with(source_camera(hSource, &c));
}

CDAPI cdError CDLockUI(cdHSource hSource)
{
    SIMCAM_ENTER();
    return with_source(hSource);
}

CDAPI cdError CDUnlockUI(cdHSource hSource)
{
    SIMCAM_ENTER();
    return with_source(hSource);
}

CDAPI cdError CDSetUILockTimeOutTime(cdHSource hSource, cdUInt32 TimeOut)
{
    SIMCAM_ENTER();
    return with_source(hSource);
}

/* ---- volumes and items ---- */

/* The camera and node of a volume or item handle; volumes stand for the card's root. */
static cdError item_node(uint32_t handle, cd_camera** camera, cd_node** node, int volume_only)
{
    if (!g_started)
        return cdINVALID_FN_CALL;
    cd_handle* h = handle_find(handle, H_VOLUME);
    if (!h && !volume_only)
        h = handle_find(handle, H_ITEM);
    cd_camera* c = h ? camera_by_id(h->camera_id) : NULL;
    if (!c)
        return cdINVALID_HANDLE;
    if (!c->plugged)
        return cdCOMM_DISCONNECTED;
    *camera = c;
    *node = h->kind == H_VOLUME ? c->card : h->node;
    return cdOK;
}

CDAPI cdError CDEnumVolumeReset(cdHSource hSource, cdHEnum* phEnum)
{
    SIMCAM_ENTER();
    LOCK();
    cd_camera* c = NULL;
    cdError e = source_camera(hSource, &c);
    if (e)
        return unlock_with(e);
    /* One volume handle per open source; it outlives the enumeration that gave it. */
    cd_handle* v = c->volume ? handle_find(c->volume, H_VOLUME) : NULL;
    if (!v)
        v = handle_new(H_VOLUME, c->id);
    if (!v)
        return unlock_with(cdMEM_ALLOC_FAILED);
    c->volume = v->handle;
    const uint32_t volume = v->handle;
    return unlock_with(enum_new_locked(c->id, E_VOLUME, &volume, sizeof volume, 1, phEnum));
}

CDAPI cdError CDEnumVolumeNext(cdHEnum hEnum, cdHVolume* phVolume)
{
    SIMCAM_ENTER();
    return enum_next(hEnum, E_VOLUME, phVolume, sizeof *phVolume);
}

CDAPI cdError CDGetVolumeCount(cdHEnum hEnum, cdUInt32* pCount)
{
    SIMCAM_ENTER();
    return enum_count(hEnum, E_VOLUME, pCount);
}

CDAPI cdError CDEnumVolumeRelease(cdHEnum hEnum)
{
    SIMCAM_ENTER();
    return enum_release(hEnum, E_VOLUME);
}

static uint64_t node_bytes(const cd_node* n)
{
    uint64_t total = n->is_folder ? 0 : n->size;
    for (int i = 0; i < n->child_count; ++i)
        total += node_bytes(n->children[i]);
    return total;
}

CDAPI cdError CDGetVolumeInfo(cdHVolume hVolume, cdVolumeInfo* pInfo)
{
    SIMCAM_ENTER();
    if (!pInfo)
        return cdINVALID_POINTER;
    LOCK();
    cd_camera* c = NULL;
    cd_node* root = NULL;
    cdError e = item_node(hVolume, &c, &root, 1);
    if (e)
        return unlock_with(e);
    memset(pInfo, 0, sizeof *pInfo);
    pInfo->Type = 1;
    if (root) {
        const uint32_t total = 1024u * 1024u; /* a gigabyte card, in kilobytes */
        const uint64_t used = node_bytes(root) / 1024u;
        pInfo->TotalSpace = total;
        pInfo->FreeSpace = used < total ? total - (uint32_t)used : 0;
        snprintf(pInfo->Name, sizeof pInfo->Name, "CF");
    }
    return unlock_with(cdOK);
}

CDAPI cdError CDSetVolumeLabel(cdHVolume hVolume, const cdChar* pLabel)
{
    SIMCAM_ENTER();
    LOCK();
    cd_camera* c = NULL;
    cd_node* root = NULL;
    cdError e = item_node(hVolume, &c, &root, 1);
    if (e)
        return unlock_with(e);
    return unlock_with(!root ? cdDEVICE_NO_DISK : !pLabel ? cdINVALID_POINTER : cdOK);
}

CDAPI cdError CDFormat(cdHVolume hVolume)
{
    SIMCAM_ENTER();
    LOCK();
    cd_camera* c = NULL;
    cd_node* root = NULL;
    cdError e = item_node(hVolume, &c, &root, 1);
    if (e)
        return unlock_with(e);
    if (!root)
        return unlock_with(cdDEVICE_NO_DISK);
    while (root->child_count)
        node_remove(root->children[0]);
    return unlock_with(cdOK);
}

static cdError item_handles_locked(cd_camera* c, cd_node** nodes, int count, int kind, cdHEnum* phEnum)
{
    uint32_t* handles = calloc((size_t)count + 1, sizeof *handles);
    if (!handles)
        return cdMEM_ALLOC_FAILED;
    for (int i = 0; i < count; ++i) {
        cd_handle* h = handle_new(H_ITEM, c->id);
        if (!h) {
            free(handles);
            return cdMEM_ALLOC_FAILED;
        }
        h->node = nodes[i];
        node_retain(nodes[i]);
        handles[i] = h->handle;
    }
    cdError e = enum_new_locked(c->id, kind, handles, sizeof *handles, count, phEnum);
    free(handles);
    return e;
}

CDAPI cdError CDEnumItemReset(cdHItem hParent, cdUInt32 Option, cdHEnum* phEnum)
{
    SIMCAM_ENTER();
    LOCK();
    cd_camera* c = NULL;
    cd_node* folder = NULL;
    cdError e = item_node(hParent, &c, &folder, 0);
    if (e)
        return unlock_with(e);
    if (!folder)
        return unlock_with(cdDEVICE_NO_DISK);
    if (!folder->is_folder)
        return unlock_with(cdINVALID_PARAMETER);
    return unlock_with(item_handles_locked(c, folder->children, folder->child_count, E_ITEM, phEnum));
}

CDAPI cdError CDEnumItemNext(cdHEnum hEnum, cdHItem* phItem)
{
    SIMCAM_ENTER();
    return enum_next(hEnum, E_ITEM, phItem, sizeof *phItem);
}

CDAPI cdError CDGetItemCount(cdHEnum hEnum, cdUInt32* pCount)
{
    SIMCAM_ENTER();
    return enum_count(hEnum, E_ITEM, pCount);
}

CDAPI cdError CDEnumItemRelease(cdHEnum hEnum)
{
    SIMCAM_ENTER();
    return enum_release(hEnum, E_ITEM);
}

CDAPI cdError CDGetItemInfo(cdHItem hItem, cdItemInfo* pInfo)
{
    SIMCAM_ENTER();
    if (!pInfo)
        return cdINVALID_POINTER;
    LOCK();
    cd_camera* c = NULL;
    cd_node* n = NULL;
    cdError e = item_node(hItem, &c, &n, 0);
    if (e)
        return unlock_with(e);
    if (!n)
        return unlock_with(cdDEVICE_NO_DISK);
    memset(pInfo, 0, sizeof *pInfo);
    pInfo->Type = n->type;
    pInfo->Attribute = n->attribute;
    pInfo->Size = (cdUInt32)n->size;
    pInfo->DateTime = n->date_time;
    snprintf(pInfo->Name, sizeof pInfo->Name, "%s", n->name);
    return unlock_with(cdOK);
}

CDAPI cdError CDGetItemParent(cdHItem hItem, cdHItem* phParent)
{
    SIMCAM_ENTER();
    if (!phParent)
        return cdINVALID_POINTER;
    LOCK();
    cd_camera* c = NULL;
    cd_node* n = NULL;
    cdError e = item_node(hItem, &c, &n, 0);
    if (e)
        return unlock_with(e);
    if (!n || !n->parent)
        return unlock_with(cdINVALID_PARAMETER);
    cd_handle* h = handle_new(n->parent == c->card ? H_VOLUME : H_ITEM, c->id);
    if (!h)
        return unlock_with(cdMEM_ALLOC_FAILED);
    if (h->kind == H_ITEM) {
        h->node = n->parent;
        node_retain(n->parent);
    }
    *phParent = h->handle;
    return unlock_with(cdOK);
}

CDAPI cdError CDCreateFolder(cdHItem hParent, const cdChar* pName, cdHItem* phFolder)
{
    SIMCAM_ENTER();
    if (!pName || !*pName || !phFolder || strchr(pName, '/'))
        return cdINVALID_PARAMETER;
    LOCK();
    cd_camera* c = NULL;
    cd_node* parent = NULL;
    cdError e = item_node(hParent, &c, &parent, 0);
    if (e)
        return unlock_with(e);
    if (!parent || !parent->is_folder)
        return unlock_with(cdINVALID_PARAMETER);
    cd_node* n = node_new(pName, 1);
    cd_handle* h = n ? handle_new(H_ITEM, c->id) : NULL;
    if (!h || node_add(parent, n) != 0) {
        if (h)
            handle_free(h);
        free(n);
        return unlock_with(cdMEM_ALLOC_FAILED);
    }
    node_retain(n);
    h->node = n;
    *phFolder = h->handle;
    return unlock_with(cdOK);
}

CDAPI cdError CDDeleteFolder(cdHItem hFolder)
{
    SIMCAM_ENTER();
    LOCK();
    cd_camera* c = NULL;
    cd_node* n = NULL;
    cdError e = item_node(hFolder, &c, &n, 0);
    if (e)
        return unlock_with(e);
    if (!n || !n->is_folder || !n->parent)
        return unlock_with(cdINVALID_PARAMETER);
    if (n->child_count)
        return unlock_with(cdDIRECTORY_NOT_EMPTY);
    node_remove(n);
    return unlock_with(cdOK);
}

CDAPI cdError CDRenameItem(cdHItem hItem, const cdChar* pName)
{
    SIMCAM_ENTER();
    if (!pName || !*pName || strchr(pName, '/'))
        return cdINVALID_PARAMETER;
    LOCK();
    cd_camera* c = NULL;
    cd_node* n = NULL;
    cdError e = item_node(hItem, &c, &n, 0);
    if (e)
        return unlock_with(e);
    if (!n || !n->parent)
        return unlock_with(cdINVALID_PARAMETER);
    snprintf(n->name, sizeof n->name, "%s", pName);
    return unlock_with(cdOK);
}

CDAPI cdError CDGetItemAttribute(cdHItem hItem, cdUInt32* pAttribute)
{
    SIMCAM_ENTER();
    if (!pAttribute)
        return cdINVALID_POINTER;
    LOCK();
    cd_camera* c = NULL;
    cd_node* n = NULL;
    cdError e = item_node(hItem, &c, &n, 0);
    if (!e && n)
        *pAttribute = n->attribute;
    return unlock_with(e ? e : n ? cdOK : cdDEVICE_NO_DISK);
}

CDAPI cdError CDSetItemAttribute(cdHItem hItem, cdUInt32 Attribute)
{
    SIMCAM_ENTER();
    LOCK();
    cd_camera* c = NULL;
    cd_node* n = NULL;
    cdError e = item_node(hItem, &c, &n, 0);
    if (!e && n)
        n->attribute = Attribute;
    return unlock_with(e ? e : n ? cdOK : cdDEVICE_NO_DISK);
}

/* Files below a folder, depth first, down to `depth` levels of folders. */
static void collect_files(cd_node* folder, int depth, cd_node** out, int* count, int max)
{
    for (int i = 0; i < folder->child_count; ++i) {
        cd_node* n = folder->children[i];
        if (n->is_folder) {
            if (depth > 1)
                collect_files(n, depth - 1, out, count, max);
        } else if (*count < max) {
            out[(*count)++] = n;
        }
    }
}

CDAPI cdError CDEnumImageItemReset(cdHItem hParent, cdUInt32 Depth, cdUInt32 Option, cdHEnum* phEnum)
{
    SIMCAM_ENTER();
    LOCK();
    cd_camera* c = NULL;
    cd_node* folder = NULL;
    cdError e = item_node(hParent, &c, &folder, 0);
    if (e)
        return unlock_with(e);
    if (!folder)
        return unlock_with(cdDEVICE_NO_DISK);
    cd_node* files[512];
    int count = 0;
    collect_files(folder, Depth ? (int)Depth : 1, files, &count, 512);
    return unlock_with(item_handles_locked(c, files, count, E_IMAGEITEM, phEnum));
}

CDAPI cdError CDEnumImageItemNext(cdHEnum hEnum, cdHItem* phItem)
{
    SIMCAM_ENTER();
    return enum_next(hEnum, E_IMAGEITEM, phItem, sizeof *phItem);
}

CDAPI cdError CDGetImageItemCount(cdHEnum hEnum, cdUInt32* pCount)
{
    SIMCAM_ENTER();
    return enum_count(hEnum, E_IMAGEITEM, pCount);
}

/* The item handles of the enumeration go with it. */
CDAPI cdError CDEnumImageItemRelease(cdHEnum hEnum)
{
    SIMCAM_ENTER();
    return enum_release(hEnum, E_IMAGEITEM);
}

static cdError file_node(cdHItem hItem, cd_camera** c, cd_node** n)
{
    cdError e = item_node(hItem, c, n, 0);
    if (e)
        return e;
    if (!*n || (*n)->is_folder)
        return cdINVALID_PARAMETER;
    return cdOK;
}

CDAPI cdError CDOpenImage(cdHItem hItem)
{
    SIMCAM_ENTER();
    LOCK();
    cd_camera* c = NULL;
    cd_node* n = NULL;
    cdError e = file_node(hItem, &c, &n);
    if (!e)
        n->opened = 1;
    return unlock_with(e);
}

CDAPI cdError CDCloseImage(cdHItem hItem)
{
    SIMCAM_ENTER();
    LOCK();
    cd_camera* c = NULL;
    cd_node* n = NULL;
    cdError e = file_node(hItem, &c, &n);
    if (e)
        return unlock_with(e);
    n->opened = 0;
    for (int i = g_handle_count - 1; i >= 0; --i)
        if (g_handles[i].kind == H_PART && g_handles[i].node == n)
            handle_free(&g_handles[i]);
    return unlock_with(cdOK);
}

static cdError get_part(cdHItem hItem, uint32_t part, cdHImage* out)
{
    if (!out)
        return cdINVALID_POINTER;
    LOCK();
    cd_camera* c = NULL;
    cd_node* n = NULL;
    cdError e = file_node(hItem, &c, &n);
    if (e)
        return unlock_with(e);
    if (!n->opened)
        return unlock_with(cdINVALID_FN_CALL);
    if ((part == 3) != (n->type == 3) || part == 4)
        return unlock_with(cdNOT_SUPPORTED);
    if (part == 1 && node_thumbnail(c, n) != 0)
        return unlock_with(cdMEM_ALLOC_FAILED);
    cd_handle* h = handle_new(H_PART, c->id);
    if (!h)
        return unlock_with(cdMEM_ALLOC_FAILED);
    h->node = n;
    node_retain(n);
    h->part = part;
    *out = h->handle;
    return unlock_with(cdOK);
}

CDAPI cdError CDGetThumbnail(cdHItem hItem, cdHImage* phPart)
{
    SIMCAM_ENTER();
    return get_part(hItem, 1, phPart);
}

CDAPI cdError CDGetPicture(cdHItem hItem, cdHImage* phPart)
{
    SIMCAM_ENTER();
    return get_part(hItem, 2, phPart);
}

CDAPI cdError CDGetMovie(cdHItem hItem, cdHImage* phPart)
{
    SIMCAM_ENTER();
    return get_part(hItem, 3, phPart);
}

CDAPI cdError CDGetSound(cdHItem hItem, cdHImage* phPart)
{
    SIMCAM_ENTER();
    return get_part(hItem, 4, phPart);
}

static cdError part_info(cdHImage hPart, uint32_t part, cdImagePartInfo* pInfo)
{
    if (!pInfo)
        return cdINVALID_POINTER;
    LOCK();
    cd_handle* h = g_started ? handle_find(hPart, H_PART) : NULL;
    if (!h || h->part != part)
        return unlock_with(cdINVALID_HANDLE);
    const cd_node* n = h->node;
    memset(pInfo, 0, sizeof *pInfo);
    pInfo->Format = part == 3 ? 3 : 1;
    pInfo->Width = part == 1 ? 160 : (cdUInt32)n->width;
    pInfo->Height = part == 1 ? 120 : (cdUInt32)n->height;
    pInfo->DataSize = (cdUInt32)(part == 1 ? n->thumbnail_size : n->size);
    return unlock_with(cdOK);
}

CDAPI cdError CDGetThumbnailInfo(cdHImage hPart, cdImagePartInfo* pInfo)
{
    SIMCAM_ENTER();
    return part_info(hPart, 1, pInfo);
}

CDAPI cdError CDGetPictureInfo(cdHImage hPart, cdImagePartInfo* pInfo)
{
    SIMCAM_ENTER();
    return part_info(hPart, 2, pInfo);
}

CDAPI cdError CDGetMovieInfo(cdHImage hPart, cdImagePartInfo* pInfo)
{
    SIMCAM_ENTER();
    return part_info(hPart, 3, pInfo);
}

CDAPI cdError CDGetSoundInfo(cdHImage hPart, cdImagePartInfo* pInfo)
{
    SIMCAM_ENTER();
    return part_info(hPart, 4, pInfo);
}

CDAPI cdError CDGetImageDataSize(cdHImage hPart, cdUInt32* pSize)
{
    SIMCAM_ENTER();
    if (!pSize)
        return cdINVALID_POINTER;
    LOCK();
    cd_handle* h = g_started ? handle_find(hPart, H_PART) : NULL;
    if (!h)
        return unlock_with(cdINVALID_HANDLE);
    *pSize = (cdUInt32)(h->part == 1 ? h->node->thumbnail_size : h->node->size);
    return unlock_with(cdOK);
}

CDAPI cdError CDGetImageData(cdHImage hPart, cdStgMedium* pStgMedium, cdProgressCallbackFunction pProgress,
                             cdContext Context, cdUInt32 ProgressOption)
{
    SIMCAM_ENTER();
    if (!pStgMedium)
        return cdINVALID_POINTER;
    LOCK();
    cd_handle* h = g_started ? handle_find(hPart, H_PART) : NULL;
    if (!h)
        return unlock_with(cdINVALID_HANDLE);
    cd_camera* c = camera_by_id(h->camera_id);
    if (!c || !c->plugged)
        return unlock_with(cdCOMM_DISCONNECTED);
    cd_node* n = h->node;
    node_retain(n); /* the bytes stay while the lock is dropped */
    const int camera_id = c->id;
    const unsigned char* data = h->part == 1 ? n->thumbnail : n->data;
    const size_t size = h->part == 1 ? n->thumbnail_size : n->size;
    UNLOCK();
    cdError e = write_data_unlocked(data, size, pStgMedium, pProgress, Context, ProgressOption, camera_id);
    LOCK();
    node_release(n);
    return unlock_with(e);
}

CDAPI cdError CDDeleteImage(cdHVolume hVolume, cdHItem hItem)
{
    SIMCAM_ENTER();
    LOCK();
    cd_camera* c = NULL;
    cd_node* root = NULL;
    cdError e = item_node(hVolume, &c, &root, 1);
    if (e)
        return unlock_with(e);
    cd_camera* owner = NULL;
    cd_node* n = NULL;
    e = file_node(hItem, &owner, &n);
    if (e)
        return unlock_with(e);
    if (owner != c || !n->parent)
        return unlock_with(cdINVALID_PARAMETER);
    if (n->attribute & 1)
        return unlock_with(0x00000029u); /* file permission error: protected */
    node_remove(n);
    return unlock_with(cdOK);
}

/* ---- image properties and marks ---- */

static void image_property_values(const cd_node* n, uint32_t out[3])
{
    out[0] = (uint32_t)n->width;
    out[1] = (uint32_t)n->height;
    out[2] = n->date_time;
}

CDAPI cdError CDEnumImagePropertyReset(cdHItem hItem, cdUInt32 Option, cdHEnum* phEnum)
{
    SIMCAM_ENTER();
    LOCK();
    cd_camera* c = NULL;
    cd_node* n = NULL;
    cdError e = file_node(hItem, &c, &n);
    if (e)
        return unlock_with(e);
    const cdImagePropertyStruct props[3] = {{1, 4}, {2, 4}, {3, 4}};
    return unlock_with(enum_new_locked(c->id, E_IMAGEPROP, props, sizeof props[0], 3, phEnum));
}

CDAPI cdError CDEnumImagePropertyNext(cdHEnum hEnum, cdImagePropertyStruct* pProperty)
{
    SIMCAM_ENTER();
    return enum_next(hEnum, E_IMAGEPROP, pProperty, sizeof *pProperty);
}

CDAPI cdError CDGetImagePropertyCount(cdHEnum hEnum, cdUInt32* pCount)
{
    SIMCAM_ENTER();
    return enum_count(hEnum, E_IMAGEPROP, pCount);
}

CDAPI cdError CDEnumImagePropertyRelease(cdHEnum hEnum)
{
    SIMCAM_ENTER();
    return enum_release(hEnum, E_IMAGEPROP);
}

static cdError image_property(cdHItem hItem, cdUInt32 PropID, cdUInt32 Offset, cdUInt32* pBufSize, cdVoid* pBuf)
{
    if (!pBufSize || !pBuf)
        return cdINVALID_POINTER;
    LOCK();
    cd_camera* c = NULL;
    cd_node* n = NULL;
    cdError e = file_node(hItem, &c, &n);
    if (e)
        return unlock_with(e);
    if (PropID < 1 || PropID > 3)
        return unlock_with(cdPROPERTIES_UNAVAILABLE);
    uint32_t values[3];
    image_property_values(n, values);
    const unsigned char* bytes = (const unsigned char*)&values[PropID - 1];
    if (Offset > 4)
        return unlock_with(cdINVALID_PARAMETER);
    const cdUInt32 left = 4 - Offset;
    const cdUInt32 n_copy = *pBufSize < left ? *pBufSize : left;
    memcpy(pBuf, bytes + Offset, n_copy);
    *pBufSize = n_copy;
    return unlock_with(cdOK);
}

CDAPI cdError CDGetImagePropertyData(cdHItem hItem, cdUInt32 PropID, cdUInt32* pBufSize, cdVoid* pBuf)
{
    SIMCAM_ENTER();
    if (pBufSize && *pBufSize < 4)
        return cdINVALID_LENGTH;
    return image_property(hItem, PropID, 0, pBufSize, pBuf);
}

CDAPI cdError CDGetImagePropertyPart(cdHItem hItem, cdUInt32 PropID, cdUInt32 Offset, cdUInt32* pBufSize, cdVoid* pBuf)
{
    SIMCAM_ENTER();
    return image_property(hItem, PropID, Offset, pBufSize, pBuf);
}

static cdError mark(cdHItem hItem, int which, const cdUInt32* set, cdUInt32* get)
{
    LOCK();
    cd_camera* c = NULL;
    cd_node* n = NULL;
    cdError e = file_node(hItem, &c, &n);
    if (e)
        return unlock_with(e);
    if (set)
        n->marks[which] = *set;
    if (get)
        *get = n->marks[which];
    return unlock_with(cdOK);
}

CDAPI cdError CDGetPrintMark(cdHItem hItem, cdUInt32* pMark)
{
    SIMCAM_ENTER();
    return pMark ? mark(hItem, 0, NULL, pMark) : cdINVALID_POINTER;
}

CDAPI cdError CDSetPrintMark(cdHItem hItem, cdUInt32 Mark)
{
    SIMCAM_ENTER();
    return mark(hItem, 0, &Mark, NULL);
}

CDAPI cdError CDGetSlideShowMark(cdHItem hItem, cdUInt32* pMark)
{
    SIMCAM_ENTER();
    return pMark ? mark(hItem, 1, NULL, pMark) : cdINVALID_POINTER;
}

CDAPI cdError CDSetSlideShowMark(cdHItem hItem, cdUInt32 Mark)
{
    SIMCAM_ENTER();
    return mark(hItem, 1, &Mark, NULL);
}

CDAPI cdError CDGetTransferMark(cdHItem hItem, cdUInt32* pMark)
{
    SIMCAM_ENTER();
    return pMark ? mark(hItem, 2, NULL, pMark) : cdINVALID_POINTER;
}

CDAPI cdError CDSetTransferMark(cdHItem hItem, cdUInt32 Mark)
{
    SIMCAM_ENTER();
    return mark(hItem, 2, &Mark, NULL);
}

static void clear_marks(cd_node* n)
{
    memset(n->marks, 0, sizeof n->marks);
    for (int i = 0; i < n->child_count; ++i)
        clear_marks(n->children[i]);
}

CDAPI cdError CDClearMarks(cdHVolume hVolume)
{
    SIMCAM_ENTER();
    LOCK();
    cd_camera* c = NULL;
    cd_node* root = NULL;
    cdError e = item_node(hVolume, &c, &root, 1);
    if (!e && root)
        clear_marks(root);
    return unlock_with(e ? e : root ? cdOK : cdDEVICE_NO_DISK);
}

/* ---- release control ---- */

static cdError remote_camera(cdHSource hSource, cd_camera** c)
{
    cdError e = source_camera(hSource, c);
    if (!e && !(*c)->release_control)
        e = cdINVALID_FN_CALL;
    return e;
}

CDAPI cdError CDEnterReleaseControl(cdHSource hSource, cdReleaseEventCallbackFunction pFunc, cdContext Context)
{
    SIMCAM_ENTER();
    LOCK();
    cd_camera* c = NULL;
    cdError e = source_camera(hSource, &c);
    if (e)
        return unlock_with(e);
    if (!(c->model->faculty & cdRELEASE_CONTROL_CAP_SUPPORTED))
        return unlock_with(cdNOT_SUPPORTED);
    c->release_control = 1;
    c->release_cb = pFunc;
    c->release_context = Context;
    return unlock_with(cdOK);
}

CDAPI cdError CDExitReleaseControl(cdHSource hSource)
{
    SIMCAM_ENTER();
    LOCK();
    cd_camera* c = NULL;
    cdError e = remote_camera(hSource, &c);
    if (e)
        return unlock_with(e);
    c->release_control = 0;
    c->viewfinder = 0;
    c->release_cb = NULL;
    free_pending(c);
    return unlock_with(cdOK);
}

CDAPI cdError CDGetReleaseControlFaculty(cdHSource hSource, cdUInt32* pFaculty)
{
    SIMCAM_ENTER();
    if (!pFaculty)
        return cdINVALID_POINTER;
    LOCK();
    cd_camera* c = NULL;
    cdError e = source_camera(hSource, &c);
    if (!e)
        *pFaculty = c->model->faculty;
    return unlock_with(e);
}

CDAPI cdError CDSelectReleaseDataKind(cdHSource hSource, cdUInt32 Kind)
{
    SIMCAM_ENTER();
    LOCK();
    cd_camera* c = NULL;
    cdError e = remote_camera(hSource, &c);
    if (e)
        return unlock_with(e);
    const cdUInt32 pc = Kind & 3, cam = (Kind >> 2) & 3;
    if (Kind == 0 || (Kind & ~15u) || (pc && cam && pc != cam))
        return unlock_with(cdINVALID_PARAMETER);
    c->release_kind = Kind;
    return unlock_with(cdOK);
}

typedef struct {
    int camera_id;
    cdProgressCallbackFunction progress;
    cdContext context;
    uint32_t option;
    uint32_t count;
    cdError result;
} cd_release_job;

/* The release itself, on the library's thread: progress, the pictures, then the events. */
static void run_release(void* arg)
{
    cd_release_job* job = arg;
    if (job->progress && job->option)
        for (uint32_t p = 0; p <= 100; p += 25)
            if (job->option == cdPROG_REPORT_PERIODICALLY || p == 100)
                job->progress(p, 0, job->context);
    LOCK();
    cd_camera* c = g_started ? camera_by_id(job->camera_id) : NULL;
    if (!c || !c->plugged || !c->release_control) {
        job->result = cdCOMM_DISCONNECTED;
        UNLOCK();
        return;
    }
    const uint32_t kind = c->release_kind;
    int index = c->size_code == 1 ? 1 : c->size_code == 2 ? 2 : 0;
    const int quality = c->quality == 2 ? 80 : c->quality == 5 ? 97 : 92;
    const unsigned number = c->next_number++;
    simcam_scene scene;
    simcam_scene_default(&scene, c->model->sensor_width, c->model->sensor_height, 31u * (unsigned)c->id + number);
    post_event_locked(c, 1, cdRELEASE_EVENT_RELEASE_START, 0, 0);
    if (kind & (cdREL_KIND_THUMB_TO_CAM | cdREL_KIND_PICT_TO_CAM)) {
        char name[32];
        snprintf(name, sizeof name, "IMG_%04u.JPG", number % 10000);
        if (c->card && card_add(c, "DCIM/100SIMCM", name, c->model->sizes[index][0], c->model->sizes[index][1]) &&
            c->shots)
            --c->shots;
    }
    uint32_t count = 0;
    for (uint32_t type = 1; type <= 2; ++type) {
        if (!(kind & type))
            continue;
        unsigned char* data = NULL;
        size_t size = 0;
        const int w = type == 1 ? 160 : c->model->sizes[index][0], h = type == 1 ? 120 : c->model->sizes[index][1];
        if (simcam_make_jpeg(&scene, w, h, type == 1 ? 80 : quality, &data, &size, NULL) != 0)
            continue;
        cd_released* grown = realloc(c->pending, (size_t)(c->pending_count + 1) * sizeof *grown);
        if (!grown) {
            free(data);
            continue;
        }
        c->pending = grown;
        cd_released* r = &c->pending[c->pending_count++];
        r->data = data;
        r->size = size;
        r->type = type;
        r->sequence = ++c->sequence;
        snprintf(r->name, sizeof r->name, "IMG_%04u.JPG", number % 10000);
        ++count;
    }
    post_event_locked(c, 1, cdRELEASE_EVENT_RELEASE_COMPLETE, count, 0);
    job->count = count;
    job->result = cdOK;
    UNLOCK();
}

CDAPI cdError CDRelease(cdHSource hSource, cdBool bSync, cdProgressCallbackFunction pProgress, cdContext Context,
                        cdUInt32 ProgressOption, cdUInt32* pNumData)
{
    SIMCAM_ENTER();
    LOCK();
    cd_camera* c = NULL;
    cdError e = remote_camera(hSource, &c);
    if (e)
        return unlock_with(e);
    if (c->viewfinder && (c->model->faculty & cdRELEASE_CONTROL_CAP_ABORT_VIEWFINDER))
        return unlock_with(cdDEVICE_BUSY); /* this camera must leave live view to shoot */
    cd_release_job job = {c->id, pProgress, Context, ProgressOption, 0, cdOK};
    UNLOCK();
    simcam_run_on_thread(run_release, &job);
    if (pNumData)
        *pNumData = job.count;
    return job.result;
}

CDAPI cdError CDGetReleasedData(cdHSource hSource, cdProgressCallbackFunction pProgress, cdContext Context,
                                cdUInt32 ProgressOption, cdReleaseImageInfo* pInfo, cdStgMedium* pStgMedium)
{
    SIMCAM_ENTER();
    if (!pStgMedium)
        return cdINVALID_POINTER;
    LOCK();
    cd_camera* c = NULL;
    cdError e = remote_camera(hSource, &c);
    if (e)
        return unlock_with(e);
    if (!c->pending_count)
        return unlock_with(cdINVALID_FN_CALL);
    /* The data leave the camera's memory with this call, whatever comes of it. */
    cd_released r = c->pending[0];
    memmove(&c->pending[0], &c->pending[1], (size_t)(c->pending_count - 1) * sizeof r);
    --c->pending_count;
    const int camera_id = c->id;
    UNLOCK();
    if (pInfo) {
        memset(pInfo, 0, sizeof *pInfo);
        pInfo->SequenceID = r.sequence;
        pInfo->DataType = r.type;
        pInfo->Format = 1;
        pInfo->DataSize = (cdUInt32)r.size;
        snprintf(pInfo->FileName, sizeof pInfo->FileName, "%s", r.name);
    }
    e = write_data_unlocked(r.data, r.size, pStgMedium, pProgress, Context, ProgressOption, camera_id);
    free(r.data);
    return e;
}

/* ---- viewfinder ---- */

typedef struct {
    int camera_id;
    int generation;
} cd_frame_job;

static void run_frame(void* arg)
{
    cd_frame_job* job = arg;
    LOCK();
    cd_camera* c = g_started ? camera_by_id(job->camera_id) : NULL;
    if (!c || c->viewfinder != job->generation) {
        UNLOCK();
        free(job);
        return;
    }
    simcam_scene scene;
    simcam_scene_default(&scene, c->model->sensor_width, c->model->sensor_height, 11u + (unsigned)c->id);
    scene.frame = c->frame++;
    cdViewfinderCallbackFunction cb = c->viewfinder_cb;
    cdContext context = c->viewfinder_context;
    const cdUInt32 format = c->viewfinder_format;
    UNLOCK();
    unsigned char* jpeg = NULL;
    size_t size = 0;
    if (simcam_make_jpeg(&scene, 320, 240, 70, &jpeg, &size, NULL) == 0) {
        cb(jpeg, (cdUInt32)size, format, context);
        free(jpeg);
    }
    simcam_post(run_frame, free, job, g_viewfinder_ms);
}

CDAPI cdError CDStartViewfinder(cdHSource hSource, cdUInt32 Format, cdViewfinderCallbackFunction pFunc, cdContext Context)
{
    SIMCAM_ENTER();
    if (!pFunc)
        return cdINVALID_POINTER;
    LOCK();
    cd_camera* c = NULL;
    cdError e = remote_camera(hSource, &c);
    if (e)
        return unlock_with(e);
    if (!(c->model->faculty & cdRELEASE_CONTROL_CAP_VIEWFINDER))
        return unlock_with(cdNOT_SUPPORTED);
    cd_frame_job* job = calloc(1, sizeof *job);
    if (!job)
        return unlock_with(cdMEM_ALLOC_FAILED);
    c->viewfinder = ++c->viewfinder_generation;
    c->viewfinder_cb = pFunc;
    c->viewfinder_context = Context;
    c->viewfinder_format = Format;
    *job = (cd_frame_job){c->id, c->viewfinder};
    post_event_locked(c, 1, cdRELEASE_EVENT_ENABLE_PC_EVF, 0, 0);
    simcam_post(run_frame, free, job, 0);
    return unlock_with(cdOK);
}

CDAPI cdError CDTermViewfinder(cdHSource hSource)
{
    SIMCAM_ENTER();
    LOCK();
    cd_camera* c = NULL;
    cdError e = remote_camera(hSource, &c);
    if (e)
        return unlock_with(e);
    if (!c->viewfinder)
        return unlock_with(cdINVALID_FN_CALL);
    c->viewfinder = 0;
    post_event_locked(c, 1, cdRELEASE_EVENT_ABORT_PC_EVF, 0, 0);
    return unlock_with(cdOK);
}

CDAPI cdError CDSelectViewFinderCameraOutput(cdHSource hSource, cdUInt32 Output)
{
    SIMCAM_ENTER();
    LOCK();
    cd_camera* c = NULL;
    cdError e = remote_camera(hSource, &c);
    return unlock_with(e ? e : (Output < 1 || Output > 3) ? cdINVALID_PARAMETER : cdOK);
}

CDAPI cdError CDActViewfinderAutoFunctions(cdHSource hSource, cdUInt32 Functions)
{
    SIMCAM_ENTER();
    LOCK();
    cd_camera* c = NULL;
    cdError e = remote_camera(hSource, &c);
    return unlock_with(e ? e : (Functions == 0 || (Functions & ~7u)) ? cdINVALID_PARAMETER : cdOK);
}

/* ---- zoom and focus ---- */

CDAPI cdError CDGetMaximumZoomPos(cdHSource hSource, cdUInt32* pMaxZoom, cdUInt32* pMaxOpticalZoom)
{
    SIMCAM_ENTER();
    if (!pMaxZoom || !pMaxOpticalZoom)
        return cdINVALID_POINTER;
    LOCK();
    cd_camera* c = NULL;
    cdError e = remote_camera(hSource, &c);
    if (!e) {
        *pMaxZoom = c->model->zoom_max;
        *pMaxOpticalZoom = c->model->zoom_optical;
    }
    return unlock_with(e);
}

CDAPI cdError CDGetZoomPos(cdHSource hSource, cdUInt32* pZoom)
{
    SIMCAM_ENTER();
    if (!pZoom)
        return cdINVALID_POINTER;
    LOCK();
    cd_camera* c = NULL;
    cdError e = remote_camera(hSource, &c);
    if (!e)
        *pZoom = c->zoom;
    return unlock_with(e);
}

CDAPI cdError CDGetDZoomMagnification(cdHSource hSource, cdUInt32* pMagnificationTimes100)
{
    SIMCAM_ENTER();
    if (!pMagnificationTimes100)
        return cdINVALID_POINTER;
    LOCK();
    cd_camera* c = NULL;
    cdError e = remote_camera(hSource, &c);
    if (!e)
        *pMagnificationTimes100 = c->zoom > c->model->zoom_optical ? 100 + 50 * (c->zoom - c->model->zoom_optical) : 100;
    return unlock_with(e);
}

CDAPI cdError CDSetZoomPos(cdHSource hSource, cdUInt32 Zoom)
{
    SIMCAM_ENTER();
    LOCK();
    cd_camera* c = NULL;
    cdError e = remote_camera(hSource, &c);
    if (e)
        return unlock_with(e);
    if (!(c->model->faculty & cdRELEASE_CONTROL_CAP_ZOOM))
        return unlock_with(cdNOT_SUPPORTED);
    if (Zoom > c->model->zoom_max)
        return unlock_with(cdINVALID_PARAMETER);
    c->zoom = Zoom;
    return unlock_with(cdOK);
}

CDAPI cdError CDAFLock(cdHSource hSource, cdBool bLock)
{
    SIMCAM_ENTER();
    LOCK();
    cd_camera* c = NULL;
    cdError e = remote_camera(hSource, &c);
    return unlock_with(e ? e : (c->model->faculty & cdRELEASE_CONTROL_CAP_AF_LOCK) ? cdOK : cdNOT_SUPPORTED);
}

/* ---- release settings ---- */

CDAPI cdError CDEnumImageFormatAttributeReset(cdHSource hSource, cdHEnum* phEnum)
{
    SIMCAM_ENTER();
    LOCK();
    cd_camera* c = NULL;
    cdError e = remote_camera(hSource, &c);
    if (e)
        return unlock_with(e);
    return unlock_with(enum_new_locked(c->id, E_FORMAT, k_quality, sizeof k_quality[0],
                                       (int)(sizeof k_quality / sizeof k_quality[0]), phEnum));
}

CDAPI cdError CDEnumImageFormatAttributeNext(cdHEnum hEnum, cdUInt32* pQuality, cdUInt32* pSize)
{
    SIMCAM_ENTER();
    if (!pQuality || !pSize)
        return cdINVALID_POINTER;
    uint32_t pair[2];
    cdError e = enum_next(hEnum, E_FORMAT, pair, sizeof pair);
    if (!e) {
        *pQuality = pair[0];
        *pSize = pair[1];
    }
    return e;
}

CDAPI cdError CDEnumImageFormatAttributeRelease(cdHEnum hEnum)
{
    SIMCAM_ENTER();
    return enum_release(hEnum, E_FORMAT);
}

CDAPI cdError CDGetImageFormatAttributeCount(cdHEnum hEnum, cdUInt32* pCount)
{
    SIMCAM_ENTER();
    return enum_count(hEnum, E_FORMAT, pCount);
}

CDAPI cdError CDGetImageFormatAttribute(cdHSource hSource, cdUInt32* pQuality, cdUInt32* pSize)
{
    SIMCAM_ENTER();
    if (!pQuality || !pSize)
        return cdINVALID_POINTER;
    LOCK();
    cd_camera* c = NULL;
    cdError e = remote_camera(hSource, &c);
    if (!e) {
        *pQuality = c->quality;
        *pSize = c->size_code;
    }
    return unlock_with(e);
}

CDAPI cdError CDSetImageFormatAttribute(cdHSource hSource, cdUInt32 Quality, cdUInt32 Size)
{
    SIMCAM_ENTER();
    LOCK();
    cd_camera* c = NULL;
    cdError e = remote_camera(hSource, &c);
    if (e)
        return unlock_with(e);
    for (size_t i = 0; i < sizeof k_quality / sizeof k_quality[0]; ++i) {
        if (k_quality[i][0] == Quality && k_quality[i][1] == Size) {
            c->quality = Quality;
            c->size_code = Size;
            return unlock_with(cdOK);
        }
    }
    return unlock_with(cdDEVICE_INVALID_PARAMETER);
}

static cdError family_reset(cdHSource hSource, cd_family f, cdHEnum* phEnum)
{
    LOCK();
    cd_camera* c = NULL;
    cdError e = remote_camera(hSource, &c);
    if (e)
        return unlock_with(e);
    if (!c->model->enumerable[f])
        return unlock_with(cdNOT_SUPPORTED);
    int count = 0;
    const uint32_t* values = family_values(f, &count);
    return unlock_with(enum_new_locked(c->id, E_FAMILY + (int)f, values, sizeof *values, count, phEnum));
}

static cdError family_get(cdHSource hSource, cd_family f, cdUInt32* pValue)
{
    if (!pValue)
        return cdINVALID_POINTER;
    LOCK();
    cd_camera* c = NULL;
    cdError e = remote_camera(hSource, &c);
    if (!e)
        *pValue = c->settings[f];
    return unlock_with(e);
}

static cdError family_set(cdHSource hSource, cd_family f, cdUInt32 value)
{
    LOCK();
    cd_camera* c = NULL;
    cdError e = remote_camera(hSource, &c);
    if (e)
        return unlock_with(e);
    uint32_t refused = simcam_refusal_locked((uint32_t)f, value);
    if (refused)
        return unlock_with(refused);
    int count = 0;
    const uint32_t* values = family_values(f, &count);
    int allowed = 0;
    for (int i = 0; i < count; ++i)
        allowed |= values[i] == value;
    if (!allowed)
        return unlock_with(cdDEVICE_INVALID_PARAMETER);
    /* Aperture and shutter speed are the photographer's only in the modes that give them. */
    const uint32_t mode = c->settings[F_SHOOTING];
    if ((f == F_AV && mode != 4 && mode != 3) || (f == F_TV && mode != 4 && mode != 2))
        return unlock_with(cdDEVICE_INVALID_PARAMETER);
    c->settings[f] = value;
    return unlock_with(cdOK);
}

#define CD_FAMILY_FUNCTIONS(Name, f)                                                               \
    CDAPI cdError CDEnum##Name##Reset(cdHSource hSource, cdHEnum* phEnum)                          \
    {                                                                                               \
        SIMCAM_ENTER();                                                                             \
        return family_reset(hSource, f, phEnum);                                                    \
    }                                                                                               \
    CDAPI cdError CDEnum##Name##Next(cdHEnum hEnum, cdUInt32* pValue)                              \
    {                                                                                               \
        SIMCAM_ENTER();                                                                             \
        return enum_next(hEnum, E_FAMILY + (int)(f), pValue, sizeof *pValue);                       \
    }                                                                                               \
    CDAPI cdError CDEnum##Name##Release(cdHEnum hEnum)                                             \
    {                                                                                               \
        SIMCAM_ENTER();                                                                             \
        return enum_release(hEnum, E_FAMILY + (int)(f));                                            \
    }                                                                                               \
    CDAPI cdError CDGet##Name##Count(cdHEnum hEnum, cdUInt32* pCount)                              \
    {                                                                                               \
        SIMCAM_ENTER();                                                                             \
        return enum_count(hEnum, E_FAMILY + (int)(f), pCount);                                      \
    }                                                                                               \
    CDAPI cdError CDGet##Name(cdHSource hSource, cdUInt32* pValue)                                 \
    {                                                                                               \
        SIMCAM_ENTER();                                                                             \
        return family_get(hSource, f, pValue);                                                      \
    }                                                                                               \
    CDAPI cdError CDSet##Name(cdHSource hSource, cdUInt32 Value)                                   \
    {                                                                                               \
        SIMCAM_ENTER();                                                                             \
        return family_set(hSource, f, Value);                                                       \
    }

CD_FAMILY_FUNCTIONS(DriveMode, F_DRIVE)
CD_FAMILY_FUNCTIONS(ShootingMode, F_SHOOTING)
CD_FAMILY_FUNCTIONS(AvValue, F_AV)
CD_FAMILY_FUNCTIONS(TvValue, F_TV)
CD_FAMILY_FUNCTIONS(ExposureComp, F_EXPCOMP)
CD_FAMILY_FUNCTIONS(WBSetting, F_WB)
CD_FAMILY_FUNCTIONS(AFDistanceSetting, F_AFDIST)

CDAPI cdError CDEnumFlashSettingReset(cdHSource hSource, cdHEnum* phEnum)
{
    SIMCAM_ENTER();
    LOCK();
    cd_camera* c = NULL;
    cdError e = remote_camera(hSource, &c);
    if (e)
        return unlock_with(e);
    return unlock_with(enum_new_locked(c->id, E_FLASH, k_flash, sizeof k_flash[0],
                                       (int)(sizeof k_flash / sizeof k_flash[0]), phEnum));
}

CDAPI cdError CDEnumFlashSettingNext(cdHEnum hEnum, cdUInt32* pMode)
{
    SIMCAM_ENTER();
    return enum_next(hEnum, E_FLASH, pMode, sizeof *pMode);
}

CDAPI cdError CDEnumFlashSettingRelease(cdHEnum hEnum)
{
    SIMCAM_ENTER();
    return enum_release(hEnum, E_FLASH);
}

CDAPI cdError CDGetFlashSettingCount(cdHEnum hEnum, cdUInt32* pCount)
{
    SIMCAM_ENTER();
    return enum_count(hEnum, E_FLASH, pCount);
}

CDAPI cdError CDGetFlashSetting(cdHSource hSource, cdUInt32* pMode, cdUInt32* pCompensation)
{
    SIMCAM_ENTER();
    if (!pMode || !pCompensation)
        return cdINVALID_POINTER;
    LOCK();
    cd_camera* c = NULL;
    cdError e = remote_camera(hSource, &c);
    if (!e) {
        *pMode = c->flash_mode;
        *pCompensation = c->flash_comp ? c->flash_comp : 24;
    }
    return unlock_with(e);
}

CDAPI cdError CDSetFlashSetting(cdHSource hSource, cdUInt32 Mode, cdUInt32 Compensation)
{
    SIMCAM_ENTER();
    LOCK();
    cd_camera* c = NULL;
    cdError e = remote_camera(hSource, &c);
    if (e)
        return unlock_with(e);
    int mode_ok = Mode == cdFLASH_UNCHANGED, comp_ok = Compensation == cdFLASH_UNCHANGED;
    for (size_t i = 0; i < sizeof k_flash / sizeof k_flash[0]; ++i)
        mode_ok |= k_flash[i] == Mode;
    for (size_t i = 0; i < sizeof k_exp / sizeof k_exp[0]; ++i)
        comp_ok |= k_exp[i] == Compensation;
    if (!mode_ok || !comp_ok)
        return unlock_with(cdDEVICE_INVALID_PARAMETER);
    if (Mode != cdFLASH_UNCHANGED)
        c->flash_mode = Mode;
    if (Compensation != cdFLASH_UNCHANGED)
        c->flash_comp = Compensation;
    return unlock_with(cdOK);
}

CDAPI cdError CDGetNumAvailableShot(cdHSource hSource, cdUInt32* pNum)
{
    SIMCAM_ENTER();
    if (!pNum)
        return cdINVALID_POINTER;
    LOCK();
    cd_camera* c = NULL;
    cdError e = remote_camera(hSource, &c);
    if (!e)
        *pNum = c->card ? c->shots : 0;
    return unlock_with(e);
}

/* ---- release camera settings ---- */

static cd_relcam* relcam_find(cd_camera* c, uint32_t id)
{
    for (int i = 0; i < c->relcam_count; ++i)
        if (c->relcam[i].id == id)
            return &c->relcam[i];
    return NULL;
}

CDAPI cdError CDEnumRelCamSettingReset(cdHSource hSource, cdHEnum* phEnum)
{
    SIMCAM_ENTER();
    LOCK();
    cd_camera* c = NULL;
    cdError e = remote_camera(hSource, &c);
    if (e)
        return unlock_with(e);
    cdRelCamSettingStruct settings[8];
    for (int i = 0; i < c->relcam_count; ++i)
        settings[i] = (cdRelCamSettingStruct){c->relcam[i].id, c->relcam[i].size, 3};
    return unlock_with(enum_new_locked(c->id, E_RELCAM, settings, sizeof settings[0], c->relcam_count, phEnum));
}

CDAPI cdError CDEnumRelCamSettingNext(cdHEnum hEnum, cdRelCamSettingStruct* pSetting)
{
    SIMCAM_ENTER();
    return enum_next(hEnum, E_RELCAM, pSetting, sizeof *pSetting);
}

CDAPI cdError CDEnumRelCamSettingRelease(cdHEnum hEnum)
{
    SIMCAM_ENTER();
    return enum_release(hEnum, E_RELCAM);
}

CDAPI cdError CDGetRelCamSettingCount(cdHEnum hEnum, cdUInt32* pCount)
{
    SIMCAM_ENTER();
    return enum_count(hEnum, E_RELCAM, pCount);
}

CDAPI cdError CDGetRelCamSettingData(cdHSource hSource, cdUInt32 SettingID, cdUInt32* pBufSize, cdVoid* pBuf)
{
    SIMCAM_ENTER();
    if (!pBufSize || !pBuf)
        return cdINVALID_POINTER;
    LOCK();
    cd_camera* c = NULL;
    cdError e = remote_camera(hSource, &c);
    if (e)
        return unlock_with(e);
    cd_relcam* r = relcam_find(c, SettingID);
    if (!r)
        return unlock_with(cdPROPERTIES_UNAVAILABLE);
    if (*pBufSize < r->size) {
        *pBufSize = r->size;
        return unlock_with(cdINVALID_LENGTH);
    }
    memcpy(pBuf, &r->value, r->size);
    *pBufSize = r->size;
    return unlock_with(cdOK);
}

CDAPI cdError CDSetRelCamSettingData(cdHSource hSource, cdUInt32 SettingID, cdUInt32 BufSize, const cdVoid* pBuf)
{
    SIMCAM_ENTER();
    if (!pBuf)
        return cdINVALID_POINTER;
    LOCK();
    cd_camera* c = NULL;
    cdError e = remote_camera(hSource, &c);
    if (e)
        return unlock_with(e);
    cd_relcam* r = relcam_find(c, SettingID);
    if (!r)
        return unlock_with(cdPROPERTIES_UNAVAILABLE);
    if (BufSize != r->size)
        return unlock_with(cdINVALID_LENGTH);
    uint32_t v = 0;
    memcpy(&v, pBuf, BufSize);
    uint32_t refused = simcam_refusal_locked(SettingID, v);
    if (refused)
        return unlock_with(refused);
    int allowed = r->allowed_count == 0 ? (v >= 2500 && v <= 10000) : 0;
    for (int i = 0; i < r->allowed_count; ++i)
        allowed |= r->allowed[i] == v;
    if (!allowed)
        return unlock_with(cdDEVICE_INVALID_PARAMETER);
    r->value = v;
    return unlock_with(cdOK);
}

CDAPI cdError CDEnumRelCamSettingDataReset(cdHSource hSource, cdUInt32 SettingID, cdHEnum* phEnum, cdUInt32* pDataSize)
{
    SIMCAM_ENTER();
    if (!pDataSize)
        return cdINVALID_POINTER;
    LOCK();
    cd_camera* c = NULL;
    cdError e = remote_camera(hSource, &c);
    if (e)
        return unlock_with(e);
    cd_relcam* r = relcam_find(c, SettingID);
    if (!r)
        return unlock_with(cdPROPERTIES_UNAVAILABLE);
    if (!r->enumerable)
        return unlock_with(cdNOT_SUPPORTED);
    unsigned char values[MAX_VALUES * 4];
    for (int i = 0; i < r->allowed_count; ++i)
        memcpy(values + (size_t)i * r->size, &r->allowed[i], r->size);
    *pDataSize = r->size;
    return unlock_with(enum_new_locked(c->id, E_RELCAMDATA, values, r->size, r->allowed_count, phEnum));
}

CDAPI cdError CDEnumRelCamSettingDataNext(cdHEnum hEnum, cdUInt32 BufSize, cdVoid* pBuf)
{
    SIMCAM_ENTER();
    if (!pBuf)
        return cdINVALID_POINTER;
    LOCK();
    cd_handle* h = handle_find(hEnum, H_ENUM);
    const size_t need = h ? h->element_size : 0;
    UNLOCK();
    if (!h)
        return cdINVALID_HANDLE;
    if (BufSize < need)
        return cdINVALID_LENGTH;
    return enum_next(hEnum, E_RELCAMDATA, pBuf, BufSize);
}

CDAPI cdError CDEnumRelCamSettingDataRelease(cdHEnum hEnum)
{
    SIMCAM_ENTER();
    return enum_release(hEnum, E_RELCAMDATA);
}

CDAPI cdError CDGetRelCamSettingDataCount(cdHEnum hEnum, cdUInt32* pCount)
{
    SIMCAM_ENTER();
    return enum_count(hEnum, E_RELCAMDATA, pCount);
}

/* ---- control interface ---- */

void simcam_cameras_changed_locked(const char* models)
{
    if (!g_started)
        return;
    for (int i = 0; i < g_camera_count; ++i)
        unplug_locked(g_cameras[i]);
    add_cameras_locked(models);
}

int simcam_unplug_locked(int camera)
{
    cd_camera* c = plugged_camera(camera);
    if (c)
        unplug_locked(c);
    return c ? 0 : -1;
}

/* Properties: a family (0 drive, 1 shooting mode, 2 Av, 3 Tv, 4 exposure compensation, 5 white
 * balance, 6 focus distance), a release camera setting's ID, or the battery (0x0000000F). Values
 * are refused by family or by setting ID. */
SIMCAM_EXPORT int SimCam_SetProperty(int camera, uint32_t property, int32_t value)
{
    LOCK();
    cd_camera* c = plugged_camera(camera);
    int ok = 0;
    if (c && property < F_COUNT) {
        c->settings[property] = (uint32_t)value;
        ok = 1;
    } else if (c && property == cdDEVICE_PROP_BATTERY_STATUS) {
        c->battery = (uint32_t)value;
        ok = 1;
    } else if (c) {
        cd_relcam* r = relcam_find(c, property);
        if (r) {
            r->value = (uint32_t)value;
            ok = 1;
        }
    }
    if (ok)
        post_event_locked(c, 0, cdEVENT_RELEASE_PARAM_CHANGED, property, 0);
    UNLOCK();
    return ok ? 0 : -1;
}

SIMCAM_EXPORT int SimCam_SetAllowedValues(int camera, uint32_t property, const int32_t* values, int count)
{
    return -1; /* the older cameras' lists are fixed per model */
}

SIMCAM_EXPORT int SimCam_RaiseEvent(int camera, uint32_t event, uint32_t data)
{
    LOCK();
    cd_camera* c = plugged_camera(camera);
    if (c)
        post_event_locked(c, (event & RELEASE_EVENT_FLAG) != 0, event & ~RELEASE_EVENT_FLAG, data, 0);
    UNLOCK();
    return c ? 0 : -1;
}

SIMCAM_EXPORT int SimCam_AddCardFile(int camera, const char* folder, const char* name, uint64_t size)
{
    if (!folder || !name || !*name || strchr(name, '/'))
        return -1;
    LOCK();
    cd_camera* c = plugged_camera(camera);
    cd_node* n = c ? card_add(c, folder, name, 1024, 1024 * c->model->sensor_height / c->model->sensor_width) : NULL;
    UNLOCK();
    return n ? 0 : -1;
}

SIMCAM_EXPORT int SimCam_SetCard(int camera, int present)
{
    LOCK();
    cd_camera* c = plugged_camera(camera);
    if (c && !present && c->card) {
        node_release(c->card);
        c->card = NULL;
    } else if (c && present && !c->card) {
        c->card = node_new("", 1);
    }
    UNLOCK();
    return c ? 0 : -1;
}

SIMCAM_EXPORT int SimCam_LiveObjects(void)
{
    LOCK();
    int n = g_handle_count;
    UNLOCK();
    return n;
}
