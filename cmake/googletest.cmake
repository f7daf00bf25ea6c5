# GoogleTest for the cross build, from the sources Debian's googletest package
# installs: the system's libgtest is built for Linux.
set(BCU_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest's sources")
if(NOT EXISTS ${BCU_GTEST_SOURCE}/CMakeLists.txt)
  message(FATAL_ERROR "GoogleTest's sources are not in ${BCU_GTEST_SOURCE}: "
                      "scripts/install-deps.sh --windows installs them")
endif()
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
# GoogleTest's own warnings are not ours to fail on.
add_subdirectory(${BCU_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
foreach(target gtest gtest_main)
  target_compile_options(${target} PRIVATE -Wno-error)
endforeach()
include(GoogleTest)
