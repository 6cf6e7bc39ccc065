/* The simulated EOS cameras: two models (one of the newer kind with live view and picture styles,
 * one of the older kind without), their properties with the values each accepts, the card with
 * its folders, released pictures made on the fly for the image quality set, live-view frames, and
 * the simulated RAW files with their development. Every routine runs under the library's lock. */
#include "eds_internal.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <time.h>

/* ---- models ---- */

static const eds_model g_models[] = {
    {"live", "EOS SimCam Live", 1, 3888, 2592, {{3888, 2592}, {2816, 1880}, {1936, 1288}}, 960, 640, 1, 1, 1, 0, 9},
    {"classic", "EOS SimCam Classic", 0, 3072, 2048, {{3072, 2048}, {2496, 1664}, {1728, 1152}}, 0, 0, 0, 0, 0, 1, 7},
};

const eds_model* eds_model_find(const char* key)
{
    for (size_t i = 0; i < sizeof g_models / sizeof g_models[0]; ++i)
        if (strcmp(g_models[i].key, key) == 0)
            return &g_models[i];
    return NULL;
}

/* The size and quality codes of the packed image quality (bits 24-27 size, 16-19 compression). */
static int quality_size_index(uint32_t code)
{
    switch (code) {
    case 0: return 0;
    case 1:
    case 5: return 1;
    case 2:
    case 6: return 2;
    default: return -1;
    }
}

static int jpeg_quality_of(uint32_t compression, int newer)
{
    switch (compression) {
    case 2: return 80;  /* normal */
    case 3: return 92;  /* fine */
    case 5: return 97;  /* superfine */
    case 0: return newer ? 97 : 92;
    default: return 92;
    }
}

/* Allowed image-quality values: JPEG large/medium/small in fine and normal, RAW, RAW with a large
 * fine JPEG. The newer kind marks "no second picture" with 0xFF0F (JPEG) and 0x0F0F (RAW). */
static int quality_values(const eds_model* m, int32_t* out)
{
    int n = 0;
    const uint32_t jpeg_low = m->sub_type ? 0xFF0Fu : 0u;
    for (uint32_t size = 0; size < 3; ++size)
        for (uint32_t comp = 2; comp <= 3; ++comp)
            out[n++] = (int32_t)((size << 24) | 0x100000u | (comp << 16) | jpeg_low);
    const uint32_t raw = (m->sub_type ? 0x600000u : 0x200000u) | 0x40000u;
    out[n++] = (int32_t)(raw | (m->sub_type ? 0x0F0Fu : 0u));
    out[n++] = (int32_t)(raw | 0x10u | 3u); /* with a large fine JPEG */
    return n;
}

/* ---- properties ---- */

static eds_prop* prop_add(eds_camera* c, EdsPropertyID id, EdsDataType type, uint32_t size, int writable)
{
    if (c->prop_count == (int)(sizeof c->props / sizeof c->props[0]))
        return NULL;
    eds_prop* p = &c->props[c->prop_count++];
    memset(p, 0, sizeof *p);
    p->id = id;
    p->type = type;
    p->size = size;
    p->writable = writable;
    p->data = calloc(1, size);
    return p;
}

static void prop_u32(eds_prop* p, uint32_t v)
{
    if (p && p->size >= 4)
        memcpy(p->data, &v, 4);
}

static void prop_text(eds_prop* p, const char* text)
{
    if (!p)
        return;
    snprintf((char*)p->data, p->size, "%s", text);
}

static void prop_allow(eds_prop* p, const int32_t* values, int count)
{
    if (!p)
        return;
    if (count > EDS_MAX_DESC_ELEMENTS)
        count = EDS_MAX_DESC_ELEMENTS;
    memcpy(p->values, values, (size_t)count * sizeof(int32_t));
    p->value_count = count;
}

static void prop_range(eds_prop* p, int32_t min, int32_t max)
{
    if (!p)
        return;
    p->has_range = 1;
    p->min = min;
    p->max = max;
}

/* Codes in thirds of a stop from `from` to `to`: a stop is 8 units, its thirds lie 3 and 5 above. */
static int thirds(int32_t from, int32_t to, int32_t* out)
{
    int n = 0;
    for (int32_t stop = from & ~7; stop <= to; stop += 8) {
        const int32_t steps[3] = {stop, stop + 3, stop + 5};
        for (int i = 0; i < 3; ++i)
            if (steps[i] >= from && steps[i] <= to)
                out[n++] = steps[i];
    }
    return n;
}

