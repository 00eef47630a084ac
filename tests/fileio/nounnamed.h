#pragma once
// A process that cannot make unnamed files (O_TMPFILE), as on a file system without them:
// a seccomp filter answers every such open with EOPNOTSUPP, what those file systems answer.
// For a child process only (the filter stays for its life and that of the programs it
// starts). Saves then take their other way, a named temporary file.

#include <cerrno>
#include <cstddef>

#include <fcntl.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/syscall.h>

namespace nounnamed {

#if defined(__x86_64__)
constexpr unsigned kArch = AUDIT_ARCH_X86_64;
#elif defined(__aarch64__)
constexpr unsigned kArch = AUDIT_ARCH_AARCH64;
#else
constexpr unsigned kArch = 0;
#endif

// Whether this machine's filter can be written here.
inline bool Available() { return kArch != 0; }

// Installs the filter in the calling process; false when it could not.
inline bool RefuseUnnamedFiles() {
    if (kArch == 0) return false;
    // The O_TMPFILE bit of open's flags, without the O_DIRECTORY that comes with it.
    constexpr unsigned kTmpfileBit = static_cast<unsigned>(O_TMPFILE & ~O_DIRECTORY);
    sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, kArch, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_openat, 0, 2),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, args[2])),   // flags, low half
        BPF_JUMP(BPF_JMP | BPF_JSET | BPF_K, kTmpfileBit, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | (EOPNOTSUPP & SECCOMP_RET_DATA)),
    };
    sock_fprog program{static_cast<unsigned short>(sizeof filter / sizeof filter[0]), filter};
    if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) return false;
    return ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0;
}

}  // namespace nounnamed
