// Translation between the camera enumerations and the codes of the three camera libraries: Cd the
// older-PowerShot, Pr the newer-PowerShot and Eds the EOS library. For each parameter a library
// knows, <Param>From<Lib>(code) gives the enumeration value (NotUsed for a code no table lists) and
// <Lib><Param>Value(value) gives the code, or the library's no-value code for a value it lacks.
// Pure functions: no state, no calls into a library.
#pragma once

#include "TCamRemote/Sources/CamDefines.h"

#include <QtGlobal>

// --- Image quality and size -------------------------------------------------------------------
// No-value codes: Cd 0xFFFF (quality) and 0x0FFF (size), Pr 0xFF, Eds -1. The Eds codes are the
// 4-bit fields of the packed image-quality value.

RemoteFormatQualityType QualityFromCd(int code);
int CdQualityValue(RemoteFormatQualityType value);
RemoteFormatQualityType QualityFromPr(int code);
int PrQualityValue(RemoteFormatQualityType value);
RemoteFormatQualityType QualityFromEds(int code);
int EdsQualityValue(RemoteFormatQualityType value);

RemoteFormatSizeType SizeFromCd(int code);
int CdSizeValue(RemoteFormatSizeType value);
RemoteFormatSizeType SizeFromPr(int code);
int PrSizeValue(RemoteFormatSizeType value);
RemoteFormatSizeType SizeFromEds(int code);
int EdsSizeValue(RemoteFormatSizeType value);

// --- Shooting mode and drive mode -------------------------------------------------------------
// Shooting mode no-value codes: Cd 0x0FFF, Pr 0xFF, Eds -1.

RemoteFormatShootingModeType ShootingModeFromCd(int code);
int CdShootingModeValue(RemoteFormatShootingModeType value);
RemoteFormatShootingModeType ShootingModeFromPr(int code);
int PrShootingModeValue(RemoteFormatShootingModeType value);
RemoteFormatShootingModeType ShootingModeFromEds(int code);
int EdsShootingModeValue(RemoteFormatShootingModeType value);

// Pr drive mode 2 is the self-timer: its time (tenths of a second) says which one. No-value 0xFF.
RemoteFormatDriveModeType DriveModeFromPr(int code);
int PrDriveModeValue(RemoteFormatDriveModeType value);
// Self-timer time 20 is the 2-second, 100 the 10-second timer; anything else NotUsed / 0xFFFF.
RemoteFormatDriveModeType SelfTimerFromPr(int tenths);
int PrSelfTimerValue(RemoteFormatDriveModeType value);
// No-value 0, the code of single frame.
RemoteFormatDriveModeType DriveModeFromEds(int code);
int EdsDriveModeValue(RemoteFormatDriveModeType value);

// --- White balance ----------------------------------------------------------------------------
// No-value codes: Cd 0x7FFF, Pr 0xFF, Eds -10. Pr 14 also reads as FluorescentLight, written as 7.

RemoteFormatWBType WBFromCd(int code);
int CdWBValue(RemoteFormatWBType value);
RemoteFormatWBType WBFromPr(int code);
int PrWBValue(RemoteFormatWBType value);
RemoteFormatWBType WBFromEds(int code);
int EdsWBValue(RemoteFormatWBType value);

// --- Focus ------------------------------------------------------------------------------------

RemoteFormatAFModeType AFModeFromEds(int code);
int EdsAFModeValue(RemoteFormatAFModeType value); // no-value -1

RemoteFormatAFDistType AFDistFromCd(int code);
int CdAFDistValue(RemoteFormatAFDistType value); // no-value 0xFF
RemoteFormatAFDistType AFDistFromPr(int code);
int PrAFDistValue(RemoteFormatAFDistType value); // no-value 0xFF

RemoteFormatAFFocusingPointType AFFocusingPointFromPr(int code);
int PrAFFocusingPointValue(RemoteFormatAFFocusingPointType value); // no-value 0

RemoteFormatAFLightType AFLightFromPr(int code);
int PrAFLightValue(RemoteFormatAFLightType value); // On 1, every other value 0

// --- Flash, metering, colour space ------------------------------------------------------------

RemoteFormatFlashType FlashFromCd(int code);
int CdFlashValue(RemoteFormatFlashType value); // no-value 0xFF
RemoteFormatFlashType FlashFromPr(int code);
int PrFlashValue(RemoteFormatFlashType value); // no-value 0xFF