eds_camera* eds_camera_new(int id, const eds_model* m)
{
    eds_camera* c = calloc(1, sizeof *c);
    if (!c)
        return NULL;
    c->id = id;
    c->model = m;
    c->plugged = 1;
    c->next_number = 1;
    c->card_capacity = 8000000000ull;

    int32_t v[EDS_MAX_DESC_ELEMENTS];
    int n;
    char text[64];

    prop_text(prop_add(c, kEdsPropID_ProductName, kEdsDataType_String, 32, 0), m->description);
    prop_add(c, kEdsPropID_OwnerName, kEdsDataType_String, 32, 1);
    prop_text(prop_add(c, kEdsPropID_MakerName, kEdsDataType_String, 32, 0), "SimCam");
    {
        eds_prop* p = prop_add(c, kEdsPropID_DateTime, kEdsDataType_Time, sizeof(EdsTime), 1);
        time_t now = time(NULL);
        struct tm tm;
        gmtime_r(&now, &tm);
        EdsTime t = {(EdsUInt32)tm.tm_year + 1900, (EdsUInt32)tm.tm_mon + 1, (EdsUInt32)tm.tm_mday,
                     (EdsUInt32)tm.tm_hour, (EdsUInt32)tm.tm_min, (EdsUInt32)tm.tm_sec, 0};
        if (p)
            memcpy(p->data, &t, sizeof t);
    }
    prop_text(prop_add(c, kEdsPropID_FirmwareVersion, kEdsDataType_String, 32, 0), m->sub_type ? "2.1.2" : "1.1.1");
    prop_u32(prop_add(c, kEdsPropID_BatteryLevel, kEdsDataType_UInt32, 4, 0),
             (uint32_t)simcam_env_long("JEX4_SIMCAM_BATTERY", (long)0xFFFFFFFFu));
    {
        eds_prop* p = prop_add(c, kEdsPropID_SaveTo, kEdsDataType_UInt32, 4, 1);
        prop_u32(p, kEdsSaveTo_Camera);
        const int32_t to[] = {1, 2, 3};
        prop_allow(p, to, 3);
    }
    snprintf(text, sizeof text, "%010u", 1234500u + (unsigned)id);
    prop_text(prop_add(c, kEdsPropID_BodyIDEx, kEdsDataType_String, 32, 0), text);

    {
        eds_prop* p = prop_add(c, kEdsPropID_ImageQuality, kEdsDataType_UInt32, 4, 1);
        n = quality_values(m, v);
        prop_allow(p, v, n);
        prop_u32(p, (uint32_t)v[1]); /* large fine */
    }
    prop_add(c, kEdsPropID_FocusInfo, kEdsDataType_FocusInfo, 4120, 0);
    {
        eds_prop* p = prop_add(c, kEdsPropID_WhiteBalance, kEdsDataType_Int32, 4, 1);
        const int32_t wb[] = {0, 1, 2, 3, 4, 5, 6, 8, 9};
        prop_allow(p, wb, m->sub_type ? 9 : 8); /* the older kind has no colour temperature */
        prop_u32(p, 0);
    }
    if (m->sub_type) {
        eds_prop* p = prop_add(c, kEdsPropID_ColorTemperature, kEdsDataType_UInt32, 4, 1);
        prop_range(p, 2500, 10000);
        prop_u32(p, 5200);
    }
    if (m->has_wb_shift) {
        eds_prop* p = prop_add(c, kEdsPropID_WhiteBalanceShift, kEdsDataType_Int32_Array, 8, 1);
        prop_range(p, -9, 9);
    }
    {
        eds_prop* p = prop_add(c, kEdsPropID_ColorSpace, kEdsDataType_UInt32, 4, 1);
        const int32_t cs[] = {1, 2};
        prop_allow(p, cs, 2);
        prop_u32(p, 1);
    }
    if (m->has_photo_effect) {
        eds_prop* p = prop_add(c, kEdsPropID_PhotoEffect, kEdsDataType_UInt32, 4, 1);
        const int32_t fx[] = {0, 5};
        prop_allow(p, fx, 2);
    }
    if (m->has_picture_style) {
        eds_prop* p = prop_add(c, kEdsPropID_PictureStyle, kEdsDataType_UInt32, 4, 1);
        const int32_t ps[] = {0x81, 0x82, 0x83, 0x84, 0x85, 0x86, 0x87, 0x21, 0x22, 0x23};
        prop_allow(p, ps, 10);
        prop_u32(p, 0x81);
        p = prop_add(c, kEdsPropID_PictureStyleDesc, kEdsDataType_PictureStyleDesc, 24, 1);
        if (p) {
            const int32_t desc[6] = {0, 3, 0, 0, -1, -1}; /* contrast, sharpness, saturation, tone, filter, toning */
            memcpy(p->data, desc, sizeof desc);
        }
    }
    {
        eds_prop* p = prop_add(c, kEdsPropID_AEMode, kEdsDataType_UInt32, 4, 1);
        const int32_t live[] = {0, 1, 2, 3, 4, 5, 9, 12, 13, 14, 11, 23, 15, 19, 22};
        const int32_t classic[] = {0, 1, 2, 3, 4, 5, 9, 12, 13, 14, 11, 23, 15};
        if (m->sub_type)
            prop_allow(p, live, sizeof live / sizeof live[0]);
        else
            prop_allow(p, classic, sizeof classic / sizeof classic[0]);
        prop_u32(p, 3); /* manual: a copy stand wants fixed exposure */
    }
    {
        eds_prop* p = prop_add(c, kEdsPropID_DriveMode, kEdsDataType_UInt32, 4, 1);
        const int32_t live[] = {0, 1, 4, 5, 16, 17};
        const int32_t classic[] = {0, 1, 16, 17};
        if (m->sub_type)
            prop_allow(p, live, 6);
        else
            prop_allow(p, classic, 4);
    }
    {
        eds_prop* p = prop_add(c, kEdsPropID_ISOSpeed, kEdsDataType_UInt32, 4, 1);
        v[0] = 0;
        n = 1 + thirds(72, m->sub_type ? 112 : 104, v + 1);
        if (m->sub_type)
            v[n++] = 120;
        prop_allow(p, v, n);
        prop_u32(p, 72);
    }
    {
        eds_prop* p = prop_add(c, kEdsPropID_MeteringMode, kEdsDataType_UInt32, 4, 1);
        const int32_t mm[] = {1, 3, 4, 5};
        prop_allow(p, mm, 4);
        prop_u32(p, 3);
    }
    {
        eds_prop* p = prop_add(c, kEdsPropID_AFMode, kEdsDataType_UInt32, 4, 1);
        const int32_t af[] = {0, 1, 2};
        prop_allow(p, af, 3);
    }
    {
        eds_prop* p = prop_add(c, kEdsPropID_Av, kEdsDataType_UInt32, 4, 1);
        n = thirds(40, 88, v); /* f/4 to f/22 */
        prop_allow(p, v, n);
        prop_u32(p, 56);
    }
    {
        eds_prop* p = prop_add(c, kEdsPropID_Tv, kEdsDataType_UInt32, 4, 1);
        v[0] = 4; /* bulb */
        n = 1 + thirds(16, m->sub_type ? 160 : 152, v + 1);
        prop_allow(p, v, n);
        prop_u32(p, 88);
    }
    {
        eds_prop* p = prop_add(c, kEdsPropID_ExposureCompensation, kEdsDataType_UInt32, 4, 1);
        n = 0;
        const int32_t up[] = {0, 3, 5, 8, 11, 13, 16, 19, 21, 24};
        for (int i = 9; i >= 1; --i)
            v[n++] = (256 - up[i]) & 0xFF;
        for (int i = 0; i < 10; ++i)
            v[n++] = up[i];
        prop_allow(p, v, n);
    }
    prop_add(c, kEdsPropID_AvailableShots, kEdsDataType_UInt32, 4, 0);

    if (m->has_live_view) {
        eds_prop* p = prop_add(c, kEdsPropID_Evf_OutputDevice, kEdsDataType_UInt32, 4, 1);
        const int32_t out[] = {0, 1, 2, 3};
        prop_allow(p, out, 4);
        p = prop_add(c, kEdsPropID_Evf_Mode, kEdsDataType_UInt32, 4, 1);
        const int32_t onoff[] = {0, 1};
        prop_allow(p, onoff, 2);
        p = prop_add(c, kEdsPropID_Evf_WhiteBalance, kEdsDataType_Int32, 4, 1);
        const int32_t wb[] = {0, 1, 2, 3, 4, 5, 6, 8, 9};
        prop_allow(p, wb, 9);
        p = prop_add(c, kEdsPropID_Evf_DepthOfFieldPreview, kEdsDataType_UInt32, 4, 1);
        prop_allow(p, onoff, 2);
        p = prop_add(c, kEdsPropID_Evf_Zoom, kEdsDataType_UInt32, 4, 1);
        const int32_t zoom[] = {1, 5, 10};
        prop_allow(p, zoom, 3);
        prop_u32(p, 1);
        prop_add(c, kEdsPropID_Evf_ZoomPosition, kEdsDataType_Point, sizeof(EdsPoint), 1);
        p = prop_add(c, kEdsPropID_Evf_AFMode, kEdsDataType_UInt32, 4, 1);
        const int32_t evfaf[] = {0, 1, 2, 3};
        prop_allow(p, evfaf, 4);
        p = prop_add(c, kEdsPropID_Record, kEdsDataType_UInt32, 4, 1);
        const int32_t rec[] = {0, 4};
        prop_allow(p, rec, 2);
    }

    /* A card with what a camera leaves on it: two folders of pictures, a RAW file and a movie. */
    c->card = eds_node_new("", 1);
    eds_card_add_file(c, "DCIM/100SIMCM", "IMG_0001.JPG", 0);
    eds_card_add_file(c, "DCIM/100SIMCM", "IMG_0002.JPG", 0);
    eds_card_add_file(c, "DCIM/100SIMCM", "IMG_0003.CR2", 0);
    eds_card_add_file(c, "DCIM/100SIMCM", "MVI_0004.MOV", 0);
    eds_card_add_file(c, "DCIM/101SIMCM", "IMG_0005.JPG", 0);
    c->next_number = 6;
    return c;
}

