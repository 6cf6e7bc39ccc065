/* The control functions whose work is the same behind every stand-in: the cameras to plug in, the
 * refused values, unplugging, reset. What differs (how a camera is plugged in or taken away) the
 * stand-in supplies through the hooks declared in simcam.h, called under the library's lock. */
#include "simcam.h"
#include "simcam_control.h"

#include <stdio.h>

pthread_mutex_t simcam_lock = PTHREAD_MUTEX_INITIALIZER;

static char g_camera_models[256];

typedef struct {
    uint32_t property;
    uint32_t value;
    uint32_t result;
} simcam_refusal;
static simcam_refusal g_refusals[32];
static int g_refusal_count;

const char* simcam_camera_models_locked(void)
{
    const char* models = g_camera_models[0] ? g_camera_models : simcam_env("JEX4_SIMCAM_CAMERAS");
    return models ? models : "none";
}

uint32_t simcam_refusal_locked(uint32_t property, uint32_t value)
{
    for (int i = 0; i < g_refusal_count; ++i)
        if (g_refusals[i].property == property && g_refusals[i].value == value)
            return g_refusals[i].result;
    return 0;
}

SIMCAM_EXPORT void SimCam_Reset(void)
{
    simcam_faults_reset();
    pthread_mutex_lock(&simcam_lock);
    g_refusal_count = 0;
    g_camera_models[0] = 0;
    pthread_mutex_unlock(&simcam_lock);
}

SIMCAM_EXPORT int SimCam_SetCameras(const char* models)
{
    if (!models)
        return -1;
    pthread_mutex_lock(&simcam_lock);
    snprintf(g_camera_models, sizeof g_camera_models, "%s", models);
    simcam_cameras_changed_locked(models);
    pthread_mutex_unlock(&simcam_lock);
    return 0;
}

SIMCAM_EXPORT int SimCam_Unplug(int camera)
{
    pthread_mutex_lock(&simcam_lock);
    const int result = simcam_unplug_locked(camera);
    pthread_mutex_unlock(&simcam_lock);
    return result;
}

SIMCAM_EXPORT void SimCam_RefuseValue(uint32_t property, int32_t value, uint32_t result)
{
    pthread_mutex_lock(&simcam_lock);
    for (int i = 0; i < g_refusal_count; ++i) {
        if (g_refusals[i].property == property && g_refusals[i].value == (uint32_t)value) {
            g_refusals[i] = g_refusals[--g_refusal_count];
            break;
        }
    }
    if (result && g_refusal_count < (int)(sizeof g_refusals / sizeof g_refusals[0]))
        g_refusals[g_refusal_count++] = (simcam_refusal){property, (uint32_t)value, result};
    pthread_mutex_unlock(&simcam_lock);
}

SIMCAM_EXPORT int SimCam_PendingEvents(void)
{
    return simcam_pending();
}