// Flash compensation +2 .. -2 in thirds: 8 .. 40, 24 for 0. No-value 0xFF.
RemoteFormatFlashCompType FlashCompFromCd(int code);
int CdFlashCompValue(RemoteFormatFlashCompType value);
RemoteFormatFlashCompType FlashCompFromPr(int code);
int PrFlashCompValue(RemoteFormatFlashCompType value);

RemoteFormatMLWeiType MLWeiFromCd(int code);
int CdMLWeiValue(RemoteFormatMLWeiType value); // no-value 0xFF
RemoteFormatMLWeiType MLWeiFromPr(int code);
int PrMLWeiValue(RemoteFormatMLWeiType value); // no-value 0xFF
RemoteFormatMLWeiType MLWeiFromEds(int code);
int EdsMLWeiValue(RemoteFormatMLWeiType value); // no-value -1

RemoteFormatColorSpaceType ColorSpaceFromEds(int code);
int EdsColorSpaceValue(RemoteFormatColorSpaceType value); // no-value -1

// --- Picture levels ---------------------------------------------------------------------------
// Signed bytes (255 reads as -1): -1 Low, 0 Default, 1 High; no-value 127. The older PowerShot
// counts sharpness the other way round: -1 is High.

RemoteFormatLevelType ContrastFromCd(int code);
int CdContrastValue(RemoteFormatLevelType value);
RemoteFormatLevelType ColorGainFromCd(int code);
int CdColorGainValue(RemoteFormatLevelType value);
RemoteFormatLevelType SharpnessFromCd(int code);
int CdSharpnessValue(RemoteFormatLevelType value);
RemoteFormatLevelType ContrastFromPr(int code);
int PrContrastValue(RemoteFormatLevelType value);
RemoteFormatLevelType ColorGainFromPr(int code);
int PrColorGainValue(RemoteFormatLevelType value);
RemoteFormatLevelType SharpnessFromPr(int code);
int PrSharpnessValue(RemoteFormatLevelType value);

// --- Exposure ---------------------------------------------------------------------------------
// Codes in thirds of a stop: one stop is 8 units, the thirds lie 3 and 5 above it.

// One pair for all three libraries. To value is an interval lookup on the unsigned 16-bit code:
// the value whose code is the largest not above it. Av: below 8 NotUsed. Tv: below 4 NotUsed, 4 to
// 15 Bulb. A value without a code gives 0xFFFF.
RemoteFormatAVType AvFromCode(int code);
int AvValue(RemoteFormatAVType value);
RemoteFormatTVType TvFromCode(int code);
int TvValue(RemoteFormatTVType value);

// ISO: 0 Auto, 64 (50) to 112 (3200); Eds adds 120 to 152 (6400 to 102400). No-value 0xFF.
RemoteFormatISOType ISOFromCd(int code);
int CdISOValue(RemoteFormatISOType value);
RemoteFormatISOType ISOFromPr(int code);
int PrISOValue(RemoteFormatISOType value);
RemoteFormatISOType ISOFromEds(int code);
int EdsISOValue(RemoteFormatISOType value);

// Exposure compensation. Cd and Pr: +2 .. -2 as 8 .. 40, 24 for 0. Eds: a signed byte of +5 .. -5
// (40 .. 216, the negative ones two's complement; sign-extended codes read the same). No-value
// 0xFF.
RemoteFormatExposureCompType ExposureCompFromCd(int code);
int CdExposureCompValue(RemoteFormatExposureCompType value);
RemoteFormatExposureCompType ExposureCompFromPr(int code);
int PrExposureCompValue(RemoteFormatExposureCompType value);
RemoteFormatExposureCompType ExposureCompFromEds(int code);
int EdsExposureCompValue(RemoteFormatExposureCompType value);

// --- Photo effect and beep --------------------------------------------------------------------
// Photo effect no-value codes: Cd 0xFFFF, Pr 0xFF, Eds 99. Beep no-value 0xFF.

RemoteFormatPhotoEffectType PhotoEffectFromCd(int code);
int CdPhotoEffectValue(RemoteFormatPhotoEffectType value);
RemoteFormatPhotoEffectType PhotoEffectFromPr(int code);
int PrPhotoEffectValue(RemoteFormatPhotoEffectType value);
RemoteFormatPhotoEffectType PhotoEffectFromEds(int code);
int EdsPhotoEffectValue(RemoteFormatPhotoEffectType value);

RemoteFormatBeepType BeepFromCd(int code);
int CdBeepValue(RemoteFormatBeepType value);
RemoteFormatBeepType BeepFromPr(int code);
int PrBeepValue(RemoteFormatBeepType value);
