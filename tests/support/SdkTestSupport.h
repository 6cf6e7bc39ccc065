// Helpers for the camera SDK stand-in tests: where the stand-ins are, loading one with dlopen as
// the program does, and reading a file's version note without the program's loader.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

struct VersionNote {
    uint16_t major = 0, minor = 0, release = 0, build = 0;
    bool operator==(const VersionNote&) const = default;
};

// The first 4-byte aligned note (signature, then structure version 1.0) of a file.
std::optional<VersionNote> readVersionNote(const std::string& path);

std::string sdkBinDir();
std::string sdkFaultDir(const std::string& faultCase);

// A library loaded with RTLD_NOW | RTLD_LOCAL, closed on destruction.
struct SdkLibrary {
    explicit SdkLibrary(const std::string& path);
    ~SdkLibrary();
    SdkLibrary(const SdkLibrary&) = delete;
    SdkLibrary& operator=(const SdkLibrary&) = delete;

    // Resolves a name as the loader does: a decorated "_Name@n" as "Name".
    void* resolve(const std::string& name) const;
    template <class F> F get(const std::string& name) const { return reinterpret_cast<F>(resolve(name)); }

    void* handle = nullptr;
    std::string error;
};
