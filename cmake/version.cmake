# Writes ZYN_BUILD_VERSION into OUTPUT: VERSION, and what `git describe --always --dirty` says when SOURCE_DIR
# is the top of a git checkout (not a tarball unpacked inside some other repository). Run at every build, so
# that a commit or an edit shows without configuring again; the header is rewritten only when its text
# changes, so an unchanged version rebuilds nothing.
# usage: cmake -DSOURCE_DIR=... -DVERSION=... -DOUTPUT=... [-DGIT=...] -P version.cmake
set(text "${VERSION}")
if(GIT)
  execute_process(COMMAND "${GIT}" -C "${SOURCE_DIR}" rev-parse --show-toplevel
                  OUTPUT_VARIABLE top RESULT_VARIABLE failed OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(NOT failed)
    file(REAL_PATH "${top}" top)
    file(REAL_PATH "${SOURCE_DIR}" source)
    if(top STREQUAL source)
      execute_process(COMMAND "${GIT}" -C "${SOURCE_DIR}" describe --always --dirty
                      OUTPUT_VARIABLE described RESULT_VARIABLE failed OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
      if(NOT failed AND described)
        set(text "${VERSION} (git ${described})")
      endif()
    endif()
  endif()
endif()
file(WRITE "${OUTPUT}.new" "#define ZYN_BUILD_VERSION \"${text}\"\n")
file(COPY_FILE "${OUTPUT}.new" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.new")
