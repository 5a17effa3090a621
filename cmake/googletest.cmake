# GoogleTest for the Windows test programs, built from Debian's sources with
# this toolchain (elsewhere an installed GTest is used). Included before the
# program's own targets: Ninja 1.11, Debian 12's, started its one long
# compile first then (61 s later when it was written last); Ninja documents
# no order, and later versions may choose another. Unoptimised: it builds in
# half the time, and nothing waits on its speed.
set(GTEST_SOURCE_DIR "/usr/src/googletest/googletest" CACHE PATH "GoogleTest sources")
if(EXISTS "${GTEST_SOURCE_DIR}/src/gtest-all.cc")
  add_library(gtest STATIC EXCLUDE_FROM_ALL ${GTEST_SOURCE_DIR}/src/gtest-all.cc)
  target_include_directories(gtest SYSTEM PUBLIC ${GTEST_SOURCE_DIR}/include PRIVATE ${GTEST_SOURCE_DIR})
  target_compile_definitions(gtest PUBLIC GTEST_HAS_PTHREAD=0)
  target_compile_options(gtest PRIVATE -O0)
else()
  find_package(GTest REQUIRED)
  add_library(gtest ALIAS GTest::gtest)
endif()
