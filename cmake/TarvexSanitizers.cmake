# Sanitizer and fuzzing instrumentation for every Tarvex target. Included from the top level
# before any target exists, so the directory-wide options below reach them all.
#   TARVEX_SANITIZE=address,undefined  checks compiled into every target (GCC or Clang)
#   TARVEX_BUILD_FUZZ=ON                Clang only: coverage for libFuzzer in every target,
#                                       address,undefined unless TARVEX_SANITIZE says otherwise
set(tarvex_sanitizers "${TARVEX_SANITIZE}")
if(tarvex_sanitizers AND NOT tarvex_sanitizers MATCHES "^[a-z-]+(,[a-z-]+)*$")
  message(FATAL_ERROR "TARVEX_SANITIZE='${TARVEX_SANITIZE}': give a comma-separated list of "
                      "sanitizer names, such as address,undefined")
endif()

if(TARVEX_BUILD_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "TARVEX_BUILD_FUZZ needs clang++ for libFuzzer "
                        "(configure with -DCMAKE_CXX_COMPILER=clang++)")
  endif()
  if(NOT tarvex_sanitizers)
    set(tarvex_sanitizers address,undefined)
  endif()
  # The libraries get the coverage hooks; only the fuzz programs link libFuzzer's main.
  add_compile_options(-fsanitize=fuzzer-no-link)
  # What gets no coverage counters and no UBSan checks (see the lists). They are named
  # relative to the build folder, where the compilers run, so that the compile commands, and
  # with them the compiler cache's entries, are the same in every clone.
  file(RELATIVE_PATH fuzz_lists ${CMAKE_BINARY_DIR} ${PROJECT_SOURCE_DIR}/tests/fuzz)
  add_compile_options(-fsanitize-coverage-ignorelist=${fuzz_lists}/coverage_ignore.txt
                      -fsanitize-ignorelist=${fuzz_lists}/sanitizer_ignore.txt)
endif()

if(tarvex_sanitizers)
  add_compile_options(-fsanitize=${tarvex_sanitizers} -fno-omit-frame-pointer
                      -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${tarvex_sanitizers} -fno-sanitize-recover=all)
  message(STATUS "Tarvex: every target built with -fsanitize=${tarvex_sanitizers}")
endif()
