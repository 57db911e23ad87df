# Cross-builds the macOS configuration on Linux with LLVM 19 against a macOS SDK folder, given as
# CMAKE_OSX_SYSROOT and laid out as Xcode lays one out (System/Library/Frameworks, usr/include,
# usr/lib). Objects and static libraries only: without the SDK's libSystem and libc++ stubs no
# program can link here, so CMake's own compiler checks stop at a static library too.
set(CMAKE_SYSTEM_NAME Darwin)
set(CMAKE_SYSTEM_PROCESSOR arm64)

# The architecture comes from CMAKE_OSX_ARCHITECTURES (-arch); the triple only picks Darwin.
foreach(lang C CXX OBJC OBJCXX)
    set(CMAKE_${lang}_COMPILER_TARGET arm64-apple-darwin)
endforeach()
# Full paths: CMake looks for a compiler enabled after project() under the sysroot.
find_program(SORVANE_CLANG clang-19 REQUIRED NO_CMAKE_FIND_ROOT_PATH)
find_program(SORVANE_CLANGXX clang++-19 REQUIRED NO_CMAKE_FIND_ROOT_PATH)
set(CMAKE_C_COMPILER ${SORVANE_CLANG})
set(CMAKE_CXX_COMPILER ${SORVANE_CLANGXX})
set(CMAKE_OBJC_COMPILER ${SORVANE_CLANG})
set(CMAKE_OBJCXX_COMPILER ${SORVANE_CLANGXX})
set(CMAKE_AR llvm-ar-19)
set(CMAKE_RANLIB llvm-ranlib-19)
set(CMAKE_INSTALL_NAME_TOOL llvm-install-name-tool-19)
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)

# Programs come from this machine, headers and libraries only from the SDK; packages (nlohmann)
# from where the caller points, as a Mac developer points at Homebrew.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)
