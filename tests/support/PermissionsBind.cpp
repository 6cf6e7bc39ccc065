// Thread capabilities through the raw system calls: no library is needed for three bits.
#include "support/PermissionsBind.h"

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace testhelpers {

namespace {

constexpr unsigned kOverrides = (1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH) | (1u << CAP_FOWNER);

bool getCaps(__user_cap_data_struct (&data)[2])
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0}; // 0: the calling thread
    return syscall(SYS_capget, &header, data) == 0;
}

bool setCaps(__user_cap_data_struct (&data)[2])
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    return syscall(SYS_capset, &header, data) == 0;
}

} // namespace

PermissionsBind::PermissionsBind()
{
    __user_cap_data_struct data[2] = {};
    if (!getCaps(data))
        return;
    m_saved[0] = data[0].effective;
    m_saved[1] = data[1].effective;
    if ((data[0].effective & kOverrides) == 0) {
        m_active = true; // nothing to lay down: permissions bind already
        return;
    }
    data[0].effective &= ~kOverrides;
    m_changed = setCaps(data);
    m_active = m_changed;
}

PermissionsBind::~PermissionsBind()
{
    if (!m_changed)
        return;
    __user_cap_data_struct data[2] = {};
    if (!getCaps(data))
        return;
    data[0].effective = m_saved[0];
    data[1].effective = m_saved[1];
    setCaps(data);
}

} // namespace testhelpers