void eds_camera_free(eds_camera* c)
{
    if (!c)
        return;
    for (int i = 0; i < c->prop_count; ++i)
        free(c->props[i].data);
    for (int i = 0; i < c->transfer_count; ++i)
        eds_node_release(c->transfer[i]);
    free(c->transfer);
    if (c->card)
        eds_node_release(c->card);
    free(c);
}

eds_prop* eds_prop_find(eds_camera* c, EdsPropertyID id)
{
    for (int i = 0; i < c->prop_count; ++i)
        if (c->props[i].id == id)
            return &c->props[i];
    return NULL;
}

uint32_t eds_prop_u32(eds_camera* c, EdsPropertyID id, uint32_t fallback)
{
    eds_prop* p = eds_prop_find(c, id);
    if (!p || p->size < 4)
        return fallback;
    uint32_t v;
    memcpy(&v, p->data, 4);
    return v;
}

void eds_prop_force(eds_camera* c, EdsPropertyID id, int32_t value)
{
    eds_prop* p = eds_prop_find(c, id);
    if (p && p->size >= 4 && p->type != kEdsDataType_String)
        memcpy(p->data, &value, 4);
}

static int allowed(const eds_prop* p, int32_t value)
{
    if (p->value_count == 0)
        return !p->has_range || (value >= p->min && value <= p->max);
    for (int i = 0; i < p->value_count; ++i)
        if (p->values[i] == value)
            return 1;
    return 0;
}

