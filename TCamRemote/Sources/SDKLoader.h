// Loading of the camera SDK libraries: the version notes of their files, the folders they are looked
// up in, dlopen by full path and name resolution. The binding units EDSDK, PRAPI and CDAPI describe
// their library with an SdkModule and leave the order of checks and the failure texts to this unit.
#pragma once

#include <QIODevice>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <span>

// Major.minor.release.build as the version note of a file carries it.
struct SdkFileVersion {
    int Major = 0;
    int Minor = 0;
    int Release = 0;
    int Build = 0;
    bool operator==(const SdkFileVersion&) const = default;
};

// The version note: the first 4-byte aligned block that starts with the signature 0xFEEF04BD and the
// structure version 0x00010000 and holds all 13 little-endian values. The file is read in bounded
// pieces and never beyond its end; no file, no such block or a block cut short gives none.
std::optional<SdkFileVersion> ReadFileVersionNote(const QString& path);
// The same from an open device, read from its current position in pieces of pieceBytes (a multiple
// of 4) and at most maxBytes in all.
std::optional<SdkFileVersion> ReadVersionNote(QIODevice& device, qint64 pieceBytes = 1024 * 1024,
                                              qint64 maxBytes = 256LL * 1024 * 1024);

// Folders searched for an SDK file, in order: the executable's folder, then each folder of
// JEX4_CAMERA_SDK_PATH, then each folder of LD_LIBRARY_PATH (colon-separated). Empty entries are
// skipped: the working folder is never searched.
QStringList CameraSdkSearchFolders();

// Full path of the first file of that name in the search folders; the name matches without regard
// to case, as the SDK's own file names do ("PRSDK.dll" is the library "PRSDK.DLL"), an exact match
// winning within a folder. Empty when no folder holds it.
QString FindCameraSdkFile(const QString& fileName);

// Raises std::runtime_error "<FileName> could not be found" when the file is missing or carries no
// version note, and "<FileName> is of incorrect file version. Please update the redist files from
// TCamRemote zip-file" when its file version is not exactly the given one (newer files included).
void CheckFileVersion(const QString& FileName, int Major, int Minor, int Release, int Build);

// The exported name that stands for an entry point: a decorated name "_X@n" (n decimal digits) is
// exported as "X"; any other name is itself.
QByteArray UndecoratedEntryPointName(const char* name);

// One runtime file to check before the library is loaded.
struct SdkRuntimeFile {
    const char* FileName;
    SdkFileVersion Version;
};

// One entry point and where its address goes (a function variable of the binding unit).
struct SdkEntryPoint {
    const char* Name;             // as the unit lists it, decorated names included
    void (*Assign)(void* address); // stores the address, or clears the variable when given none
};

// What a binding unit knows about its library, and its process-wide state.
struct SdkModule {
    const char* Unit;        // the binding unit, named in the error of a missing entry point
    const char* LibraryName; // the library's file name, loaded by this name
    std::span<const SdkRuntimeFile> Files;
    std::span<const SdkEntryPoint> EntryPoints;
    bool Loaded = false;
    void* Handle = nullptr;
};

// Checks every file of the library in order (the first failure ends the load), loads the library
// from the search folders and resolves every entry point; a second call after success does nothing.
// Failures raise std::runtime_error and leave the library unloaded with its variables cleared, so the
// next call checks again from the first file: "<LibraryName> could not be loaded" when the library
// cannot be opened, "<Unit>: entry point <Name> is missing in <LibraryName>" when a name is not
// exported. A loaded library is freed when the process ends, the last loaded first.
void LoadSdkLibrary(SdkModule& library);

// The chain of libraries to free when the process ends: each Close runs the procedures in the reverse
// order of their registration. The process keeps one; tests build their own.
class SdkExitChain {
public:
    using CloseProc = void (*)(void* handle);
    explicit SdkExitChain(CloseProc close);
    ~SdkExitChain();
    SdkExitChain(const SdkExitChain&) = delete;
    SdkExitChain& operator=(const SdkExitChain&) = delete;

    void Register(void* handle);
    void Close();

private:
    CloseProc m_close;
    QList<void*> m_handles; // in the order of registration
};
