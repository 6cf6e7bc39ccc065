/* PRSDK.DLL stand-in: the 25 newer-PowerShot entry points over simulated cameras that speak in
 * PTP terms (device properties with 16-bit codes, descriptors, the device information dataset,
 * event records), with releases announced from the library's thread, pictures handed over block by
 * block to a receiver, live view frames, and the control interface (SimCam_...). */
#include "prsdk_api.h"
#include "simcam.h"
#include "simcam_control.h"

#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#define PRAPI PRAPI_EXPORT
#define MAX_CAMERAS 8
#define MAX_PROPS 40
#define MAX_VALUES 64
#define MAX_OBJECTS 64

typedef struct {
    const char* key;
    const char* name;
    uint32_t model_id;
    int zoom_max, optical_max; /* zoom steps; optical part */
    int sensor_width, sensor_height;
    int sizes[4][2]; /* large, medium 1, medium 2, small */
} pr_model;

static const pr_model g_models[] = {
    {"ps-new", "PowerShot SimCam N", 0x3110001, 14, 9, 2592, 1944, {{2592, 1944}, {2048, 1536}, {1600, 1200}, {640, 480}}},
    {"ps-both", "PowerShot SimCam Twin", 0x3110002, 7, 7, 2272, 1704, {{2272, 1704}, {1600, 1200}, {1024, 768}, {640, 480}}},
};

typedef struct {
    uint16_t code;
    uint16_t data_type;
    uint32_t width;
    int writable;
    unsigned char value[260];
    int form; /* prPTP_FORM_... */
    int value_count;
    uint32_t values[MAX_VALUES];
    uint32_t min, max, step;
} pr_prop;

typedef struct {
    prObjectHandle handle;
    unsigned char* data;
    size_t size;
} pr_object;

typedef struct {
    int id;
    const pr_model* model;
    int plugged;
    prHandle handle; /* the camera object, 0 when none */
    int connected;
    int release_control;
    prSetEventCB event_cb;
    prContext event_context;
    pr_prop props[MAX_PROPS];
    int prop_count;
    pr_object objects[MAX_OBJECTS];
    int object_count;
    prObjectHandle next_object;
    unsigned next_number;
    uint32_t shots;
    int viewfinder; /* generation of the running viewfinder, 0 when off */
    int viewfinder_generation;
    prViewFinderCB viewfinder_cb;
    prContext viewfinder_context;
    unsigned frame;
    uint16_t changed[MAX_PROPS];
    int changed_count;
} pr_camera;

#define LOCK() pthread_mutex_lock(&simcam_lock)
#define UNLOCK() pthread_mutex_unlock(&simcam_lock)

static int g_started;
static pr_camera* g_cameras[MAX_CAMERAS * 4];
static int g_camera_count;
static int g_next_id = 1;
static prHandle g_next_handle = 1;
static unsigned g_release_delay_ms = 50;
static unsigned g_viewfinder_ms = 100;

static prResponse unlock_with(prResponse r)
{
    UNLOCK();
    return r;
}

/* ---- properties ---- */

static pr_prop* prop_add(pr_camera* c, uint16_t code, uint16_t type, uint32_t width, int writable, uint32_t value)
{
    if (c->prop_count == MAX_PROPS)
        return NULL;
    pr_prop* p = &c->props[c->prop_count++];
    memset(p, 0, sizeof *p);
    p->code = code;
    p->data_type = type;
    p->width = width;
    p->writable = writable;
    memcpy(p->value, &value, width < 4 ? width : 4);
    return p;
}

static void prop_enum(pr_prop* p, const uint32_t* values, int count)
{
    if (!p)
        return;
    p->form = prPTP_FORM_ENUM;
    p->value_count = count < MAX_VALUES ? count : MAX_VALUES;
    memcpy(p->values, values, (size_t)p->value_count * sizeof(uint32_t));
}

static uint32_t prop_value(const pr_prop* p)
{
    uint32_t v = 0;
    memcpy(&v, p->value, p->width < 4 ? p->width : 4);
    return v;
}

static pr_prop* prop_find(pr_camera* c, uint16_t code)
{
    for (int i = 0; i < c->prop_count; ++i)
        if (c->props[i].code == code)
            return &c->props[i];
    return NULL;
}

/* Codes in thirds of a stop from `from` to `to`. */
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

