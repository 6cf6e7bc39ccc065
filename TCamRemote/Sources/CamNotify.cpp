// The SDK callbacks and the instance list. Callbacks translate the SDKs' codes and append to their
// component's queue; work that touches the component's or a back-end's state (download lists, the
// switch-off timer) travels in the queue too and runs on the GUI thread.
#include "TCamRemote/Sources/CamNotify.h"

#include "TCamRemote/Sources/CamRemote.h"
#include "TCamRemote/Sources/EDSDK.h"

#include <QFile>

#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

namespace {

// The instance list: one slot per component ever created since it was last freed. The lock is held
// while a callback works with its component, so the component cannot go away meanwhile.
std::mutex g_instanceLock;
std::vector<TCamRemote*> g_instances;

uint32_t readUInt32(const void* data, uint32_t size, uint32_t offset)
{
    if (!data || size < offset + 4)
        return 0;
    uint32_t value = 0;
    std::memcpy(&value, static_cast<const char*>(data) + offset, 4);
    return value;
}

uint16_t readUInt16(const void* data, uint32_t offset)
{
    uint16_t value = 0;
    std::memcpy(&value, static_cast<const char*>(data) + offset, 2);
    return value;
}

int slotOf(uintptr_t context)
{
    return static_cast<int>(context);
}

int eosSlotOf(const EdsVoid* context)
{
    return context ? static_cast<int>(*static_cast<const uint32_t*>(context)) : -1;
}

void queueEvent(int slot, EventSeverityType severity, EventEnumType event)
{
    TNotifyEntry entry;
    entry.Info = NotifyEvent;
    entry.Event = {severity, event};
    WithCamRemote(slot, [&](TCamRemote& c) { c.EnqueueNotification(std::move(entry)); });
}

void queueRemote(int slot, RemoteEventCallbackType event, AdditionNotifyRemoteEventType data = {},
                 std::function<void(TCamRemote&)> action = {}, bool* queued = nullptr)
{
    TNotifyEntry entry;
    entry.Info = NotifyRemote;
    entry.Remote = event;
    entry.RemoteData = data;
    entry.Action = std::move(action);
    bool done = false;
    WithCamRemote(slot, [&](TCamRemote& c) { done = c.EnqueueNotification(std::move(entry)); });
    if (queued)
        *queued = done;
}

void queuePercent(int slot, TNotifyKind kind, int percent)
{
    TNotifyEntry entry;
    entry.Info = kind;
    entry.Percent = percent;
    WithCamRemote(slot, [&](TCamRemote& c) { c.EnqueueNotification(std::move(entry)); });
}

// The camera said it will switch itself off soon: the GUI thread asks it to wait, but only for a
// component that listens to camera events.
void queueExtendShutdownTimer(int slot)
{
    TNotifyEntry entry;
    entry.Info = NotifyAction;
    entry.RequiredEvent = NotifyEvent;
    entry.Action = [](TCamRemote& c) {
        if (c.CameraInfo().CameraModel != CamModNone)
            c.DoExtendShutdownTimer();
    };
    WithCamRemote(slot, [&](TCamRemote& c) { c.EnqueueNotification(std::move(entry)); });
}

void queueViewfinderPicture(TCamRemote& c, const void* buffer, uint32_t length)
{
    TNotifyEntry entry;
    entry.Info = NotifyViewfinder;
    if (buffer && length > 0)
        entry.Jpeg = QByteArray(static_cast<const char*>(buffer), static_cast<qsizetype>(length));
    c.EnqueueNotification(std::move(entry));
}

bool remoteEventAssigned(int slot)
{
    bool assigned = false;
    WithCamRemote(slot, [&](TCamRemote& c) { assigned = c.IsEventAssigned(NotifyRemote); });
    return assigned;
}

} // namespace

// ---------------------------------------------------------------------------------------------------
// Instance list

int RegisterCamRemote(TCamRemote* component)
{
    std::lock_guard lock(g_instanceLock);
    g_instances.push_back(component);
    return static_cast<int>(g_instances.size()) - 1;
}

bool UnregisterCamRemote(int slot)
{
    std::lock_guard lock(g_instanceLock);
    if (slot >= 0 && slot < static_cast<int>(g_instances.size()))
        g_instances[slot] = nullptr;
    for (TCamRemote* c : g_instances)
        if (c)
            return false;
    g_instances.clear();
    g_instances.shrink_to_fit();
    return true;
}

void WithCamRemote(int slot, const std::function<void(TCamRemote&)>& work)
{
    std::lock_guard lock(g_instanceLock);
    if (slot < 0 || slot >= static_cast<int>(g_instances.size()) || !g_instances[slot])
        return;
    work(*g_instances[slot]);
}