EdsError eds_prop_write(eds_camera* c, eds_prop* p, uint32_t size, const void* data)
{
    if (!p->writable)
        return EDS_ERR_NOT_SUPPORTED;
    if (p->type == kEdsDataType_String) {
        /* The text with its terminating zero must fit the camera's field. */
        const char* text = data;
        size_t len = strnlen(text, size);
        if (len == size || len + 1 > p->size)
            return EDS_ERR_INVALID_LENGTH;
        memset(p->data, 0, p->size);
        memcpy(p->data, text, len);
        return EDS_ERR_OK;
    }
    if (size < p->size)
        return EDS_ERR_INVALID_LENGTH;
    if (p->id == kEdsPropID_DateTime) {
        EdsTime t;
        memcpy(&t, data, sizeof t);
        if (t.month < 1 || t.month > 12 || t.day < 1 || t.day > 31 || t.hour > 23 || t.minute > 59 || t.second > 59)
            return EDS_ERR_INVALID_DEVICEPROP_VALUE;
    } else if (p->id == kEdsPropID_WhiteBalanceShift) {
        int32_t ab[2];
        memcpy(ab, data, 8);
        if (!allowed(p, ab[0]) || !allowed(p, ab[1]))
            return EDS_ERR_INVALID_DEVICEPROP_VALUE;
    } else if (p->id == kEdsPropID_PictureStyleDesc) {
        int32_t d[6];
        memcpy(d, data, sizeof d);
        const int32_t sat_ok = d[2] == 0x7FFFFFFF || (d[2] >= -4 && d[2] <= 4);
        const int32_t tone_ok = d[3] == 0x7FFFFFFF || (d[3] >= -4 && d[3] <= 4);
        if (d[0] < -4 || d[0] > 4 || d[1] < 0 || d[1] > 7 || !sat_ok || !tone_ok)
            return EDS_ERR_INVALID_DEVICEPROP_VALUE;
    } else if (p->id == kEdsPropID_Evf_ZoomPosition) {
        EdsPoint pt;
        memcpy(&pt, data, sizeof pt);
        if (pt.x < 0 || pt.y < 0 || pt.x >= c->model->sensor_width || pt.y >= c->model->sensor_height)
            return EDS_ERR_INVALID_DEVICEPROP_VALUE;
    } else if (p->size == 4) {
        int32_t value;
        memcpy(&value, data, 4);
        if (!allowed(p, value))
            return EDS_ERR_INVALID_DEVICEPROP_VALUE;
    }
    memcpy(p->data, data, p->size);
    return EDS_ERR_OK;
}

void eds_focus_info(eds_camera* c, unsigned char* out, size_t size)
{
    /* Picture rectangle (x, y, width, height), point count, then 32 bytes per point: valid,
     * selected, in focus, rectangle. The points lie in a 3 x 3 grid around the middle. */
    memset(out, 0, size);
    uint32_t head[5] = {0, 0, (uint32_t)c->model->sensor_width, (uint32_t)c->model->sensor_height,
                        (uint32_t)c->model->focus_points};
    if (size < 20)
        return;
    memcpy(out, head, sizeof head);
    for (int i = 0; i < c->model->focus_points && 20 + 32 * (size_t)i + 32 <= size; ++i) {
        const int col = i % 3, row = i / 3;
        uint32_t frame[7] = {1, i == c->model->focus_points / 2 ? 1u : 0u, i == c->model->focus_points / 2 ? 1u : 0u,
                             (uint32_t)(c->model->sensor_width * (2 + col) / 6 - 60),
                             (uint32_t)(c->model->sensor_height * (2 + row) / 6 - 60), 120, 120};
        memcpy(out + 20 + 32 * i, frame, sizeof frame);
    }
}

EdsError eds_prop_read(eds_camera* c, eds_prop* p, uint32_t size, void* data)
{
    if (p->id == kEdsPropID_AvailableShots)
        prop_u32(p, eds_available_shots(c));
    if (p->id == kEdsPropID_FocusInfo)
        eds_focus_info(c, p->data, p->size);
    if (p->type == kEdsDataType_String) {
        if (size == 0)
            return EDS_ERR_INVALID_LENGTH;
        size_t len = strnlen((const char*)p->data, p->size);
        if (len + 1 > size)
            len = size - 1;
        memcpy(data, p->data, len);
        ((char*)data)[len] = 0;
        return EDS_ERR_OK;
    }
    if (size < p->size)
        return EDS_ERR_INVALID_LENGTH;
    memcpy(data, p->data, p->size);
    return EDS_ERR_OK;
}

/* ---- card and released pictures ---- */

eds_node* eds_node_new(const char* name, int is_folder)
{
    eds_node* n = calloc(1, sizeof *n);
    if (!n)
        return NULL;
    n->refs = 1;
    snprintf(n->name, sizeof n->name, "%s", name);
    n->is_folder = is_folder;
    n->date_time = (uint32_t)time(NULL);
    return n;
}

void eds_node_retain(eds_node* n)
{
    if (n)
        ++n->refs;
}

