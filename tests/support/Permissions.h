// Lowering root's powers in one test thread: without the capabilities that
// override file permissions, root too meets the permissions of a file or a
// device node, so "access denied" can be tested for real.
#ifndef ZENTROVA_TESTS_SUPPORT_PERMISSIONS_H
#define ZENTROVA_TESTS_SUPPORT_PERMISSIONS_H

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdint>

#include <gtest/gtest.h>

namespace testsupport {

// Whether this thread's capabilities override file permissions.
inline void overridePermissions(bool on)
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct caps[2]{};
    ASSERT_EQ(syscall(SYS_capget, &header, caps), 0);
    const uint32_t bits = (1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH) | (1u << CAP_FOWNER);
    caps[0].effective = on ? caps[0].effective | (caps[0].permitted & bits) : caps[0].effective & ~bits;
    ASSERT_EQ(syscall(SYS_capset, &header, caps), 0);
}

} // namespace testsupport

#endif
