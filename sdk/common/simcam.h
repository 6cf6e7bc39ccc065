/* Parts shared by the simulated cameras behind the three SDK stand-ins: the library's own event
 * thread, the fault table with its call counters, the environment, and pictures made on the fly.
 * Each stand-in links its own copy, so the three libraries keep separate state. */
#ifndef JEX4_SIMCAM_H
#define JEX4_SIMCAM_H

#include <pthread.h>
#include <stddef.h>
#include <stdint.h>

#define SIMCAM_EXPORT __attribute__((visibility("default")))

/* ---- event thread ----
 * Jobs run in the order they fall due, on the library's thread; with JEX4_SIMCAM_EVENTS=poll they
 * wait for simcam_drain (the SDK's "get event" call) on the caller's thread instead. A job that
 * never runs (the SDK stops first) is handed to its drop function, which frees what it holds. */
typedef void (*simcam_job_fn)(void* arg);

void simcam_events_start(void);
void simcam_events_stop(void);
void simcam_post(simcam_job_fn run, simcam_job_fn drop, void* arg, unsigned delay_ms);
int simcam_drain(void);           /* runs the jobs due now on the calling thread; their number */
int simcam_pending(void);         /* jobs queued or running */
int simcam_wait_idle(int timeout_ms); /* 1 when no job is left within the time */
int simcam_on_event_thread(void);
/* Runs `run` on the library's thread and waits for it, as an SDK call that delivers its data
 * through callbacks before it returns; runs it in place when there is no thread to run it or the
 * caller is that thread. */
void simcam_run_on_thread(simcam_job_fn run, void* arg);

/* ---- faults and call counters ----
 * Every entry point calls SIMCAM_ENTER(): the call is counted under its name, and a failure
 * armed for that name is returned instead of doing the work. */
void simcam_faults_reset(void);
void simcam_faults_from_env(void); /* JEX4_SIMCAM_FAIL="Name:code:count,..." */
uint32_t simcam_enter(const char* entry_point);
#define SIMCAM_ENTER()                                                                              \
    do {                                                                                            \
        uint32_t simcam_fault_ = simcam_enter(__func__);                                            \
        if (simcam_fault_)                                                                          \
            return simcam_fault_;                                                                   \
    } while (0)

/* Bytes a download may still move before the connection drops: negative means no limit. Takes
 * up to `want` bytes from the budget and returns how many may go; fewer means cut here. */
void simcam_set_transfer_budget(int64_t bytes);
uint64_t simcam_take_transfer_budget(uint64_t want, int* cut);

/* ---- control interface ----
 * simcam_control.c holds the SimCam_ functions that work alike behind every stand-in; the stand-in
 * supplies what plugging in and unplugging mean for its cameras. The library's one lock guards the
 * stand-in's cameras and the tables kept here (the cameras to plug in, the refused values). */
extern pthread_mutex_t simcam_lock;
/* SimCam_SetCameras named new cameras: while the SDK runs, the stand-in plugs them in. */
void simcam_cameras_changed_locked(const char* models);
/* The camera goes away now; 0, or -1 when there is no such camera plugged in. */
int simcam_unplug_locked(int camera);

/* The cameras to plug in when the SDK starts: SimCam_SetCameras' list, else JEX4_SIMCAM_CAMERAS,
 * else "none". */
const char* simcam_camera_models_locked(void);
/* The result armed by SimCam_RefuseValue for writing value to property; 0 when none is. */
uint32_t simcam_refusal_locked(uint32_t property, uint32_t value);

/* ---- environment ---- */
long simcam_env_long(const char* name, long fallback);
const char* simcam_env(const char* name); /* NULL when unset or empty */

/* ---- pictures ----
 * The scene every simulated camera looks at: a cross-section of a trunk with its rings, in
 * sensor coordinates, so a live-view frame and a released picture show the same wood. */
typedef struct {
    int sensor_width, sensor_height; /* the scene's coordinate system */
    double view_x, view_y, view_w, view_h; /* the part of the sensor the picture shows */
    unsigned frame;                  /* moves the scene a little, so frames differ */
    unsigned seed;                   /* picks the ring widths */
    int gray;                        /* monochrome picture */
    int r_gain, g_gain, b_gain;      /* white balance, 256 = 1.0 */
} simcam_scene;

void simcam_scene_default(simcam_scene* scene, int sensor_width, int sensor_height, unsigned seed);

/* Renders width x height pixels of the scene as packed RGB rows; the 256 x 4 histogram (Y, R, G,
 * B per level) is filled when given. Returns NULL when memory runs out. */
unsigned char* simcam_render_rgb(const simcam_scene* scene, int width, int height, uint32_t* histogram);

/* Encodes a new JPEG of the scene; 0 on success, with *out from malloc. */
int simcam_make_jpeg(const simcam_scene* scene, int width, int height, int quality, unsigned char** out,
                     size_t* size, uint32_t* histogram);

/* Encodes given RGB rows as JPEG; 0 on success, with *out from malloc. */
int simcam_encode_jpeg(const unsigned char* rgb, int width, int height, int quality, unsigned char** out,
                       size_t* size);

/* Reads a JPEG's size from its frame header; 0 on success. */
int simcam_jpeg_size(const unsigned char* data, size_t size, int* width, int* height);

#endif