void eds_node_release(eds_node* n)
{
    if (!n || --n->refs > 0)
        return;
    for (int i = 0; i < n->child_count; ++i) {
        n->children[i]->parent = NULL;
        eds_node_release(n->children[i]);
    }
    free(n->children);
    free(n->data);
    free(n->thumbnail);
    free(n);
}

int eds_node_add_child(eds_node* folder, eds_node* child)
{
    if (folder->child_count == folder->child_capacity) {
        int capacity = folder->child_capacity ? folder->child_capacity * 2 : 8;
        eds_node** children = realloc(folder->children, (size_t)capacity * sizeof *children);
        if (!children)
            return -1;
        folder->children = children;
        folder->child_capacity = capacity;
    }
    folder->children[folder->child_count++] = child;
    child->parent = folder;
    return 0;
}

/* Takes a node off its folder; references handed out keep it alive, marked deleted. */
void eds_node_remove(eds_node* n)
{
    eds_node* parent = n->parent;
    if (!parent)
        return;
    for (int i = 0; i < parent->child_count; ++i) {
        if (parent->children[i] != n)
            continue;
        memmove(&parent->children[i], &parent->children[i + 1], (size_t)(parent->child_count - i - 1) * sizeof n);
        --parent->child_count;
        break;
    }
    n->parent = NULL;
    n->deleted = 1;
    for (int i = 0; i < n->child_count; ++i)
        n->children[i]->deleted = 1;
    eds_node_release(n);
}

eds_node* eds_card_folder(eds_camera* c, const char* path, int create)
{
    if (!c->card)
        return NULL;
    eds_node* at = c->card;
    char buf[EDS_MAX_NAME * 2];
    snprintf(buf, sizeof buf, "%s", path);
    char* save = NULL;
    for (char* part = strtok_r(buf, "/", &save); part; part = strtok_r(NULL, "/", &save)) {
        eds_node* next = NULL;
        for (int i = 0; i < at->child_count; ++i)
            if (at->children[i]->is_folder && strcmp(at->children[i]->name, part) == 0)
                next = at->children[i];
        if (!next) {
            if (!create)
                return NULL;
            next = eds_node_new(part, 1);
            if (!next || eds_node_add_child(at, next) != 0) {
                eds_node_release(next);
                return NULL;
            }
        }
        at = next;
    }
    return at;
}

static const char* extension(const char* name)
{
    const char* dot = strrchr(name, '.');
    return dot ? dot + 1 : "";
}

/* Format, size and picture of a file by its extension: JPEG pictures at the small size, RAW files
 * at the large size, movies as opaque bytes. */
static void describe_file(eds_camera* c, eds_node* n, uint64_t size)
{
    const char* ext = extension(n->name);
    unsigned hash = 2166136261u;
    for (const char* p = n->name; *p; ++p)
        hash = (hash ^ (unsigned char)*p) * 16777619u;
    n->seed = hash ^ (7919u * (unsigned)c->id);
    if (strcasecmp(ext, "JPG") == 0 || strcasecmp(ext, "JPEG") == 0) {
        /* Pictures found on the card are smaller than a release, which sets its own size. */
        n->format = 1;
        n->width = 1024;
        n->height = 1024 * c->model->sensor_height / c->model->sensor_width;
        n->quality = 92;
    } else if (strcasecmp(ext, "CR2") == 0 || strcasecmp(ext, "CRW") == 0) {
        n->format = 2;
        n->width = c->model->sizes[0][0];
        n->height = c->model->sizes[0][1];
        n->size = size ? size : 96 * 1024;
    } else {
        n->format = strcasecmp(ext, "MOV") == 0 ? 3 : 0;
        n->size = size ? size : 512 * 1024;
    }
}

eds_node* eds_card_add_file(eds_camera* c, const char* folder, const char* name, uint64_t size)
{
    eds_node* dir = eds_card_folder(c, folder, 1);
    eds_node* n = dir ? eds_node_new(name, 0) : NULL;
    if (!n)
        return NULL;
    describe_file(c, n, size);
    if (n->format == 1) {
        /* The size of a JPEG is known only once it is made; make it now, so the card's listing
         * and the bytes downloaded agree. */
        if (eds_node_materialise(c, n) != EDS_ERR_OK) {
            eds_node_release(n);
            return NULL;
        }
    }
    if (eds_node_add_child(dir, n) != 0) {
        eds_node_release(n);
        return NULL;
    }
    return n;
}

static uint64_t node_bytes(const eds_node* n)
{
    uint64_t total = n->is_folder ? 0 : n->size;
    for (int i = 0; i < n->child_count; ++i)
        total += node_bytes(n->children[i]);
    return total;
}

uint64_t eds_card_used(eds_camera* c)
{
    return c->card ? node_bytes(c->card) : 0;
}

uint32_t eds_available_shots(eds_camera* c)
{
    if (!c->card)
        return 0;
    uint32_t q = eds_prop_u32(c, kEdsPropID_ImageQuality, 0);
    uint32_t format = (q >> 20) & 0xF;
    int index = quality_size_index((q >> 24) & 0xF);
    uint64_t per_picture = (format == 2 || format == 6) ? 14000000u
                           : index == 2                  ? 1600000u
                           : index == 1                  ? 2800000u
                                                         : 4500000u;
    uint64_t used = eds_card_used(c);
    uint64_t free_bytes = used < c->card_capacity ? c->card_capacity - used : 0;
    return (uint32_t)(free_bytes / per_picture);
}

