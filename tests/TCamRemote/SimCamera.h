// The simulated camera behind an SDK stand-in (EDSDK.DLL unless told), for tests that drive the
// camera component over it: points the program's SDK search at the stand-ins and reaches the
// camera's control functions in the library the program loaded.
#pragma once

#include "TCamRemote/Sources/SDKLoader.h"

#include "simcam_control.h"

#include <QByteArray>
#include <QFile>

#include <dlfcn.h>

// Waits for a picture the simulated camera makes at full size and the program fetches allow this
// long: a sanitized build on a loaded machine needs tens of seconds for one. Only a picture that
// never comes reaches the end.
constexpr int kSimPictureFuseMs = 120000;

struct SimCamera {
#define SIMCAM_POINTER(ret, name, params) pfn_##name name = nullptr;
    SIMCAM_CONTROL_FUNCTIONS(SIMCAM_POINTER)
#undef SIMCAM_POINTER

    // Before the first scan: the program finds the stand-ins in the build's SDK folder.
    static void useStandIns() { qputenv("JEX4_CAMERA_SDK_PATH", QByteArray(JEX4_SDK_BIN_DIR)); }

    // After the first scan: resolves the control functions of the library the program loaded.
    bool attach(const QString& library = QStringLiteral("EDSDK.DLL"))
    {
        const QByteArray path = QFile::encodeName(FindCameraSdkFile(library));
        void* handle = dlopen(path.constData(), RTLD_NOW | RTLD_NOLOAD);
        if (!handle)
            return false;
#define SIMCAM_RESOLVE(ret, name, params) name = reinterpret_cast<pfn_##name>(dlsym(handle, #name));
        SIMCAM_CONTROL_FUNCTIONS(SIMCAM_RESOLVE)
#undef SIMCAM_RESOLVE
        dlclose(handle); // the program's own reference keeps it loaded
        return SimCam_RaiseEvent && SimCam_FailNext && SimCam_WaitIdle;
    }
};