static pr_camera* camera_new(const pr_model* m)
{
    pr_camera* c = calloc(1, sizeof *c);
    if (!c)
        return NULL;
    c->id = g_next_id++;
    c->model = m;
    c->plugged = 1;
    c->next_object = 0x1000;
    c->next_number = 1;
    c->shots = 812;
    uint32_t v[MAX_VALUES];
    int n;
    prop_add(c, prPTP_DEV_PROP_BATTERY_KIND, prPTP_DATATYPE_UINT16, 2, 0, (uint32_t)simcam_env_long("JEX4_SIMCAM_PR_BATTERY_KIND", 2));
    prop_add(c, prPTP_DEV_PROP_BATTERY_STATUS, prPTP_DATATYPE_UINT32, 4, 0, 1);
    const uint32_t quality[] = {2, 3, 5};
    prop_enum(prop_add(c, prPTP_DEV_PROP_COMP_QUALITY, prPTP_DATATYPE_UINT8, 1, 1, 3), quality, 3);
    const uint32_t type[] = {1, 2};
    prop_enum(prop_add(c, prPTP_DEV_PROP_IMAGE_TYPE, prPTP_DATATYPE_UINT8, 1, 1, 1), type, 2);
    const uint32_t size[] = {0, 1, 3, 2};
    prop_enum(prop_add(c, prPTP_DEV_PROP_IMAGE_SIZE, prPTP_DATATYPE_UINT8, 1, 1, 0), size, 4);
    const uint32_t timer[] = {20, 100};
    prop_enum(prop_add(c, prPTP_DEV_PROP_SELFTIMER, prPTP_DATATYPE_UINT16, 2, 1, 100), timer, 2);
    const uint32_t flash[] = {0, 1, 2, 3, 4, 5, 6};
    prop_enum(prop_add(c, prPTP_DEV_PROP_STROBE_SETTING, prPTP_DATATYPE_UINT8, 1, 1, 0), flash, 7);
    const uint32_t onoff[] = {0, 1};
    prop_enum(prop_add(c, prPTP_DEV_PROP_BUZZER, prPTP_DATATYPE_UINT8, 1, 1, 1), onoff, 2);
    const uint32_t modes[] = {0, 1, 2, 3, 4, 130, 132, 147, 156};
    prop_enum(prop_add(c, prPTP_DEV_PROP_EXPOSURE_MODE, prPTP_DATATYPE_UINT8, 1, 1, 1), modes, 9);
    const uint32_t drive[] = {0, 1, 2};
    prop_enum(prop_add(c, prPTP_DEV_PROP_DRIVE_MODE, prPTP_DATATYPE_UINT8, 1, 1, 0), drive, 3);
    const uint32_t metering[] = {0, 1, 3};
    prop_enum(prop_add(c, prPTP_DEV_PROP_ML_WEI_MODE, prPTP_DATATYPE_UINT8, 1, 1, 3), metering, 3);
    const uint32_t distance[] = {0, 1, 3};
    prop_enum(prop_add(c, prPTP_DEV_PROP_AF_DISTANCE, prPTP_DATATYPE_UINT8, 1, 1, 1), distance, 3);
    const uint32_t points[] = {0x1001, 0x3001, 0x3003};
    prop_enum(prop_add(c, prPTP_DEV_PROP_FOCUS_POINT_SETTING, prPTP_DATATYPE_UINT16, 2, 1, 0x1001), points, 3);
    const uint32_t wb[] = {0, 1, 2, 3, 4, 7, 10};
    prop_enum(prop_add(c, prPTP_DEV_PROP_WB_SETTING, prPTP_DATATYPE_UINT8, 1, 1, 0), wb, 7);
    const uint32_t levels[] = {0xFF, 0, 1}; /* low, default, high as signed bytes */
    prop_enum(prop_add(c, prPTP_DEV_PROP_CONTRAST, prPTP_DATATYPE_INT8, 1, 1, 0), levels, 3);
    prop_enum(prop_add(c, prPTP_DEV_PROP_COLOR_GAIN, prPTP_DATATYPE_INT8, 1, 1, 0), levels, 3);
    prop_enum(prop_add(c, prPTP_DEV_PROP_SHARPNESS, prPTP_DATATYPE_INT8, 1, 1, 0), levels, 3);
    const uint32_t iso[] = {0, 72, 80, 88, 96};
    prop_enum(prop_add(c, prPTP_DEV_PROP_ISO, prPTP_DATATYPE_UINT16, 2, 1, 0), iso, 5);
    n = thirds(32, 64, v); /* f/2.8 to f/8 */
    prop_enum(prop_add(c, prPTP_DEV_PROP_AV, prPTP_DATATYPE_UINT16, 2, 1, 40), v, n);
    n = thirds(24, 144, v); /* 15 s to 1/2000 s */
    prop_enum(prop_add(c, prPTP_DEV_PROP_TV, prPTP_DATATYPE_UINT16, 2, 1, 104), v, n);
    n = thirds(8, 40, v); /* -2 to +2 stops around 24 */
    prop_enum(prop_add(c, prPTP_DEV_PROP_EXPOSURE_COMP, prPTP_DATATYPE_UINT8, 1, 1, 24), v, n);
    prop_enum(prop_add(c, prPTP_DEV_PROP_FLASH_COMP, prPTP_DATATYPE_UINT8, 1, 1, 24), v, n);
    const uint32_t transfer[] = {1, 2, 3, 4, 8, 12};
    prop_enum(prop_add(c, prPTP_DEV_PROP_CAPTURE_TRANSFER_MODE, prPTP_DATATYPE_UINT16, 2, 1, 2), transfer, 6);
    pr_prop* zoom = prop_add(c, prPTP_DEV_PROP_ZOOM_POS, prPTP_DATATYPE_UINT16, 2, 1, 0);
    if (zoom) {
        zoom->form = prPTP_FORM_RANGE;
        zoom->min = 0;
        zoom->max = (uint32_t)m->zoom_max;
        zoom->step = 1;
    }
    prop_add(c, prPTP_DEV_PROP_FIRMWARE_VERSION, prPTP_DATATYPE_UINT32, 4, 0, 0x01000200);
    prop_add(c, prPTP_DEV_PROP_CAMERA_OWNER, prPTP_DATATYPE_STRING, 260, 1, 0);
    prop_add(c, prPTP_DEV_PROP_CAMERA_TIME, prPTP_DATATYPE_UINT32, 4, 1, (uint32_t)time(NULL));
    const uint32_t output[] = {1, 2, 3};
    prop_enum(prop_add(c, prPTP_DEV_PROP_CAMERA_OUTPUT, prPTP_DATATYPE_UINT8, 1, 1, 1), output, 3);
    prop_add(c, prPTP_DEV_PROP_MAX_OPTICAL_ZOOM, prPTP_DATATYPE_UINT16, 2, 0,
             m->optical_max < m->zoom_max ? (uint32_t)m->optical_max + 1 : 255);
    const uint32_t effects[] = {0, 1, 2, 3, 4, 5};
    prop_enum(prop_add(c, prPTP_DEV_PROP_PHOTO_EFFECT, prPTP_DATATYPE_UINT16, 2, 1, 0), effects, 6);
    prop_enum(prop_add(c, prPTP_DEV_PROP_AF_ASSIST_LIGHT, prPTP_DATATYPE_UINT16, 2, 1, 1), onoff, 2);
    prop_add(c, prPTP_DEV_PROP_BODY_ID, prPTP_DATATYPE_UINT32, 4, 0, 0x51000000u + (uint32_t)c->id);
    return c;
}