size_t eds_raw_header(const eds_raw* raw, unsigned char* out, size_t size)
{
    /* "SIMRAW1\0", then width, height, sensor width, sensor height and seed, little-endian. */
    if (size < 28)
        return 0;
    memcpy(out, "SIMRAW1", 8);
    const uint32_t v[5] = {(uint32_t)raw->width, (uint32_t)raw->height, (uint32_t)raw->sensor_width,
                           (uint32_t)raw->sensor_height, raw->seed};
    for (int i = 0; i < 5; ++i)
        for (int b = 0; b < 4; ++b)
            out[8 + 4 * i + b] = (unsigned char)(v[i] >> (8 * b));
    return 28;
}

int eds_raw_parse(const unsigned char* data, size_t size, eds_raw* raw)
{
    if (size < 28 || memcmp(data, "SIMRAW1", 8) != 0)
        return -1;
    uint32_t v[5];
    for (int i = 0; i < 5; ++i)
        v[i] = (uint32_t)data[8 + 4 * i] | (uint32_t)data[9 + 4 * i] << 8 | (uint32_t)data[10 + 4 * i] << 16 |
               (uint32_t)data[11 + 4 * i] << 24;
    /* Bounded, so a damaged header cannot ask for an absurd picture. */
    if (v[0] == 0 || v[1] == 0 || v[0] > 20000 || v[1] > 20000 || v[2] == 0 || v[3] == 0 || v[2] > 20000 ||
        v[3] > 20000)
        return -1;
    memset(raw, 0, sizeof *raw);
    raw->width = (int)v[0];
    raw->height = (int)v[1];
    raw->sensor_width = (int)v[2];
    raw->sensor_height = (int)v[3];
    raw->seed = v[4];
    raw->color_temperature = 5200;
    return 0;
}

EdsError eds_node_materialise(eds_camera* c, eds_node* n)
{
    if (n->data || n->is_folder)
        return EDS_ERR_OK;
    if (n->format == 1) {
        simcam_scene scene;
        simcam_scene_default(&scene, c->model->sensor_width, c->model->sensor_height, n->seed);
        unsigned char* jpeg = NULL;
        size_t size = 0;
        if (simcam_make_jpeg(&scene, n->width, n->height, n->quality, &jpeg, &size, NULL) != 0)
            return EDS_ERR_MEM_ALLOC_FAILED;
        n->data = jpeg;
        n->size = size;
        return EDS_ERR_OK;
    }
    size_t size = (size_t)n->size;
    unsigned char* data = malloc(size ? size : 1);
    if (!data)
        return EDS_ERR_MEM_ALLOC_FAILED;
    unsigned state = n->seed | 1u;
    for (size_t i = 0; i < size; ++i) {
        state = state * 1103515245u + 12345u;
        data[i] = (unsigned char)(state >> 16);
    }
    if (n->format == 2) {
        eds_raw raw = {n->width, n->height, c->model->sensor_width, c->model->sensor_height, n->seed, 0, 5200};
        eds_raw_header(&raw, data, size);
    } else if (n->format == 3 && size >= 12) {
        memcpy(data, "\0\0\0\x14" "ftypqt  ", 12);
    }
    n->data = data;
    return EDS_ERR_OK;
}

EdsError eds_node_thumbnail(eds_camera* c, eds_node* n)
{
    if (n->thumbnail)
        return EDS_ERR_OK;
    if (n->is_folder || (n->format != 1 && n->format != 2))
        return EDS_ERR_NOT_SUPPORTED;
    simcam_scene scene;
    simcam_scene_default(&scene, c->model->sensor_width, c->model->sensor_height, n->seed);
    return simcam_make_jpeg(&scene, 160, 120, 80, &n->thumbnail, &n->thumbnail_size, NULL) == 0
               ? EDS_ERR_OK
               : EDS_ERR_MEM_ALLOC_FAILED;
}

/* Makes the pictures of one release for the image quality set: a JPEG, a RAW file, or both. */
int eds_release_pictures(eds_camera* c, eds_node** out, int max)
{
    const uint32_t q = eds_prop_u32(c, kEdsPropID_ImageQuality, 0);
    const int newer = c->model->sub_type != 0;
    const uint32_t format = (q >> 20) & 0xF, second = (q >> 4) & 0xF;
    const unsigned number = c->next_number++;
    int count = 0;
    char name[32];
    if (format == 2 || format == 6) {
        snprintf(name, sizeof name, "IMG_%04u.CR2", number % 10000);
        eds_node* raw = eds_node_new(name, 0);
        if (raw && count < max) {
            describe_file(c, raw, 0);
            out[count++] = raw;
        }
    }
    const int jpeg_main = format == 1;
    if ((jpeg_main || second == 1) && count < max) {
        snprintf(name, sizeof name, "IMG_%04u.JPG", number % 10000);
        eds_node* jpeg = eds_node_new(name, 0);
        if (jpeg) {
            describe_file(c, jpeg, 0);
            const uint32_t size_code = jpeg_main ? (q >> 24) & 0xF : (q >> 8) & 0xF;
            const uint32_t compression = jpeg_main ? (q >> 16) & 0xF : q & 0xF;
            int index = quality_size_index(size_code);
            if (index < 0)
                index = 0;
            jpeg->width = c->model->sizes[index][0];
            jpeg->height = c->model->sizes[index][1];
            jpeg->quality = jpeg_quality_of(compression, newer);
            out[count++] = jpeg;
        }
    }
    for (int i = 0; i < count; ++i) {
        if (eds_node_materialise(c, out[i]) != EDS_ERR_OK) {
            for (int j = 0; j < count; ++j)
                eds_node_release(out[j]);
            return 0;
        }
    }
    return count;
}

