# Cross build for 64-bit Windows with Debian's MinGW-w64 compilers (package
# g++-mingw-w64-x86-64-posix: the POSIX thread model, which std::thread and
# std::mutex need). Programs are linked statically, so that they run anywhere
# (and under Wine) without the MinGW runtime DLLs beside them. Tests run
# under Wine through the emulator below, in a prefix of the build's own.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QUILLMEND_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${QUILLMEND_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QUILLMEND_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${QUILLMEND_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${QUILLMEND_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Every .exe the build runs (tests, their discovery, fixture makers) goes
# through Wine with the build's own prefix.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh ${CMAKE_BINARY_DIR}/wineprefix)