int CamRemoteSlotCount()
{
    std::lock_guard lock(g_instanceLock);
    return static_cast<int>(g_instances.size());
}

void ReportProbeProgress(int slot, int Percent)
{
    queuePercent(slot, NotifyRemoteProbeParam, Percent);
}

// ---------------------------------------------------------------------------------------------------
// Older PowerShot

uint32_t CDEventCallback(uint32_t EventCode, const void* Data, uint32_t DataSize, uintptr_t Context)
{
    const int slot = slotOf(Context);
    bool listening = false;
    WithCamRemote(slot, [&](TCamRemote& c) { listening = c.IsEventAssigned(NotifyEvent); });
    if (!listening)
        return 0;

    EventSeverityType severity;
    switch ((EventCode >> 16) & 0xF) {
    case 0:
        severity = EventSeverityInfo;
        break;
    case 2:
        severity = EventSeverityWarning;
        break;
    case 4:
        severity = EventSeverityClosing;
        break;
    default:
        severity = EventSeverityNotUsed;
        break;
    }
    EventEnumType event = EventNotUsed;
    switch (EventCode & 0xFFFF) {
    case 1:
        switch (readUInt32(Data, DataSize, 0) & 0xF) {
        case 6:
            event = EventBatteryLevelNormal;
            break;
        case 4:
            event = EventBatteryLevelWeak;
            break;
        case 3:
            event = EventBatteryLevelSafetyLow;
            break;
        case 2:
            event = EventBatteryLevelLB;
            break;
        default:
            break;
        }
        break;
    case 2:
        event = EventDialChanged;
        break;
    case 3:
        event = EventCFGateOpened;
        break;
    case 4:
        event = EventBatteryCoverOpened;
        break;
    case 5:
        queueExtendShutdownTimer(slot);
        return 0;
    case 6:
        event = EventUnrecoverableError;
        break;
    case 7:
        event = EventUnkonwnCommandReceived;
        break;
    case 11:
        event = EventRemoteParameterChanged;
        break;
    case 13:
        event = EventConnectionDisappeared;
        break;
    default:
        break;
    }
    queueEvent(slot, severity, event);
    return 0;
}

uint32_t SDKRemoteEventCallback(uint32_t ReleaseCode, const void* Data, uint32_t DataSize, uintptr_t Context)
{
    const int slot = slotOf(Context);
    RemoteEventCallbackType event = RemoteEventCallbackNotUsed;
    AdditionNotifyRemoteEventType data;
    switch (ReleaseCode) {
    case 10:
        event = RemoteEventCallbackResetHWError;
        break;
    case 27:
        event = RemoteEventCallbackChangedByUI;
        break;
    case 28:
        event = RemoteEventCallbackReleaseStart;
        break;
    case 29: {
        event = RemoteEventCallbackReleaseComplete;
        data.EventValid = NotifyRemoteEventValid1;
        WithCamRemote(slot, [&](TCamRemote& c) {
            if (c.ReleaseMode() == ReleaseModeOnlyToCamera)
                return;
            const int count = static_cast<int>(readUInt32(Data, DataSize, 0));
            // Thumbnail and picture are two release events of one picture.
            data.NumOfEvents = c.ReleaseDataKind() == ReleaseDataKingTakeBothThumbAndPic ? count / 2 : count;
        });
        break;
    }
    case 30:
        event = RemoteEventCallbackCamReleaseOn;
        break;
    case 32:
        event = RemoteEventCallbackViewfinderOff;
        break;
    case 33:
        event = RemoteEventCallbackViewfinderOn;
        break;
    default:
        break;
    }
    queueRemote(slot, event, data);
    return 0;
}

uint32_t CDViewfinderCallback(const void* Buffer, uint32_t Length, uint32_t Format, uintptr_t Context)
{
    WithCamRemote(slotOf(Context), [&](TCamRemote& c) { queueViewfinderPicture(c, Buffer, Length); });
    return 0;
}

uint32_t CDRemoteGetPictureProgress(uint32_t Percent, uint32_t Status, uintptr_t Context)
{
    queuePercent(slotOf(Context), NotifyRemoteGetPicture, static_cast<int>(Percent));
    return 0;
}

uint32_t TakePictureProgress(uint32_t Percent, uint32_t Status, uintptr_t Context)
{
    queuePercent(slotOf(Context), NotifyRemoteTakePicture, static_cast<int>(Percent));
    return 0;
}

uint32_t CDGetPictureProgress(uint32_t Percent, uint32_t Status, uintptr_t Context)
{
    queuePercent(slotOf(Context), NotifyGetPicture, static_cast<int>(Percent));
    return 0;
}

