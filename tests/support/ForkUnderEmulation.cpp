// Preloaded into the test programs that run under qemu-user (tests/CMakeLists.txt). Qt starts a
// plain QProcess with clone(CLONE_PIDFD) once the kernel answers its pidfd probe, a
// waitid(P_PIDFD) on a descriptor that cannot be open, with EBADF. qemu-user 7.2 passes the probe
// on to the kernel, which has pidfds, but refuses CLONE_PIDFD with EINVAL: every program a test
// starts with a plain QProcess would fail to start. Here the probe fails as on a kernel without
// pidfds, and Qt forks as it always does for a subclass (ServiceProcess).
#include <cerrno>
#include <cstdarg>
#include <cstdlib>

#include <dlfcn.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {
// P_PIDFD of <linux/wait.h>, which glibc's headers do not name.
constexpr long pidfdIdType = 3;
} // namespace

extern "C" long syscall(long number, ...) noexcept
{
    // The most any system call takes; the ones not passed are never read by the kernel.
    long arguments[6];
    va_list list;
    va_start(list, number);
    for (long& argument : arguments) {
        argument = va_arg(list, long);
    }
    va_end(list);
    if (number == SYS_waitid && arguments[0] == pidfdIdType) {
        errno = EINVAL;
        return -1;
    }
    static const auto next = reinterpret_cast<long (*)(long, ...)>(dlsym(RTLD_NEXT, "syscall"));
    return next(number, arguments[0], arguments[1], arguments[2], arguments[3], arguments[4],
                arguments[5]);
}

// The build machine's programs that a test starts (dbus-daemon, sh) cannot load the target's
// library and would say so on their error output: only the emulated programs get it, each from
// its emulator's command line.
__attribute__((constructor)) static void keepFromChildren()
{
    unsetenv("LD_PRELOAD");
}
