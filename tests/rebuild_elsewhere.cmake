# The same sources, built again by another builder (in another folder, time
# zone and umask), give the same program and the same release, byte for
# byte, also with ZIP or ZIPOPT set (zip's options from the environment);
# no zip entry carries what names a builder or any time but the release's;
# and a release whose commit time git cannot give stops:
#   cmake -DBUILD=<build dir> -DSOURCE=<source dir> -DVERSION=<version> -DPYTHON=<python3> -P rebuild_elsewhere.cmake
set(copy ${BUILD}/elsewhere/a/deeper/folder)
file(REMOVE_RECURSE ${BUILD}/elsewhere)
file(MAKE_DIRECTORY ${copy})
foreach(part CMakeLists.txt src resources cmake packaging)
  file(COPY ${SOURCE}/${part} DESTINATION ${copy}/source)
endforeach()
macro(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE failed OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(failed)
    message(FATAL_ERROR "failed: ${ARGN}\n${out}")
  endif()
endmacro()
# Another builder: fourteen hours ahead of UTC, umask 077.
set(builder ${CMAKE_COMMAND} -E env TZ=KIR-14 sh -c "umask 077 && exec \"$@\"" builder)
run(${builder} ${CMAKE_COMMAND} -S ${copy}/source -B ${copy}/build -G Ninja -DCMAKE_BUILD_TYPE=Release
    -DBUILD_TESTING=OFF -DCMAKE_TOOLCHAIN_FILE=${copy}/source/cmake/toolchain-mingw.cmake)
run(${builder} ${CMAKE_COMMAND} --build ${copy}/build --target dravlet-ui)
# The commit's time comes from the original's history: the copy has none.
run(${builder} ${CMAKE_COMMAND} -DBUILD=${copy}/build -DSOURCE=${SOURCE} -DVERSION=${VERSION}
    -P ${copy}/source/cmake/release_zip.cmake)
macro(compare what)
  foreach(file ${ARGN})
    execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${BUILD}/${file} ${copy}/build/${file} RESULT_VARIABLE differs)
    if(differs)
      message(FATAL_ERROR "${file} differs when built in ${copy} ${what}")
    endif()
  endforeach()
endmacro()
compare("" dravlet-ui.exe package/dravlet-ui-${VERSION}-win64.zip package/SHA256SUMS package/TOOLS.txt)
# zip takes options from ZIP and from ZIPOPT; -0 (store only) in either
# would change every byte of the program's entry.
foreach(variable ZIP ZIPOPT)
  run(${builder} ${CMAKE_COMMAND} -E env ${variable}=-0 ${CMAKE_COMMAND} -DBUILD=${copy}/build -DSOURCE=${SOURCE}
      -DVERSION=${VERSION} -P ${copy}/source/cmake/release_zip.cmake)
  compare("with ${variable}=-0" package/dravlet-ui-${VERSION}-win64.zip)
endforeach()
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(epoch $ENV{SOURCE_DATE_EPOCH})
else()
  execute_process(COMMAND git -C ${SOURCE} log -1 --format=%ct OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE)
endif()
run(${PYTHON} ${CMAKE_CURRENT_LIST_DIR}/zip_check.py ${BUILD}/package/dravlet-ui-${VERSION}-win64.zip ${epoch}
    README.txt dravlet-ui.exe)
# Where git cannot give the commit's time, the release stops and says why.
execute_process(COMMAND ${CMAKE_COMMAND} -E env --unset=SOURCE_DATE_EPOCH GIT_DIR=${copy}/no-git
                ${CMAKE_COMMAND} -DBUILD=${copy}/build -DSOURCE=${SOURCE} -DVERSION=${VERSION} -P ${copy}/source/cmake/release_zip.cmake
                RESULT_VARIABLE failed OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT failed OR NOT out MATCHES "takes its time from the commit")
  message(FATAL_ERROR "a release without the commit's time did not stop:\n${out}")
endif()
file(REMOVE_RECURSE ${BUILD}/elsewhere)
message(STATUS "built again by another builder: dravlet-ui.exe, the zip, SHA256SUMS and TOOLS.txt are the same, also with ZIP or ZIPOPT set; the entries carry only the release's time")