int eds_transfer_add(eds_camera* c, eds_node* n)
{
    if (c->transfer_count == c->transfer_capacity) {
        int capacity = c->transfer_capacity ? c->transfer_capacity * 2 : 8;
        eds_node** list = realloc(c->transfer, (size_t)capacity * sizeof *list);
        if (!list)
            return -1;
        c->transfer = list;
        c->transfer_capacity = capacity;
    }
    c->transfer[c->transfer_count++] = n;
    eds_node_retain(n);
    return 0;
}

void eds_transfer_remove(eds_camera* c, eds_node* n)
{
    for (int i = 0; i < c->transfer_count; ++i) {
        if (c->transfer[i] != n)
            continue;
        memmove(&c->transfer[i], &c->transfer[i + 1], (size_t)(c->transfer_count - i - 1) * sizeof n);
        --c->transfer_count;
        eds_node_release(n);
        return;
    }
}

/* ---- live view ---- */

EdsError eds_make_evf_frame(eds_camera* c, unsigned char** jpeg, size_t* size, eds_evf_meta* meta)
{
    const eds_model* m = c->model;
    uint32_t zoom = eds_prop_u32(c, kEdsPropID_Evf_Zoom, 1);
    if (zoom != 5 && zoom != 10)
        zoom = 1;
    EdsPoint pos = {0, 0};
    eds_prop* p = eds_prop_find(c, kEdsPropID_Evf_ZoomPosition);
    if (p)
        memcpy(&pos, p->data, sizeof pos);
    memset(meta, 0, sizeof *meta);
    meta->coordinate_system.width = m->sensor_width;
    meta->coordinate_system.height = m->sensor_height;
    const int zw = m->sensor_width / (int)zoom, zh = m->sensor_height / (int)zoom;
    /* The zoomed part stays on the sensor. */
    if (pos.x > m->sensor_width - zw)
        pos.x = m->sensor_width - zw;
    if (pos.y > m->sensor_height - zh)
        pos.y = m->sensor_height - zh;
    meta->zoom_position = pos;
    meta->zoom_rect.point = pos;
    meta->zoom_rect.size.width = zw;
    meta->zoom_rect.size.height = zh;
    meta->image_position = zoom == 1 ? (EdsPoint){0, 0} : pos;

    simcam_scene scene;
    simcam_scene_default(&scene, m->sensor_width, m->sensor_height, 1u + (unsigned)c->id);
    scene.frame = c->frame++;
    if (zoom != 1) {
        scene.view_x = pos.x;
        scene.view_y = pos.y;
        scene.view_w = zw;
        scene.view_h = zh;
    }
    if (simcam_make_jpeg(&scene, m->evf_width, m->evf_height, 75, jpeg, size, meta->histogram) != 0)
        return EDS_ERR_MEM_ALLOC_FAILED;
    meta->valid = 1;
    return EDS_ERR_OK;
}

/* ---- RAW development ---- */

int eds_white_balance_allowed(int32_t code)
{
    /* The developer knows the camera's settings but the computer-made ones (10 to 12). */
    switch (code) {
    case 0: case 1: case 2: case 3: case 4: case 5: case 6: case 8: case 9: return 1;
    default: return 0;
    }
}

static void white_balance_gains(const eds_raw* raw, simcam_scene* scene)
{
    int r = 256, g = 256, b = 256;
    switch (raw->white_balance) {
    case 2: r = 282; b = 230; break;  /* cloudy */
    case 3: r = 180; g = 230; b = 358; break; /* tungsten */
    case 4: r = 218; b = 307; break;  /* fluorescent */
    case 5: r = 269; b = 243; break;  /* flash */
    case 6: r = 230; b = 282; break;  /* fluorescent light */
    case 8: r = 294; b = 218; break;  /* shade */
    case 9: {
        int k = raw->color_temperature > 0 ? raw->color_temperature : 5200;
        r = 256 * k / 5200;
        b = 256 * 5200 / k;
        break;
    }
    default: break;
    }
    scene->r_gain = r;
    scene->g_gain = g;
    scene->b_gain = b;
}

static void put16(unsigned char* p, uint32_t v)
{
    p[0] = (unsigned char)v;
    p[1] = (unsigned char)(v >> 8);
}

static void put32(unsigned char* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = (unsigned char)(v >> (8 * i));
}

