# The same sources, built again in another folder at another time, give the
# same program and the same release, byte for byte:
#   cmake -DBUILD=<build dir> -DSOURCE=<source dir> -DVERSION=<version> -P rebuild_elsewhere.cmake
set(copy ${BUILD}/elsewhere/a/deeper/folder)
file(REMOVE_RECURSE ${BUILD}/elsewhere)
file(MAKE_DIRECTORY ${copy})
foreach(part CMakeLists.txt src resources cmake packaging)
  file(COPY ${SOURCE}/${part} DESTINATION ${copy}/source)
endforeach()
macro(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE failed OUTPUT_QUIET)
  if(failed)
    message(FATAL_ERROR "failed: ${ARGN}")
  endif()
endmacro()
run(${CMAKE_COMMAND} -S ${copy}/source -B ${copy}/build -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF
    -DCMAKE_TOOLCHAIN_FILE=${copy}/source/cmake/toolchain-mingw.cmake)
run(${CMAKE_COMMAND} --build ${copy}/build --target dravlet-ui)
# The commit's time comes from the original's history: the copy has none.
run(${CMAKE_COMMAND} -DBUILD=${copy}/build -DSOURCE=${SOURCE} -DVERSION=${VERSION} -P ${copy}/source/cmake/release_zip.cmake)
foreach(file dravlet-ui.exe package/dravlet-ui-${VERSION}-win64.zip package/SHA256SUMS)
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${BUILD}/${file} ${copy}/build/${file} RESULT_VARIABLE differs)
  if(differs)
    message(FATAL_ERROR "${file} differs when built in ${copy}")
  endif()
endforeach()
file(REMOVE_RECURSE ${BUILD}/elsewhere)
message(STATUS "built again in another folder: dravlet-ui.exe, the zip and SHA256SUMS are the same")
