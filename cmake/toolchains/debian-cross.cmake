# Shared by the toolchain files beside it, which set CMAKE_SYSTEM_PROCESSOR, CH_TARGET_TRIPLET and
# CH_QEMU first: Debian's cross compilers for the triplet (crossbuild-essential-<arch>) and the
# target's libraries installed beside the build machine's own as a foreign architecture
# (qtbase5-dev:<arch> and the rest; scripts/package installs them).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_C_COMPILER ${CH_TARGET_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${CH_TARGET_TRIPLET}-g++)
set(CMAKE_LIBRARY_ARCHITECTURE ${CH_TARGET_TRIPLET})
# pkgconf's personality for the triplet reads the target's .pc files only.
set(PKG_CONFIG_EXECUTABLE /usr/bin/${CH_TARGET_TRIPLET}-pkg-config CACHE FILEPATH
    "pkg-config for the target")

# The cross libc's root first, then the build machine's own, where multiarch keeps the target's
# libraries and CMake packages apart in /usr/lib/<triplet>. Programs come from the build
# machine alone: moc and gzip run here. Qt's packages name its host tools by their full path
# (/usr/lib/qt5/bin, from the native qtbase5-dev-tools), so they are the build machine's too.
set(CMAKE_FIND_ROOT_PATH /usr/${CH_TARGET_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)

# ctest runs the test programs under user-mode emulation (package qemu-user): nothing is asked of
# the kernel's binfmt handlers. The tests start the service, the simulator and chctl through the
# same command (tests/CMakeLists.txt). The programs' loader is that of the target's own
# libc6:<arch> in the build machine's root (/lib/ld-linux-*), whose libc.so.6 Qt and the other
# libraries resolve to; not the cross libc's in /usr/<triplet> (-L there): that is another build
# of glibc (libc6-<arch>-cross, behind on security updates), and its loader with the other's
# libc.so.6 hangs every program at its first thread.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CH_QEMU} -L /)
