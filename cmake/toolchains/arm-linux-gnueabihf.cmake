# Debian's armhf (32-bit ARMv7, hard float):
# cmake -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/arm-linux-gnueabihf.cmake
set(CMAKE_SYSTEM_PROCESSOR arm)
set(CH_TARGET_TRIPLET arm-linux-gnueabihf)
set(CH_QEMU qemu-arm)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
