/* Control interface of the simulated cameras behind the SDK stand-ins. Each stand-in exports these
 * functions; a test finds them with dlsym on the library the program loaded and steers the camera
 * or injects faults. Cameras are numbered as the SDK lists them (0 = first camera plugged in).
 * sdk/README.md describes each function and the environment variables read at the SDK's start. */
#ifndef JEX4_SIMCAM_CONTROL_H
#define JEX4_SIMCAM_CONTROL_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define SIMCAM_CONTROL_FUNCTIONS(X)                                                                 \
    X(void, SimCam_Reset, (void))                                                                   \
    X(void, SimCam_FailNext, (const char* entryPoint, uint32_t result, int count))                 \
    X(int, SimCam_CallCount, (const char* entryPoint))                                             \
    X(void, SimCam_DisconnectDuringTransfer, (int64_t afterBytes))                                 \
    X(int, SimCam_WaitIdle, (int timeoutMs))                                                       \
    X(int, SimCam_PendingEvents, (void))                                                           \
    X(int, SimCam_SetCameras, (const char* models))                                                \
    X(int, SimCam_Unplug, (int camera))                                                            \
    X(int, SimCam_SetProperty, (int camera, uint32_t property, int32_t value))                     \
    X(int, SimCam_SetAllowedValues, (int camera, uint32_t property, const int32_t* values, int count)) \
    X(void, SimCam_RefuseValue, (uint32_t property, int32_t value, uint32_t result))               \
    X(int, SimCam_RaiseEvent, (int camera, uint32_t event, uint32_t data))                         \
    X(int, SimCam_AddCardFile, (int camera, const char* folder, const char* name, uint64_t size))  \
    X(int, SimCam_SetCard, (int camera, int present))                                              \
    X(int, SimCam_LiveObjects, (void))

#define SIMCAM_DECLARE_PROTOTYPE(ret, name, params) __attribute__((visibility("default"))) ret name params;
#define SIMCAM_DECLARE_POINTER(ret, name, params) typedef ret(*pfn_##name) params;
SIMCAM_CONTROL_FUNCTIONS(SIMCAM_DECLARE_PROTOTYPE)
SIMCAM_CONTROL_FUNCTIONS(SIMCAM_DECLARE_POINTER)

#ifdef __cplusplus
}
#endif

#endif
