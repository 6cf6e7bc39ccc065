// The SDK callbacks of the camera component and the process-wide instance list through which they
// find their component. A callback runs on whatever thread the SDK calls it from: it only appends a
// notification to its component's queue, under the queue's lock; the component's 25 ms dispatcher
// hands one notification per tick to its event on the GUI thread.
#pragma once

#include "TCamRemote/Sources/CamDefines.h"

#ifndef EDSDK_NO_PROTOTYPES
#define EDSDK_NO_PROTOTYPES // the SDK is reached only through the binding's function variables
#endif
#include "edsdk_api.h"

#include <QByteArray>

#include <cstdint>
#include <functional>

class TCamRemote;

// What a queue entry calls: kinds 0 to 8 are the events, NotifyAction only runs GUI-thread work that
// a callback met (a camera about to switch itself off, a picture to put on a download list).
enum TNotifyKind : int {
    NotifyEvent = 0,             // OnEvent
    NotifyViewfinder = 1,        // OnViewfinderEvent
    NotifyRemote = 2,            // OnRemoteEvent
    NotifyRemoteTakePicture = 3, // OnRemoteTakePictureEvent
    NotifyRemoteGetPicture = 4,  // OnRemoteGetPictureEvent
    NotifyRemoteGetMovie = 5,    // OnRemoteGetMovieEvent
    NotifyGetPicture = 6,        // OnGetPictureEvent
    NotifyRemoteProbeParam = 7,  // OnRemoteProbeParamEvent
    NotifyRawDevelop = 8,        // OnRawDevelopEvent
    NotifyAction = 9,
};

// One waiting notification and its payload; fields its kind does not use stay zero.
struct TNotifyEntry {
    int Info = NotifyEvent;
    EventCallbackType Event;                                     // kind 0
    QByteArray Jpeg;                                             // kind 1: one live-view picture
    RemoteEventCallbackType Remote = RemoteEventCallbackNotUsed; // kind 2
    AdditionNotifyRemoteEventType RemoteData;                    // kind 2
    int Percent = 0;                                             // kinds 3 to 8
    std::function<void(TCamRemote&)> Action; // GUI-thread work, run when the entry is taken, before its event
    int RequiredEvent = -1; // NotifyAction: the event that must be set for the entry to be queued
};

// ---- instance list ----

// Appends a slot for `component` and returns its number. Slots are never reused, so a number stays
// valid for the component's life.
int RegisterCamRemote(TCamRemote* component);
// Empties the slot; returns true when every slot is empty now (the list is then freed).
bool UnregisterCamRemote(int slot);
// Runs `work` with the component of `slot` while the component cannot go away; does nothing when the
// slot is empty or unknown. Callbacks reach their component only through this.
void WithCamRemote(int slot, const std::function<void(TCamRemote&)>& work);
// Number of slots ever handed out since the list was last freed.
int CamRemoteSlotCount();

// ---- older-PowerShot SDK callbacks (context: the slot number) ----

uint32_t CDEventCallback(uint32_t EventCode, const void* Data, uint32_t DataSize, uintptr_t Context);
uint32_t SDKRemoteEventCallback(uint32_t ReleaseCode, const void* Data, uint32_t DataSize, uintptr_t Context);
uint32_t CDViewfinderCallback(const void* Buffer, uint32_t Length, uint32_t Format, uintptr_t Context);
uint32_t CDRemoteGetPictureProgress(uint32_t Percent, uint32_t Status, uintptr_t Context);
uint32_t TakePictureProgress(uint32_t Percent, uint32_t Status, uintptr_t Context);
uint32_t CDGetPictureProgress(uint32_t Percent, uint32_t Status, uintptr_t Context);

// ---- newer-PowerShot SDK callbacks (context: the slot number) ----

// EventRecord: the 412-byte event record (length 32-bit, container type 16-bit, event code 16-bit,
// transaction 32-bit, 100 32-bit parameters).
uint32_t PREventCallback(uint32_t CameraHandle, uintptr_t Context, const void* EventRecord);
// Progress: percent done (32-bit) at byte 8, length of the data block (32-bit) at byte 16, the block's
// address at byte 28 (unaligned, as the SDK packs it).
uint32_t PRGetPictureCallback(uint32_t CameraHandle, uintptr_t Context, const void* Progress);
uint32_t PRViewfinderCallback(uint32_t CameraHandle, uintptr_t Context, uint32_t Length, const void* Buffer);

// ---- EOS SDK callbacks (context: the address of the EOS back-end's mInstanceNumber) ----

EdsError EOSPropertyEventCallback(EdsPropertyEvent inEvent, EdsPropertyID inPropertyID, EdsUInt32 inParam,
                                  EdsVoid* inContext);
EdsError EOSStateEventCallback(EdsStateEvent inEvent, EdsUInt32 inEventData, EdsVoid* inContext);
EdsError EOSObjectEventCallback(EdsObjectEvent inEvent, EdsBaseRef inRef, EdsVoid* inContext);
EdsError EOSProgressCallback(EdsUInt32 inPercent, EdsVoid* inContext, EdsBool* outCancel);

// Queues kind 7 with `Percent` for the component of `slot` when its probe-progress event is set; the
// back-ends' parameter probes report through this.
void ReportProbeProgress(int slot, int Percent);
