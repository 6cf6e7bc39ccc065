// The two small files of the camera component, and the EOS value packing. The remote-parameter
// cache keeps the supported values a probe found, per camera model and shooting mode; the camera
// parameter file holds one set of release parameters. Both are little-endian byte records read
// whole and checked before anything is taken from them: a damaged file is never half-applied.
#pragma once

#include "TCamRemote/Sources/CamDefines.h"

#include <QByteArray>
#include <QString>

#include <cstdint>

// --- Remote-parameter cache -------------------------------------------------------------------
// 344 bytes: the magic number, then one byte (1 supported, 0 not) per entry of
// RemoteReleaseAvailParametersType in its declaration order.

inline constexpr qint32 RemoteParamCacheMagic = 317;
inline constexpr int RemoteParamCacheRecordSize = 340;
inline constexpr int RemoteParamCacheFileSize = 4 + RemoteParamCacheRecordSize;

// True when the file is a cache: its record replaces Avail, or as much of it as a file that ends
// early holds. False, Avail untouched, when the file does not exist or is not a cache (wrong
// magic, too long, a flag byte neither 0 nor 1), so the probe runs again. A file that exists but
// cannot be opened raises ECamException.
bool LoadRemoteParamCache(const QString& FileName, RemoteReleaseAvailParametersType& Avail);
// Creates the folder chain and replaces the file in one step; raises ECamException when the
// folder or the file cannot be written (an old cache is then kept as it was).
void SaveRemoteParamCache(const QString& FileName, const RemoteReleaseAvailParametersType& Avail);

// The 340-byte record itself, for the files and the tests. FromBytes is false, and Avail
// untouched, unless `bytes` is exactly one record of 0 and 1 bytes.
QByteArray RemoteParamCacheRecord(const RemoteReleaseAvailParametersType& Avail);
bool RemoteParamCacheFromRecord(const QByteArray& bytes, RemoteReleaseAvailParametersType& Avail);
// The whole file's bytes, magic included, as LoadRemoteParamCache judges them: after the magic, a
// file that ends early fills only the flags it holds and leaves the others of Avail as they were;
// a longer file, a wrong magic or a byte that is neither 0 nor 1 leaves Avail untouched.
bool RemoteParamCacheFromFileBytes(const QByteArray& bytes, RemoteReleaseAvailParametersType& Avail);

// --- Camera parameter file --------------------------------------------------------------------
// 52 bytes: the record size 48, then the 48-byte RemoteReleaseParametersType.

inline constexpr qint32 CameraRemoteParamsRecordSize = 48;
inline constexpr int CameraRemoteParamsFileSize = 4 + CameraRemoteParamsRecordSize;

// Reads and checks the whole file. A missing or unreadable file, and one that is not a parameter
// file (size, record size, an enumeration or flag byte out of range), raise ECamException; the
// latter with "Camera remote parameters file <name> is of invalid data format. Please create a
// new file."
RemoteReleaseParametersType LoadCameraRemoteParams(const QString& FileName);
// Replaces the file in one step; raises ECamException when it cannot be written.
void SaveCameraRemoteParams(const QString& FileName, const RemoteReleaseParametersType& Params);

// The 48-byte record; unused bytes are 0. FromRecord is false, and Params untouched, unless
// `bytes` is exactly one record whose enumerations and flags are in range.
QByteArray CameraRemoteParamsRecord(const RemoteReleaseParametersType& Params);
bool CameraRemoteParamsFromRecord(const QByteArray& bytes, RemoteReleaseParametersType& Params);
// The whole file's bytes, record size included, as LoadCameraRemoteParams judges them.
bool CameraRemoteParamsFromFileBytes(const QByteArray& bytes, RemoteReleaseParametersType& Params);

// --- EOS value packing ------------------------------------------------------------------------

// The image-quality property (0x100): main picture size in bits 24-31, format in 20-23 (1 JPEG,
// 2 RAW on older cameras, 6 RAW on newer ones), compression in 16-19; the second picture's size,
// format (1 JPEG, 0 none) and compression in 8-15, 4-7 and 0-3. Codes enter with their low 4 bits,
// so a value without a code becomes 0xF. `Newer`: a camera whose device subtype is not 0.
uint32_t PackEdsImageQuality(RemoteFormatQualityType CompQuality, RemoteFormatQualityType CompQualityPic2RAW,
                             RemoteFormatSizeType ImageSize, RemoteFormatSizeType ImageSizePic2RAW, bool Newer);
void UnpackEdsImageQuality(uint32_t Value, bool Newer, RemoteFormatQualityType& CompQuality,
                           RemoteFormatQualityType& CompQualityPic2RAW, RemoteFormatSizeType& ImageSize,
                           RemoteFormatSizeType& ImageSizePic2RAW);

// Live-view lens drive: Near1 1, Near2 2, Near3 3, Far1..Far3 0x8001..0x8003; any other 1.
uint32_t EdsDriveLensValue(RemoteViewFinderDriveLensType DriveLens);
// Live-view focus mode: Quick 0, Live 1, LiveFace 2, LiveMulti 3, and back from the low byte.
uint32_t EdsEvfAFModeValue(RemoteViewFinderAFModeType AFMode);
RemoteViewFinderAFModeType EvfAFModeFromEds(uint32_t Value);
// Live-view zoom: Fit 1, x5 5, x10 10.
uint32_t EdsEvfZoomValue(RemoteViewFinderZoomType Zoom);
// Shutter button: Off 0, half 1, completely 3; without focusing 0x10001 and 0x10003.
uint32_t EdsShutterButtonValue(RemoteShutterButtonType Button);
// Picture styles 0x81..0x87, user styles 0x21..0x23, computer styles 0x41..0x43; anything else is
// Standard (0x81).
uint32_t EdsPictureStyleValue(PictureStyleNumberType Style);
PictureStyleNumberType PictureStyleFromEds(uint32_t Value);