static void free_objects(pr_camera* c)
{
    for (int i = 0; i < c->object_count; ++i)
        free(c->objects[i].data);
    c->object_count = 0;
}

static void camera_free(pr_camera* c)
{
    if (!c)
        return;
    free_objects(c);
    free(c);
}

static const pr_model* model_find(const char* key)
{
    for (size_t i = 0; i < sizeof g_models / sizeof g_models[0]; ++i)
        if (strcmp(g_models[i].key, key) == 0)
            return &g_models[i];
    return NULL;
}

static pr_camera* camera_by_handle(prHandle h)
{
    for (int i = 0; h && i < g_camera_count; ++i)
        if (g_cameras[i]->handle == h)
            return g_cameras[i];
    return NULL;
}

static pr_camera* camera_by_id(int id)
{
    for (int i = 0; i < g_camera_count; ++i)
        if (g_cameras[i]->id == id)
            return g_cameras[i];
    return NULL;
}

static pr_camera* plugged_camera(int index)
{
    for (int i = 0; i < g_camera_count; ++i)
        if (g_cameras[i]->plugged && index-- == 0)
            return g_cameras[i];
    return NULL;
}

/* The camera of a handle, connected: PR_OK or why not. */
static prResponse connected_camera(prHandle h, pr_camera** out)
{
    if (!g_started)
        return PR_INVALID_FN_CALL;
    pr_camera* c = camera_by_handle(h);
    if (!c)
        return PR_INVALID_HANDLE;
    if (!c->plugged)
        return PR_RESPONSE_SESSION_NOT_OPEN; /* the camera has gone, and its session with it */
    if (!c->connected)
        return PR_RESPONSE_SESSION_NOT_OPEN;
    *out = c;
    return PR_OK;
}

/* ---- events ---- */

typedef struct {
    int camera_id;
    prSetEventCBParam record;
} pr_event;

static void run_event(void* arg)
{
    pr_event* e = arg;
    LOCK();
    pr_camera* c = g_started ? camera_by_id(e->camera_id) : NULL;
    prSetEventCB cb = c ? c->event_cb : NULL;
    prContext context = c ? c->event_context : 0;
    prHandle handle = c ? c->handle : 0;
    UNLOCK();
    if (cb)
        cb(handle, context, &e->record);
    free(e);
}

static void post_event_locked(pr_camera* c, uint16_t code, uint32_t p0, uint32_t p1, unsigned delay_ms)
{
    pr_event* e = calloc(1, sizeof *e);
    if (!e)
        return;
    e->camera_id = c->id;
    e->record.InterruptDataLength = 12 + 8;
    e->record.ContainerType = 4;
    e->record.EventCode = code;
    e->record.Parameters[0] = p0;
    e->record.Parameters[1] = p1;
    simcam_post(run_event, free, e, delay_ms);
}

static void unplug_locked(pr_camera* c)
{
    if (!c->plugged)
        return;
    post_event_locked(c, prPTP_EVENT_DEVICE_DISCONNECTED, 0, 0, 0);
    c->plugged = 0;
    c->connected = 0;
    c->release_control = 0;
    c->viewfinder = 0;
}

/* ---- start and finish ---- */

static void add_cameras_locked(const char* models)
{
    char buf[256];
    snprintf(buf, sizeof buf, "%s", models);
    char* save = NULL;
    for (char* key = strtok_r(buf, ",", &save); key; key = strtok_r(NULL, ",", &save)) {
        const pr_model* m = model_find(key);
        if (!m || g_camera_count == (int)(sizeof g_cameras / sizeof g_cameras[0]))
            continue;
        pr_camera* c = camera_new(m);
        if (c)
            g_cameras[g_camera_count++] = c;
    }
}

static void finish_locked(void)
{
    for (int i = 0; i < g_camera_count; ++i)
        camera_free(g_cameras[i]);
    g_camera_count = 0;
}

PRAPI prResponse PR_StartSDK(void)
{
    SIMCAM_ENTER();
    LOCK();
    if (g_started)
        return unlock_with(PR_INVALID_FN_CALL);
    g_started = 1;
    simcam_faults_from_env();
    g_release_delay_ms = (unsigned)simcam_env_long("JEX4_SIMCAM_RELEASE_MS", 50);
    g_viewfinder_ms = (unsigned)simcam_env_long("JEX4_SIMCAM_VIEWFINDER_MS", 100);
    /* The environment lists every camera plugged in; this library takes the PowerShot ones it knows. */
    add_cameras_locked(simcam_camera_models_locked());
    UNLOCK();
    simcam_events_start();
    return PR_OK;
}