// ---------------------------------------------------------------------------------------------------
// Newer PowerShot

uint32_t PREventCallback(uint32_t CameraHandle, uintptr_t Context, const void* EventRecord)
{
    if (!EventRecord)
        return 0;
    const int slot = slotOf(Context);
    const uint16_t code = readUInt16(EventRecord, 6);

    bool listening = false;
    WithCamRemote(slot, [&](TCamRemote& c) { listening = c.IsEventAssigned(NotifyEvent); });
    if (listening) {
        switch (code) {
        case 0xC001:
            queueEvent(slot, EventSeverityClosing, EventCFGateOpened);
            break;
        case 0xD001:
            queueEvent(slot, EventSeverityClosing, EventConnectionDisappeared);
            break;
        case 0xC00A:
            // The second parameter; the parameters start at byte 12.
            switch (readUInt32(EventRecord, sizeof(PRReleaseRecord), 16)) {
            case 1:
                queueEvent(slot, EventSeverityInfo, EventBatteryLevelNormal);
                break;
            case 2:
                queueEvent(slot, EventSeverityWarning, EventBatteryLevelWeak);
                break;
            case 3:
                queueEvent(slot, EventSeverityWarning, EventBatteryLevelSafetyLow);
                break;
            case 4:
                queueEvent(slot, EventSeverityClosing, EventBatteryLevelLB);
                break;
            default:
                queueEvent(slot, EventSeverityNotUsed, EventNotUsed);
                break;
            }
            break;
        default:
            break;
        }
    }

    if (!remoteEventAssigned(slot))
        return 0;
    auto keepRecord = [&] {
        PRReleaseRecord record;
        std::memcpy(record.data(), EventRecord, record.size());
        WithCamRemote(slot, [&](TCamRemote& c) {
            c.WithNotifyLock([&] { c.SharedState().PRTakenPicList.push_back(record); });
        });
    };
    switch (code) {
    case 0x4006:
    case 0xC00C:
    case 0xC00E:
        queueRemote(slot, RemoteEventCallbackChangedByUI);
        break;
    case 0xC005:
        queueRemote(slot, RemoteEventCallbackResetHWError);
        break;
    case 0xC006:
        queueRemote(slot, RemoteEventCallbackViewfinderOff);
        break;
    case 0xC007:
        queueRemote(slot, RemoteEventCallbackViewfinderOn);
        break;
    case 0xC008: {
        keepRecord();
        AdditionNotifyRemoteEventType data;
        data.EventValid = NotifyRemoteEventValid1;
        data.NumOfEvents = 1;
        queueRemote(slot, RemoteEventCallbackReleaseComplete, data);
        break;
    }
    case 0xC009:
        keepRecord();
        break;
    case 0xC00B:
        queueRemote(slot, RemoteEventCallbackCamReleaseOn);
        break;
    default:
        break;
    }
    return 0;
}

uint32_t PRGetPictureCallback(uint32_t CameraHandle, uintptr_t Context, const void* Progress)
{
    if (!Progress)
        return 0;
    const int slot = slotOf(Context);
    const uint32_t percent = readUInt32(Progress, 32, 8);
    const uint32_t length = readUInt32(Progress, 32, 16);
    const void* block = nullptr;
    std::memcpy(&block, static_cast<const char*>(Progress) + 28, sizeof block);

    queuePercent(slot, NotifyRemoteTakePicture, static_cast<int>(percent));
    WithCamRemote(slot, [&](TCamRemote& c) {
        c.WithNotifyLock([&] {
            TCamRemote::TShared& s = c.SharedState();
            if (!s.PRRemotePictureFile)
                return; // no picture file is open: nothing asked for these bytes
            if (length > 0 && block) {
                // A short write is followed by one that tells the cause. After one lost block the
                // file cannot become whole; the rest is not written.
                const char* rest = static_cast<const char*>(block);
                qint64 left = length;
                while (left > 0 && !s.PRFileWriteFailed) {
                    const qint64 written = s.PRRemotePictureFile->write(rest, left);
                    if (written <= 0)
                        s.PRFileWriteFailed = true;
                    else {
                        rest += written;
                        left -= written;
                    }
                }
                s.PRFileReceiving = true;
            } else if (length == 0 && s.PRFileReceiving) {
                // The picture is complete; RemoteGetPicture puts the file in place.
                s.PRFileReceiving = false;
                s.PRFileComplete = true;
                s.PRRemotePictureFile = nullptr;
            }
        });
    });
    return 0;
}

