# Warnings for every target of the project, and hidden symbols: only the entry
# point leaves the plug-in library.
set(SOLVANE_WARNINGS
  $<$<CXX_COMPILER_ID:GNU,Clang>:-Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor
                                 -Wcast-align -Wunused -Woverloaded-virtual>
  $<$<CXX_COMPILER_ID:MSVC>:/W4>)

set(CMAKE_CXX_VISIBILITY_PRESET hidden)
set(CMAKE_C_VISIBILITY_PRESET hidden)
set(CMAKE_VISIBILITY_INLINES_HIDDEN ON)

option(SOLVANE_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
if(SOLVANE_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# The fuzz targets (tests/fuzz, scripts/fuzz.sh): every target instrumented for libFuzzer's coverage and checked by
# AddressSanitizer and UndefinedBehaviorSanitizer; the fuzz programs add libFuzzer's own main.
option(SOLVANE_FUZZ "Build the libFuzzer targets (clang only)" OFF)
if(SOLVANE_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "SOLVANE_FUZZ needs clang (CMAKE_CXX_COMPILER=clang++)")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# The version header, generated from the project's version (cmake/Version.h.in): "solvane/Version.h".
set(SOLVANE_GENERATED_INCLUDE_DIR ${PROJECT_BINARY_DIR}/generated)
configure_file(${PROJECT_SOURCE_DIR}/cmake/Version.h.in ${SOLVANE_GENERATED_INCLUDE_DIR}/solvane/Version.h @ONLY)

function(solvane_target_defaults target)
  target_compile_options(${target} PRIVATE ${SOLVANE_WARNINGS})
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR} ${SOLVANE_GENERATED_INCLUDE_DIR})
endfunction()