PRAPI prResponse PR_FinishSDK(void)
{
    SIMCAM_ENTER();
    LOCK();
    if (!g_started)
        return unlock_with(PR_INVALID_FN_CALL);
    g_started = 0;
    UNLOCK();
    simcam_events_stop();
    LOCK();
    finish_locked();
    return unlock_with(PR_OK);
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

static void put_wide(prWChar* out, size_t count, const char* text)
{
    size_t i = 0;
    for (; text[i] && i + 1 < count; ++i)
        out[i] = (prWChar)(unsigned char)text[i];
    out[i] = 0;
}

PRAPI prResponse PR_GetDllsVersion(prUInt32* pBufferSize, prDllsVerInfo* pDllVersion)
{
    SIMCAM_ENTER();
    if (!pBufferSize)
        return PR_INVALID_PARAMETER;
    const prUInt32 need = 4 + 2 * sizeof(prDllVersion);
    if (*pBufferSize < need || !pDllVersion) {
        *pBufferSize = need;
        return PR_INSUFFICIENT_BUFFER;
    }
    memset(pDllVersion, 0, need);
    pDllVersion->Entry = 2;
    prDllVersion* v = pDllVersion->VersionInfo;
    put_wide(v[0].ModuleName, 64, "PRSDK.dll");
    put_wide(v[0].Version, 32, "1.1.0.20");
    put_wide(v[1].ModuleName, 64, "PRLIB.dll");
    put_wide(v[1].Version, 32, "1.1.0.12");
    *pBufferSize = need;
    return PR_OK;
}

static void device_record(const pr_camera* c, prDeviceInfoTable* out)
{
    memset(out, 0, sizeof *out);
    char internal[64];
    snprintf(internal, sizeof internal, "\\\\?\\usb#vid_04a9&pid_31%02x#%d", (unsigned)c->model->model_id & 0xFF, c->id);
    put_wide(out->DeviceInternalName, 512, internal);
    put_wide(out->ModelName, 32, c->model->name);
    out->Generation = 1;
    out->ModelID = c->model->model_id;
}

PRAPI prResponse PR_GetDeviceList(prUInt32* pBufferSize, prDeviceList* pDeviceList)
{
    SIMCAM_ENTER();
    if (!pBufferSize)
        return PR_INVALID_PARAMETER;
    LOCK();
    if (!g_started)
        return unlock_with(PR_INVALID_FN_CALL);
    int count = 0;
    for (int i = 0; i < g_camera_count; ++i)
        count += g_cameras[i]->plugged;
    const prUInt32 need = 4 + (prUInt32)count * (prUInt32)sizeof(prDeviceInfoTable);
    if (*pBufferSize < need || !pDeviceList) {
        *pBufferSize = need;
        return unlock_with(PR_INSUFFICIENT_BUFFER);
    }
    pDeviceList->NumList = (prUInt32)count;
    prDeviceInfoTable* out = pDeviceList->DeviceInfo;
    for (int i = 0; i < g_camera_count; ++i)
        if (g_cameras[i]->plugged)
            device_record(g_cameras[i], out++);
    *pBufferSize = need;
    return unlock_with(PR_OK);
}

PRAPI prResponse PR_CreateCameraObject(prDeviceInfoTable* pDeviceInfo, prHandle* pCameraHandle)
{
    SIMCAM_ENTER();
    if (!pDeviceInfo || !pCameraHandle)
        return PR_INVALID_PARAMETER;
    *pCameraHandle = 0;
    LOCK();
    if (!g_started)
        return unlock_with(PR_INVALID_FN_CALL);
    for (int i = 0; i < g_camera_count; ++i) {
        pr_camera* c = g_cameras[i];
        prDeviceInfoTable mine;
        device_record(c, &mine);
        if (!c->plugged || memcmp(mine.DeviceInternalName, pDeviceInfo->DeviceInternalName, sizeof mine.DeviceInternalName) != 0)
            continue;
        if (c->handle)
            return unlock_with(PR_RESPONSE_DEVICE_BUSY); /* one object per camera */
        c->handle = g_next_handle++;
        *pCameraHandle = c->handle;
        return unlock_with(PR_OK);
    }
    return unlock_with(PR_INVALID_PARAMETER);
}

PRAPI prResponse PR_DestroyCameraObject(prHandle CameraHandle)
{
    SIMCAM_ENTER();
    LOCK();
    pr_camera* c = g_started ? camera_by_handle(CameraHandle) : NULL;
    if (!c)
        return unlock_with(PR_INVALID_HANDLE);
    c->handle = 0;
    c->connected = 0;
    c->release_control = 0;
    c->viewfinder = 0;
    c->event_cb = NULL;
    free_objects(c);
    return unlock_with(PR_OK);
}

PRAPI prResponse PR_ConnectCamera(prHandle CameraHandle)
{
    SIMCAM_ENTER();
    LOCK();
    pr_camera* c = g_started ? camera_by_handle(CameraHandle) : NULL;
    if (!c)
        return unlock_with(PR_INVALID_HANDLE);
    if (!c->plugged)
        return unlock_with(PR_RESPONSE_GENERAL_ERROR);
    c->connected = 1;
    return unlock_with(PR_OK);
}

PRAPI prResponse PR_DisconnectCamera(prHandle CameraHandle)
{
    SIMCAM_ENTER();
    LOCK();
    pr_camera* c = g_started ? camera_by_handle(CameraHandle) : NULL;
    if (!c)
        return unlock_with(PR_INVALID_HANDLE);
    c->connected = 0;
    c->release_control = 0;
    c->viewfinder = 0;
    return unlock_with(PR_OK);
}

PRAPI prResponse PR_SetEventCallBack(prHandle CameraHandle, prContext Context, prSetEventCB pSetEventCB)
{
    SIMCAM_ENTER();
    if (!pSetEventCB)
        return PR_INVALID_PARAMETER;
    LOCK();
    pr_camera* c = NULL;
    prResponse r = connected_camera(CameraHandle, &c);
    if (r)
        return unlock_with(r);
    if (c->event_cb)
        return unlock_with(PR_EVENT_CALLBACK_EXIST);
    c->event_cb = pSetEventCB;
    c->event_context = Context;
    return unlock_with(PR_OK);
}

PRAPI prResponse PR_ClearEventCallBack(prHandle CameraHandle)
{
    SIMCAM_ENTER();
    LOCK();
    pr_camera* c = g_started ? camera_by_handle(CameraHandle) : NULL;
    if (!c)
        return unlock_with(PR_INVALID_HANDLE);
    c->event_cb = NULL;
    c->event_context = 0;
    return unlock_with(PR_OK);
}

/* ---- datasets ---- */

typedef struct {
    unsigned char* at;
    unsigned char* end;
    size_t need;
} pr_writer;

static void put(pr_writer* w, const void* data, size_t size)
{
    if (w->at && w->at + size <= w->end) {
        memcpy(w->at, data, size);
        w->at += size;
    } else {
        w->at = NULL; /* too small: keep counting */
    }
    w->need += size;
}

static void put16(pr_writer* w, uint32_t v)
{
    const unsigned char b[2] = {(unsigned char)v, (unsigned char)(v >> 8)};
    put(w, b, 2);
}

static void put32(pr_writer* w, uint32_t v)
{
    const unsigned char b[4] = {(unsigned char)v, (unsigned char)(v >> 8), (unsigned char)(v >> 16), (unsigned char)(v >> 24)};
    put(w, b, 4);
}

/* A PTP string: character count with the terminator, then UTF-16 characters. */
static void put_string(pr_writer* w, const char* text)
{
    const size_t len = strlen(text);
    const unsigned char count = (unsigned char)(len ? len + 1 : 0);
    put(w, &count, 1);
    for (size_t i = 0; i < len; ++i)
        put16(w, (unsigned char)text[i]);
    if (len)
        put16(w, 0);
}

static prResponse finish_writer(const pr_writer* w, prUInt32* size)
{
    const prUInt32 need = (prUInt32)w->need;
    const prResponse r = (w->at || need == 0) ? PR_OK : PR_INSUFFICIENT_BUFFER;
    *size = need;
    return r;
}

PRAPI prResponse PR_GetDeviceInfo(prHandle CameraHandle, prUInt32* pBufferSize, prVoid* pDeviceInfo)
{
    SIMCAM_ENTER();
    if (!pBufferSize)
        return PR_INVALID_PARAMETER;
    LOCK();
    pr_camera* c = NULL;
    prResponse r = connected_camera(CameraHandle, &c);
    if (r)
        return unlock_with(r);
    pr_writer w = {pDeviceInfo, (unsigned char*)pDeviceInfo + (pDeviceInfo ? *pBufferSize : 0), 0};
    put16(&w, 100);       /* standard version 1.00 */
    put32(&w, 0x0000000B); /* vendor extension */
    put16(&w, 100);
    put_string(&w, "SimCam PTP extensions");
    put16(&w, 0); /* functional mode */
    const uint16_t operations[] = {0x1001, 0x1002, 0x1003, 0x1014, 0x1015, 0x1016, 0x9008, 0x9009, 0x900B, 0x900C, 0x9014, 0x9015};
    put32(&w, sizeof operations / sizeof operations[0]);
    for (size_t i = 0; i < sizeof operations / sizeof operations[0]; ++i)
        put16(&w, operations[i]);
    const uint16_t events[] = {0x4006, 0xC001, 0xC005, 0xC006, 0xC007, 0xC008, 0xC009, 0xC00A, 0xC00B, 0xC00C, 0xC00E, 0xD001};
    put32(&w, sizeof events / sizeof events[0]);
    for (size_t i = 0; i < sizeof events / sizeof events[0]; ++i)
        put16(&w, events[i]);
    put32(&w, (uint32_t)c->prop_count);
    for (int i = 0; i < c->prop_count; ++i)
        put16(&w, c->props[i].code);
    put32(&w, 0); /* capture formats */
    put32(&w, 1);
    put16(&w, 0x3801); /* JPEG */
    put_string(&w, "SimCam");
    put_string(&w, c->model->name);
    put_string(&w, "1-2.0");
    char serial[16];
    snprintf(serial, sizeof serial, "%08X", 0x51000000u + (unsigned)c->id);
    put_string(&w, serial);
    return unlock_with(finish_writer(&w, pBufferSize));
}

PRAPI prResponse PR_GetDevicePropDesc(prHandle CameraHandle, prptpDevicePropCode DevicePropCode,
                                      prUInt32* pBufferSize, prVoid* pDevicePropDesc)
{
    SIMCAM_ENTER();
    if (!pBufferSize)
        return PR_INVALID_PARAMETER;
    LOCK();
    pr_camera* c = NULL;
    prResponse r = connected_camera(CameraHandle, &c);
    if (r)
        return unlock_with(r);
    pr_prop* p = prop_find(c, DevicePropCode);
    if (!p)
        return unlock_with(PR_RESPONSE_DEVICE_PROP_NOT_SUPPORTED);
    pr_writer w = {pDevicePropDesc, (unsigned char*)pDevicePropDesc + (pDevicePropDesc ? *pBufferSize : 0), 0};
    put16(&w, p->code);
    put16(&w, p->data_type);
    const unsigned char getset = (unsigned char)p->writable;
    put(&w, &getset, 1);
    const uint32_t width = p->width > 4 ? 0 : p->width;
    /* Factory default and current value in the property's width (texts carry none here). */
    put(&w, p->value, width);
    put(&w, p->value, width);
    const unsigned char form = (unsigned char)p->form;
    put(&w, &form, 1);
    if (p->form == prPTP_FORM_RANGE) {
        put(&w, &p->min, width);
        put(&w, &p->max, width);
        put(&w, &p->step, width);
    } else if (p->form == prPTP_FORM_ENUM) {
        put16(&w, (uint32_t)p->value_count);
        for (int i = 0; i < p->value_count; ++i)
            put(&w, &p->values[i], width);
    }
    return unlock_with(finish_writer(&w, pBufferSize));
}

PRAPI prResponse PR_GetDevicePropValue(prHandle CameraHandle, prptpDevicePropCode DevicePropCode,
                                       prUInt32* pBufferSize, prVoid* pDeviceProperty)
{
    SIMCAM_ENTER();
    if (!pBufferSize)
        return PR_INVALID_PARAMETER;
    LOCK();
    pr_camera* c = NULL;
    prResponse r = connected_camera(CameraHandle, &c);
    if (r)
        return unlock_with(r);
    pr_prop* p = prop_find(c, DevicePropCode);
    if (!p)
        return unlock_with(PR_RESPONSE_DEVICE_PROP_NOT_SUPPORTED);
    if (*pBufferSize < p->width || !pDeviceProperty) {
        *pBufferSize = p->width;
        return unlock_with(PR_INSUFFICIENT_BUFFER);
    }
    memcpy(pDeviceProperty, p->value, p->width);
    *pBufferSize = p->width;
    return unlock_with(PR_OK);
}

static int value_allowed(const pr_prop* p, uint32_t v)
{
    if (p->form == prPTP_FORM_RANGE)
        return v >= p->min && v <= p->max && (p->step <= 1 || (v - p->min) % p->step == 0);
    if (p->form == prPTP_FORM_ENUM) {
        for (int i = 0; i < p->value_count; ++i)
            if (p->values[i] == v)
                return 1;
        return 0;
    }
    return 1;
}

static void note_changed(pr_camera* c, uint16_t code)
{
    for (int i = 0; i < c->changed_count; ++i)
        if (c->changed[i] == code)
            return;
    if (c->changed_count < MAX_PROPS)
        c->changed[c->changed_count++] = code;
}

PRAPI prResponse PR_SetDevicePropValue(prHandle CameraHandle, prptpDevicePropCode DevicePropCode, prUInt32 DataSize,
                                       prVoid* pDeviceProperty)
{
    SIMCAM_ENTER();
    if (!pDeviceProperty)
        return PR_INVALID_PARAMETER;
    LOCK();
    pr_camera* c = NULL;
    prResponse r = connected_camera(CameraHandle, &c);
    if (r)
        return unlock_with(r);
    pr_prop* p = prop_find(c, DevicePropCode);
    if (!p)
        return unlock_with(PR_RESPONSE_DEVICE_PROP_NOT_SUPPORTED);
    if (!p->writable)
        return unlock_with(PR_RESPONSE_ACCESS_DENIED);
    if (DataSize != p->width)
        return unlock_with(PR_RESPONSE_INVALID_DEVICE_PROP_FORMAT);
    if (p->data_type == prPTP_DATATYPE_STRING) {
        if (memchr(pDeviceProperty, 0, DataSize) == NULL)
            return unlock_with(PR_RESPONSE_INVALID_DEVICE_PROP_VALUE);
        memcpy(p->value, pDeviceProperty, DataSize);
        return unlock_with(PR_OK);
    }
    uint32_t v = 0;
    memcpy(&v, pDeviceProperty, DataSize);
    const uint32_t refused = simcam_refusal_locked(DevicePropCode, v);
    if (refused)
        return unlock_with(refused);
    if (!value_allowed(p, v))
        return unlock_with(PR_RESPONSE_INVALID_DEVICE_PROP_VALUE);
    /* Aperture and shutter speed are the photographer's only in the modes that give them. */
    const uint32_t mode = prop_value(prop_find(c, prPTP_DEV_PROP_EXPOSURE_MODE));
    if ((DevicePropCode == prPTP_DEV_PROP_AV && mode != 4 && mode != 3) ||
        (DevicePropCode == prPTP_DEV_PROP_TV && mode != 4 && mode != 2))
        return unlock_with(PR_RESPONSE_ACCESS_DENIED);
    memcpy(p->value, &v, p->width);
    return unlock_with(PR_OK);
}

PRAPI prResponse PR_RC_GetChangedReleaseParamesList(prHandle CameraHandle, prUInt32* pBufferSize, prVoid* pParamsList)
{
    SIMCAM_ENTER();
    if (!pBufferSize)
        return PR_INVALID_PARAMETER;
    LOCK();
    pr_camera* c = NULL;
    prResponse r = connected_camera(CameraHandle, &c);
    if (r)
        return unlock_with(r);
    if (!c->release_control)
        return unlock_with(PR_INVALID_FN_CALL);
    pr_writer w = {pParamsList, (unsigned char*)pParamsList + (pParamsList ? *pBufferSize : 0), 0};
    put32(&w, (uint32_t)c->changed_count);
    for (int i = 0; i < c->changed_count; ++i)
        put16(&w, c->changed[i]);
    r = finish_writer(&w, pBufferSize);
    if (r == PR_OK)
        c->changed_count = 0;
    return unlock_with(r);
}

/* ---- remote release ---- */

PRAPI prResponse PR_InitiateReleaseControl(prHandle CameraHandle)
{
    SIMCAM_ENTER();
    LOCK();
    pr_camera* c = NULL;
    prResponse r = connected_camera(CameraHandle, &c);
    if (r)
        return unlock_with(r);
    c->release_control = 1;
    c->changed_count = 0;
    return unlock_with(PR_OK);
}

PRAPI prResponse PR_TerminateReleaseControl(prHandle CameraHandle)
{
    SIMCAM_ENTER();
    LOCK();
    pr_camera* c = NULL;
    prResponse r = connected_camera(CameraHandle, &c);
    if (r)
        return unlock_with(r);
    if (!c->release_control)
        return unlock_with(PR_INVALID_FN_CALL);
    c->release_control = 0;
    c->viewfinder = 0;
    return unlock_with(PR_OK);
}

static int jpeg_quality(uint32_t code)
{
    return code == 2 ? 80 : code == 5 ? 97 : 92;
}

static int size_index(uint32_t code)
{
    switch (code) {
    case 1: return 1;
    case 3: return 2;
    case 2: return 3;
    default: return 0;
    }
}

/* Makes an object of the camera's memory; its handle, 0 when there is no room. */
static prObjectHandle add_object_locked(pr_camera* c, unsigned char* data, size_t size)
{
    if (c->object_count == MAX_OBJECTS) {
        free(data);
        return 0;
    }
    pr_object* o = &c->objects[c->object_count++];
    o->handle = c->next_object++;
    o->data = data;
    o->size = size;
    return o->handle;
}

typedef struct {
    int camera_id;
} pr_release_job;

static void run_release(void* arg)
{
    pr_release_job* job = arg;
    LOCK();
    pr_camera* c = g_started ? camera_by_id(job->camera_id) : NULL;
    if (c && c->connected && c->release_control) {
        const uint32_t mode = prop_value(prop_find(c, prPTP_DEV_PROP_CAPTURE_TRANSFER_MODE));
        const int index = size_index(prop_value(prop_find(c, prPTP_DEV_PROP_IMAGE_SIZE)));
        const int quality = jpeg_quality(prop_value(prop_find(c, prPTP_DEV_PROP_COMP_QUALITY)));
        simcam_scene scene;
        simcam_scene_default(&scene, c->model->sensor_width, c->model->sensor_height, 100u * (unsigned)c->id + c->next_number++);
        const int to_card = mode >= 4;
        const int kinds = to_card ? mode / 4 : mode;
        if (to_card && c->shots)
            --c->shots;
        unsigned char* data = NULL;
        size_t size = 0;
        if ((kinds & 1) && simcam_make_jpeg(&scene, 160, 120, 80, &data, &size, NULL) == 0) {
            prObjectHandle h = add_object_locked(c, data, size);
            /* With both kinds the thumbnail comes first and is only kept; the picture completes. */
            if (h)
                post_event_locked(c, (kinds & 2) ? prPTP_EVENT_THUMBNAIL_RELEASED : prPTP_EVENT_FULL_VIEW_RELEASED, h,
                                  (uint32_t)size, 0);
        }
        if ((kinds & 2) && simcam_make_jpeg(&scene, c->model->sizes[index][0], c->model->sizes[index][1], quality, &data,
                                            &size, NULL) == 0) {
            prObjectHandle h = add_object_locked(c, data, size);
            if (h)
                post_event_locked(c, prPTP_EVENT_FULL_VIEW_RELEASED, h, (uint32_t)size, 0);
        }
    }
    UNLOCK();
    free(job);
}

PRAPI prResponse PR_RC_Release(prHandle CameraHandle)
{
    SIMCAM_ENTER();
    LOCK();
    pr_camera* c = NULL;
    prResponse r = connected_camera(CameraHandle, &c);
    if (r)
        return unlock_with(r);
    if (!c->release_control)
        return unlock_with(PR_INVALID_FN_CALL);
    pr_release_job* job = calloc(1, sizeof *job);
    if (!job)
        return unlock_with(PR_MEM_ALLOC_FAILED);
    job->camera_id = c->id;
    simcam_post(run_release, free, job, g_release_delay_ms);
    return unlock_with(PR_OK);
}

typedef struct {
    prHandle handle;
    prContext context;
    prGetFileDataCB cb;
    unsigned char* data;
    size_t size;
    uint32_t block;
    int camera_id;
    prResponse result;
} pr_transfer;

/* Hands the picture over block by block, then a block of length 0; on the library's thread. */
static void run_transfer(void* arg)
{
    pr_transfer* t = arg;
    size_t done = 0;
    prProgress progress;
    while (done < t->size) {
        size_t want = t->size - done < t->block ? t->size - done : t->block;
        int cut = 0;
        size_t may = (size_t)simcam_take_transfer_budget(want, &cut);
        if (may) {
            memset(&progress, 0, sizeof progress);
            progress.lMessage = 2;
            progress.lPercentComplete = (prUInt32)((done + may) * 100 / t->size);
            progress.lOffset = (prUInt32)done;
            progress.lLength = (prUInt32)may;
            progress.pbData = t->data + done;
            t->cb(t->handle, t->context, &progress);
            done += may;
        }
        if (cut) {
            LOCK();
            pr_camera* c = camera_by_id(t->camera_id);
            if (c)
                unplug_locked(c);
            UNLOCK();
            t->result = PR_RESPONSE_INCOMPLETE_TRANSFER;
            return;
        }
    }
    memset(&progress, 0, sizeof progress);
    progress.lMessage = 3;
    progress.lPercentComplete = 100;
    progress.lOffset = (prUInt32)done;
    t->cb(t->handle, t->context, &progress);
    t->result = PR_OK;
}

PRAPI prResponse PR_RC_GetReleasedData(prHandle CameraHandle, prObjectHandle ObjectHandle, prptpEventCode EventCode,
                                       prUInt32 TransSize, prContext Context, prGetFileDataCB pGetFileDataCB)
{
    SIMCAM_ENTER();
    if (!pGetFileDataCB || TransSize == 0)
        return PR_INVALID_PARAMETER;
    if (EventCode != prPTP_EVENT_FULL_VIEW_RELEASED && EventCode != prPTP_EVENT_THUMBNAIL_RELEASED)
        return PR_INVALID_PARAMETER;
    LOCK();
    pr_camera* c = NULL;
    prResponse r = connected_camera(CameraHandle, &c);
    if (r)
        return unlock_with(r);
    int index = -1;
    for (int i = 0; i < c->object_count; ++i)
        if (c->objects[i].handle == ObjectHandle)
            index = i;
    if (index < 0)
        return unlock_with(PR_RESPONSE_INVALID_OBJECT_HANDLE);
    /* The object leaves the camera's memory with this call, whatever comes of it. */
    pr_transfer t = {CameraHandle, Context, pGetFileDataCB, c->objects[index].data, c->objects[index].size, TransSize,
                     c->id, PR_OK};
    memmove(&c->objects[index], &c->objects[index + 1], (size_t)(c->object_count - index - 1) * sizeof(pr_object));
    --c->object_count;
    UNLOCK();
    simcam_run_on_thread(run_transfer, &t);
    free(t.data);
    return t.result;
}

PRAPI prResponse PR_RC_GetNumAvailableShot(prHandle CameraHandle, prUInt32* pNum)
{
    SIMCAM_ENTER();
    if (!pNum)
        return PR_INVALID_PARAMETER;
    LOCK();
    pr_camera* c = NULL;
    prResponse r = connected_camera(CameraHandle, &c);
    if (r)
        return unlock_with(r);
    if (!c->release_control)
        return unlock_with(PR_INVALID_FN_CALL);
    *pNum = c->shots;
    return unlock_with(PR_OK);
}

/* ---- viewfinder ---- */

typedef struct {
    int camera_id;
    int generation;
} pr_frame_job;

static void run_frame(void* arg)
{
    pr_frame_job* job = arg;
    LOCK();
    pr_camera* c = g_started ? camera_by_id(job->camera_id) : NULL;
    if (!c || c->viewfinder != job->generation) {
        UNLOCK();
        free(job);
        return;
    }
    simcam_scene scene;
    simcam_scene_default(&scene, c->model->sensor_width, c->model->sensor_height, 7u + (unsigned)c->id);
    scene.frame = c->frame++;
    prViewFinderCB cb = c->viewfinder_cb;
    prContext context = c->viewfinder_context;
    prHandle handle = c->handle;
    UNLOCK();
    unsigned char* jpeg = NULL;
    size_t size = 0;
    if (simcam_make_jpeg(&scene, 320, 240, 70, &jpeg, &size, NULL) == 0) {
        cb(handle, context, (prUInt32)size, jpeg);
        free(jpeg);
    }
    simcam_post(run_frame, free, job, g_viewfinder_ms);
}

PRAPI prResponse PR_RC_StartViewFinder(prHandle CameraHandle, prContext Context, prViewFinderCB pViewFinderCB)
{
    SIMCAM_ENTER();
    if (!pViewFinderCB)
        return PR_INVALID_PARAMETER;
    LOCK();
    pr_camera* c = NULL;
    prResponse r = connected_camera(CameraHandle, &c);
    if (r)
        return unlock_with(r);
    if (!c->release_control)
        return unlock_with(PR_INVALID_FN_CALL);
    pr_frame_job* job = calloc(1, sizeof *job);
    if (!job)
        return unlock_with(PR_MEM_ALLOC_FAILED);
    c->viewfinder = ++c->viewfinder_generation;
    c->viewfinder_cb = pViewFinderCB;
    c->viewfinder_context = Context;
    job->camera_id = c->id;
    job->generation = c->viewfinder;
    post_event_locked(c, prPTP_EVENT_ENABLE_PC_EVF, 0, 0, 0);
    simcam_post(run_frame, free, job, 0);
    return unlock_with(PR_OK);
}

PRAPI prResponse PR_RC_TermViewFinder(prHandle CameraHandle)
{
    SIMCAM_ENTER();
    LOCK();
    pr_camera* c = NULL;
    prResponse r = connected_camera(CameraHandle, &c);
    if (r)
        return unlock_with(r);
    if (!c->viewfinder)
        return unlock_with(PR_INVALID_FN_CALL);
    c->viewfinder = 0;
    post_event_locked(c, prPTP_EVENT_ABORT_PC_EVF, 0, 0, 0);
    return unlock_with(PR_OK);
}

PRAPI prResponse PR_RC_DoAeAfAwb(prHandle CameraHandle, prUInt32 ResetFlag)
{
    SIMCAM_ENTER();
    LOCK();
    pr_camera* c = NULL;
    prResponse r = connected_camera(CameraHandle, &c);
    if (r)
        return unlock_with(r);
    if (!c->release_control)
        return unlock_with(PR_INVALID_FN_CALL);
    return unlock_with((ResetFlag == 0 || (ResetFlag & ~7u)) ? PR_INVALID_PARAMETER : PR_OK);
}

PRAPI prResponse PR_RC_FocusLock(prHandle CameraHandle)
{
    SIMCAM_ENTER();
    LOCK();
    pr_camera* c = NULL;
    prResponse r = connected_camera(CameraHandle, &c);
    if (r)
        return unlock_with(r);
    return unlock_with(c->release_control ? PR_OK : PR_INVALID_FN_CALL);
}

PRAPI prResponse PR_RC_FocusUnlock(prHandle CameraHandle)
{
    SIMCAM_ENTER();
    LOCK();
    pr_camera* c = NULL;
    prResponse r = connected_camera(CameraHandle, &c);
    if (r)
        return unlock_with(r);
    return unlock_with(c->release_control ? PR_OK : PR_INVALID_FN_CALL);
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
    pr_camera* c = plugged_camera(camera);
    if (c)
        unplug_locked(c);
    return c ? 0 : -1;
}

SIMCAM_EXPORT int SimCam_SetProperty(int camera, uint32_t property, int32_t value)
{
    LOCK();
    pr_camera* c = plugged_camera(camera);
    pr_prop* p = c ? prop_find(c, (uint16_t)property) : NULL;
    if (p && p->data_type != prPTP_DATATYPE_STRING) {
        memcpy(p->value, &value, p->width);
        note_changed(c, p->code);
        post_event_locked(c, prPTP_EVENT_RC_CHANGED_BY_CAM_UI, p->code, 0, 0);
    }
    UNLOCK();
    return p ? 0 : -1;
}

SIMCAM_EXPORT int SimCam_SetAllowedValues(int camera, uint32_t property, const int32_t* values, int count)
{
    if (count < 0 || count > MAX_VALUES || (count && !values))
        return -1;
    LOCK();
    pr_camera* c = plugged_camera(camera);
    pr_prop* p = c ? prop_find(c, (uint16_t)property) : NULL;
    if (p) {
        p->form = prPTP_FORM_ENUM;
        p->value_count = count;
        for (int i = 0; i < count; ++i)
            p->values[i] = (uint32_t)values[i];
    }
    UNLOCK();
    return p ? 0 : -1;
}

SIMCAM_EXPORT int SimCam_RaiseEvent(int camera, uint32_t event, uint32_t data)
{
    LOCK();
    pr_camera* c = plugged_camera(camera);
    if (c) {
        /* The battery event carries its level in the second parameter. */
        if (event == prPTP_EVENT_CHANGE_BATTERY_STATUS)
            post_event_locked(c, (uint16_t)event, 0, data, 0);
        else
            post_event_locked(c, (uint16_t)event, data, 0, 0);
    }
    UNLOCK();
    return c ? 0 : -1;
}

SIMCAM_EXPORT int SimCam_AddCardFile(int camera, const char* folder, const char* name, uint64_t size)
{
    return -1; /* this camera's card is not reachable through the library */
}

SIMCAM_EXPORT int SimCam_SetCard(int camera, int present)
{
    LOCK();
    pr_camera* c = plugged_camera(camera);
    if (c)
        c->shots = present ? 812 : 0;
    UNLOCK();
    return c ? 0 : -1;
}

SIMCAM_EXPORT int SimCam_LiveObjects(void)
{
    LOCK();
    int n = 0;
    for (int i = 0; i < g_camera_count; ++i)
        n += g_cameras[i]->object_count + (g_cameras[i]->handle != 0);
    UNLOCK();
    return n;
}
