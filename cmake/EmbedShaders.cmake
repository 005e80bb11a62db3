# Script mode: turns GLSL files into one C++ source with a string constant each.
#   cmake -DOUTPUT=<file.cpp> -DHEADER=<file.h> -DSOURCES=<a.glsl|b.glsl> -P EmbedShaders.cmake
# The constant for "prefilter.frag.glsl" is Tamrin::Solvane::Shaders::prefilter_frag.
string(REPLACE "|" ";" SOURCES "${SOURCES}")
set(decls "")
set(defs "")
foreach(src IN LISTS SOURCES)
  get_filename_component(name "${src}" NAME)
  string(REGEX REPLACE "\\.glsl$" "" name "${name}")
  string(MAKE_C_IDENTIFIER "${name}" ident)
  file(READ "${src}" hex HEX)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," bytes "${hex}")
  string(APPEND decls "extern const char* const ${ident};\n")
  string(APPEND defs "static const char ${ident}_data[] = {${bytes}'\\0'};\nconst char* const ${ident} = ${ident}_data;\n")
endforeach()
file(WRITE "${HEADER}.tmp"
  "// Generated from the GLSL files of the project. Do not edit.\n#pragma once\n"
  "namespace Tamrin { namespace Solvane { namespace Shaders {\n${decls}}}}\n")
file(WRITE "${OUTPUT}.tmp"
  "// Generated from the GLSL files of the project. Do not edit.\n#include \"ShaderSources.h\"\n"
  "namespace Tamrin { namespace Solvane { namespace Shaders {\n${defs}}}}\n")
execute_process(COMMAND ${CMAKE_COMMAND} -E copy_if_different "${HEADER}.tmp" "${HEADER}")
execute_process(COMMAND ${CMAKE_COMMAND} -E copy_if_different "${OUTPUT}.tmp" "${OUTPUT}")
file(REMOVE "${HEADER}.tmp" "${OUTPUT}.tmp")
