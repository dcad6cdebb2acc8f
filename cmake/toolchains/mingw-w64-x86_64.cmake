# Cross-compiling the component for 64-bit Windows with Debian's MinGW-w64 (posix thread
# model, so that std::thread and std::mutex are available). Used by the `windows` preset.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(FERROLIFT_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${FERROLIFT_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${FERROLIFT_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${FERROLIFT_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${FERROLIFT_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