uint32_t PRViewfinderCallback(uint32_t CameraHandle, uintptr_t Context, uint32_t Length, const void* Buffer)
{
    WithCamRemote(slotOf(Context), [&](TCamRemote& c) {
        bool on = false;
        c.WithNotifyLock([&] {
            c.SharedState().ViewfinderMetadataInvalidated = true; // these pictures carry no metadata
            on = c.SharedState().RemoteViewfinderEnabled;
        });
        // Also with the SDK's own thread asked for, the picture goes through the queue: the handler
        // works with the GUI and must run on its thread.
        if (on)
            queueViewfinderPicture(c, Buffer, Length);
    });
    return 0;
}

// ---------------------------------------------------------------------------------------------------
// EOS

EdsError EOSPropertyEventCallback(EdsPropertyEvent inEvent, EdsPropertyID inPropertyID, EdsUInt32 inParam,
                                  EdsVoid* inContext)
{
    const int slot = eosSlotOf(inContext);
    if (inEvent == kEdsPropertyEvent_PropertyChanged)
        queueEvent(slot, EventSeverityInfo, EventRemoteParameterChanged);
    else if (inEvent == kEdsPropertyEvent_PropertyDescChanged)
        queueEvent(slot, EventSeverityInfo, EventRemoteNewSupportedParameters);
    return EDS_ERR_OK;
}

EdsError EOSStateEventCallback(EdsStateEvent inEvent, EdsUInt32 inEventData, EdsVoid* inContext)
{
    const int slot = eosSlotOf(inContext);
    switch (inEvent) {
    case kEdsStateEvent_Shutdown:
        queueEvent(slot, EventSeverityClosing, EventRemoteShutdownReasonNotKnown);
        break;
    case kEdsStateEvent_WillSoonShutDown:
        queueExtendShutdownTimer(slot);
        break;
    case kEdsStateEvent_CaptureError:
        queueEvent(slot, EventSeverityClosing, EventRemoteCaptureError);
        break;
    case kEdsStateEvent_InternalError:
        queueEvent(slot, EventSeverityClosing, EventUnrecoverableError);
        break;
    default:
        break;
    }
    return EDS_ERR_OK;
}

EdsError EOSObjectEventCallback(EdsObjectEvent inEvent, EdsBaseRef inRef, EdsVoid* inContext)
{
    const int slot = eosSlotOf(inContext);
    bool queued = false;
    if (remoteEventAssigned(slot)) {
        if (inEvent == kEdsObjectEvent_DirItemRequestTransfer) {
            AdditionNotifyRemoteEventType data;
            data.EventValid = NotifyRemoteEventValid2;
            data.TypeOfPicture = TypeOfPicturePicture;
            queueRemote(slot, RemoteEventCallbackReleaseImageReady, data,
                        [inRef](TCamRemote& c) { c.EDSDK().AddPictureToDownload(inRef); }, &queued);
        } else if (inEvent == kEdsObjectEvent_DirItemCreated) {
            EdsDirectoryItemInfo info{};
            eds::EdsGetDirectoryItemInfo(inRef, &info);
            info.szFileName[sizeof info.szFileName - 1] = 0;
            const char* dot = std::strrchr(info.szFileName, '.');
            // Only an upper-case "M" after the dot marks a movie.
            if (dot && dot[1] == 'M')
                queueRemote(slot, RemoteEventCallbackReleaseMovieReady, {},
                            [inRef](TCamRemote& c) { c.EDSDK().AddMovieToDownload(inRef); }, &queued);
            else
                queueRemote(slot, RemoteEventCallbackReleaseImageFromCFCardReady, {},
                            [inRef](TCamRemote& c) { c.EDSDK().AddCFPictureToDownload(inRef); }, &queued);
        } else {
            return EDS_ERR_OK;
        }
    }
    // Nobody will download the item: give the reference back.
    if (!queued && inRef)
        eds::EdsRelease(inRef);
    return EDS_ERR_OK;
}

EdsError EOSProgressCallback(EdsUInt32 inPercent, EdsVoid* inContext, EdsBool* outCancel)
{
    const int slot = eosSlotOf(inContext);
    const int percent = static_cast<int>(inPercent);
    FileTransferType transfer = FileTransferNotUsed;
    WithCamRemote(slot, [&](TCamRemote& c) { transfer = c.EDSDK().mTypeOfFileTransfer; });
    if (transfer == FileTransferFromCameraCard) {
        queuePercent(slot, NotifyGetPicture, percent);
        queuePercent(slot, NotifyRemoteGetMovie, percent);
    } else if (transfer == FileTransferFromCameraMemory) {
        queuePercent(slot, NotifyRemoteTakePicture, percent);
    }
    return EDS_ERR_OK;
}
