# The release: dravlet-ui-<version>-win64.zip, with the program and the
# README for Windows users, and beside it SHA256SUMS and TOOLS.txt (what
# made the bytes), in <build>/package.
#   cmake -DBUILD=<build dir> -DSOURCE=<source dir> -DVERSION=<version> -P release_zip.cmake
# The same commit gives the same bytes on any builder's machine: every entry
# bears the commit's time (SOURCE_DATE_EPOCH, when set, instead), in UTC,
# with fixed permissions, in a fixed order, without the extra fields that
# name the builder (user and group ids, local times), and zip reads no
# options from the environment (ZIP, ZIPOPT). Without the commit's time the
# release stops: any other time would differ from builder to builder.
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(epoch $ENV{SOURCE_DATE_EPOCH})
else()
  execute_process(COMMAND git -C ${SOURCE} log -1 --format=%ct OUTPUT_VARIABLE epoch ERROR_VARIABLE why
                  OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE failed)
  if(failed OR NOT epoch MATCHES "^[0-9]+$")
    message(FATAL_ERROR "The release takes its time from the commit, and git could not give it for ${SOURCE}:\n"
                        "${why}\nRun it from the project's git checkout (for one owned by another user, "
                        "git config --global --add safe.directory ${SOURCE}), or set SOURCE_DATE_EPOCH "
                        "to the commit's time in seconds.")
  endif()
endif()
set(name dravlet-ui-${VERSION}-win64.zip)
set(stage ${BUILD}/package-stage)
file(REMOVE_RECURSE ${stage} ${BUILD}/package)
file(MAKE_DIRECTORY ${stage} ${BUILD}/package)
file(COPY_FILE ${BUILD}/package-files/README.txt ${stage}/README.txt)
file(COPY_FILE ${BUILD}/dravlet-ui.exe ${stage}/dravlet-ui.exe)
foreach(entry README.txt dravlet-ui.exe)
  execute_process(COMMAND chmod 644 ${stage}/${entry})
  execute_process(COMMAND ${CMAKE_COMMAND} -E env TZ=UTC touch -d @${epoch} ${stage}/${entry} RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "could not date ${entry}")
  endif()
endforeach()
execute_process(COMMAND ${CMAKE_COMMAND} -E env --unset=ZIP --unset=ZIPOPT TZ=UTC
                        zip -q -X -D -9 ${BUILD}/package/${name} README.txt dravlet-ui.exe
                WORKING_DIRECTORY ${stage} RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "zip failed")
endif()
file(SHA256 ${BUILD}/package/${name} hash)
file(WRITE ${BUILD}/package/SHA256SUMS "${hash}  ${name}\n")
# The same bytes come from the same tools: whoever rebuilds the release
# elsewhere compares these first.
set(tools "The tools that made ${name}, each as its --version names itself:\n")
foreach(tool x86_64-w64-mingw32-g++-posix x86_64-w64-mingw32-ld x86_64-w64-mingw32-windres cmake zip)
  if(tool STREQUAL zip)
    execute_process(COMMAND zip -v OUTPUT_VARIABLE out)
    string(REGEX MATCH "This is Zip [^\n]*" line "${out}")
  else()
    execute_process(COMMAND ${tool} --version OUTPUT_VARIABLE out)
    string(REGEX MATCH "^[^\n]*" line "${out}")
  endif()
  string(APPEND tools "  ${tool}: ${line}\n")
endforeach()
execute_process(COMMAND dpkg-query -W -f "  \${Package} \${Version}\n" g++-mingw-w64-x86-64-posix
                        gcc-mingw-w64-x86-64-posix-runtime binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev cmake zip
                OUTPUT_VARIABLE packages RESULT_VARIABLE failed ERROR_QUIET)
if(NOT failed)
  string(APPEND tools "From these Debian packages:\n${packages}")
endif()
file(WRITE ${BUILD}/package/TOOLS.txt "${tools}")
file(REMOVE_RECURSE ${stage})
message(STATUS "${BUILD}/package/${name}, sha256 ${hash}")
