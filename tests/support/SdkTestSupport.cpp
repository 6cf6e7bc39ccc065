// Helpers for the camera SDK stand-in tests.
#include "support/SdkTestSupport.h"

#include <dlfcn.h>

#include <fstream>
#include <iterator>
#include <vector>

namespace {

uint32_t le32(const unsigned char* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

} // namespace

std::optional<VersionNote> readVersionNote(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    for (size_t at = 0; at + 52 <= bytes.size(); at += 4) {
        if (le32(&bytes[at]) != 0xFEEF04BDu || le32(&bytes[at + 4]) != 0x00010000u)
            continue;
        const uint32_t ms = le32(&bytes[at + 8]), ls = le32(&bytes[at + 12]);
        return VersionNote{uint16_t(ms >> 16), uint16_t(ms & 0xFFFF), uint16_t(ls >> 16), uint16_t(ls & 0xFFFF)};
    }
    return std::nullopt;
}

std::string sdkBinDir()
{
    return JEX4_SDK_BIN_DIR;
}

std::string sdkFaultDir(const std::string& faultCase)
{
    return std::string(JEX4_SDK_FAULT_DIR) + "/" + faultCase;
}

SdkLibrary::SdkLibrary(const std::string& path)
{
    handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle)
        error = dlerror();
}

SdkLibrary::~SdkLibrary()
{
    if (handle)
        dlclose(handle);
}

void* SdkLibrary::resolve(const std::string& name) const
{
    std::string plain = name;
    if (plain.size() > 2 && plain[0] == '_') {
        const auto at = plain.rfind('@');
        if (at != std::string::npos)
            plain = plain.substr(1, at - 1);
    }
    return handle ? dlsym(handle, plain.c_str()) : nullptr;
}
