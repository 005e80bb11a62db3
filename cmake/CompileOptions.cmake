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
  # The generated headers ("solvane/Version.h") are every target's.
  target_include_directories(${target} PUBLIC ${SOLVANE_GENERATED_INCLUDE_DIR})
endfunction()

# A folder's headers reach only the targets that declare the dependency: each library target gets an include root of
# its own in the build folder, holding its folder (named as the sources include it, "gpu/OpenglShader.h") with links
# to its headers and nothing else, and gives that root to itself and to the targets that link it. So a header
# included without the dependency fails to compile. With no HEADERS, every header of the folder (a header added later
# needs CMake to run again: `cmake build`, which any change to a CMakeLists.txt does too).
#   solvane_include_root(TARGET FOLDER [HEADERS name.h ...])
function(solvane_include_root target folder)
  cmake_parse_arguments(PARSE_ARGV 2 ROOT "" "" "HEADERS")
  if(ROOT_HEADERS)
    set(headers ${ROOT_HEADERS})
  else()
    file(GLOB headers RELATIVE ${PROJECT_SOURCE_DIR}/${folder} ${PROJECT_SOURCE_DIR}/${folder}/*.h)
  endif()
  set(root ${CMAKE_BINARY_DIR}/include-roots/${target})
  file(REMOVE_RECURSE ${root})
  file(MAKE_DIRECTORY ${root}/${folder})
  foreach(header ${headers})
    file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${folder}/${header} ${root}/${folder}/${header} SYMBOLIC COPY_ON_ERROR)
  endforeach()
  target_include_directories(${target} PUBLIC ${root})
endfunction()
