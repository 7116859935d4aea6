# Cross-compiling for Windows (i686) with Debian's mingw-w64 compilers.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(SORVANE_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)

# Doubles in SSE2 registers, as on x86-64: the x87 unit keeps 80-bit
# intermediates, so a value still in a register and the same value stored to
# memory can compare unequal (two equal date-times did). Every processor that
# runs a supported 32-bit Windows has SSE2.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")
# Up to 4 GB of address space on 64-bit Windows instead of 2 GB: a long run
# lets the browser engine grow inside our process.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-Wl,--large-address-aware")