/* A baseline little-endian TIFF: one uncompressed RGB strip of 8 or 16 bits per sample. */
static EdsError make_tiff(const unsigned char* rgb, int width, int height, int sixteen, unsigned char** out, size_t* size)
{
    const int entries = 10;
    const size_t ifd = 8, bits_at = ifd + 2 + (size_t)entries * 12 + 4, strip_at = bits_at + 8;
    const size_t strip = (size_t)width * (size_t)height * 3 * (sixteen ? 2 : 1);
    unsigned char* t = calloc(1, strip_at + strip);
    if (!t)
        return EDS_ERR_MEM_ALLOC_FAILED;
    memcpy(t, "II*\0", 4);
    put32(t + 4, (uint32_t)ifd);
    put16(t + ifd, (uint32_t)entries);
    const uint32_t tags[10][4] = {
        {256, 4, 1, (uint32_t)width},      {257, 4, 1, (uint32_t)height},  {258, 3, 3, (uint32_t)bits_at},
        {259, 3, 1, 1},                    {262, 3, 1, 2},                 {273, 4, 1, (uint32_t)strip_at},
        {277, 3, 1, 3},                    {278, 4, 1, (uint32_t)height},  {279, 4, 1, (uint32_t)strip},
        {284, 3, 1, 1},
    };
    for (int i = 0; i < entries; ++i) {
        unsigned char* e = t + ifd + 2 + 12 * i;
        put16(e, tags[i][0]);
        put16(e + 2, tags[i][1]);
        put32(e + 4, tags[i][2]);
        if (tags[i][1] == 3 && tags[i][2] == 1)
            put16(e + 8, tags[i][3]);
        else
            put32(e + 8, tags[i][3]);
    }
    for (int i = 0; i < 3; ++i)
        put16(t + bits_at + 2 * i, sixteen ? 16 : 8);
    unsigned char* px = t + strip_at;
    const size_t samples = (size_t)width * (size_t)height * 3;
    for (size_t i = 0; i < samples; ++i) {
        if (sixteen)
            put16(px + 2 * i, (uint32_t)rgb[i] * 257u);
        else
            px[i] = rgb[i];
    }
    *out = t;
    *size = strip_at + strip;
    return EDS_ERR_OK;
}

EdsError eds_develop(const eds_raw* raw, EdsTargetImageType type, int jpeg_quality, unsigned char** out, size_t* size)
{
    *out = NULL;
    *size = 0;
    if (type != kEdsTargetImageType_Jpeg && type != kEdsTargetImageType_TIFF && type != kEdsTargetImageType_TIFF16)
        return EDS_ERR_INVALID_PARAMETER;
    simcam_scene scene;
    simcam_scene_default(&scene, raw->sensor_width, raw->sensor_height, raw->seed);
    white_balance_gains(raw, &scene);
    unsigned char* rgb = simcam_render_rgb(&scene, raw->width, raw->height, NULL);
    if (!rgb)
        return EDS_ERR_MEM_ALLOC_FAILED;
    EdsError err = EDS_ERR_OK;
    if (type == kEdsTargetImageType_Jpeg) {
        /* Qualities 1 to 10 are the developer's scale; larger ones are percent. */
        int q = jpeg_quality <= 0 ? 90 : jpeg_quality <= 10 ? jpeg_quality * 10 : jpeg_quality > 100 ? 100 : jpeg_quality;
        if (simcam_encode_jpeg(rgb, raw->width, raw->height, q, out, size) != 0)
            err = EDS_ERR_MEM_ALLOC_FAILED;
    } else {
        err = make_tiff(rgb, raw->width, raw->height, type == kEdsTargetImageType_TIFF16, out, size);
    }
    free(rgb);
    return err;
}

EdsError eds_render_image(const eds_raw* raw, EdsImageSource source, EdsTargetImageType type, EdsRect src,
                          EdsSize dst, unsigned char** out, size_t* size)
{
    *out = NULL;
    *size = 0;
    if (type != kEdsTargetImageType_RGB && type != kEdsTargetImageType_RGB16)
        return EDS_ERR_INVALID_PARAMETER;
    if (dst.width <= 0 || dst.height <= 0 || dst.width > 20000 || dst.height > 20000)
        return EDS_ERR_INVALID_PARAMETER;
    int w = raw->width, h = raw->height;
    if (source == kEdsImageSrc_Thumbnail) {
        w = 160;
        h = 120;
    } else if (source == kEdsImageSrc_Preview) {
        w = raw->width / 4;
        h = raw->height / 4;
    }
    if (src.point.x < 0 || src.point.y < 0 || src.size.width <= 0 || src.size.height <= 0 ||
        src.point.x + src.size.width > w || src.point.y + src.size.height > h)
        return EDS_ERR_INVALID_PARAMETER;
    simcam_scene scene;
    simcam_scene_default(&scene, raw->sensor_width, raw->sensor_height, raw->seed);
    white_balance_gains(raw, &scene);
    const double fx = (double)raw->sensor_width / w, fy = (double)raw->sensor_height / h;
    scene.view_x = src.point.x * fx;
    scene.view_y = src.point.y * fy;
    scene.view_w = src.size.width * fx;
    scene.view_h = src.size.height * fy;
    unsigned char* rgb = simcam_render_rgb(&scene, dst.width, dst.height, NULL);
    if (!rgb)
        return EDS_ERR_MEM_ALLOC_FAILED;
    const size_t samples = (size_t)dst.width * (size_t)dst.height * 3;
    if (type == kEdsTargetImageType_RGB) {
        *out = rgb;
        *size = samples;
        return EDS_ERR_OK;
    }
    unsigned char* wide = malloc(samples * 2);
    if (!wide) {
        free(rgb);
        return EDS_ERR_MEM_ALLOC_FAILED;
    }
    for (size_t i = 0; i < samples; ++i) {
        uint16_t v = (uint16_t)(rgb[i] * 257u);
        memcpy(wide + 2 * i, &v, 2);
    }
    free(rgb);
    *out = wide;
    *size = samples * 2;
    return EDS_ERR_OK;
}
