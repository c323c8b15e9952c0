# Reads every #include of the code against the layer table (cmake/layers.cmake)
# and fails, naming the file and line, on:
#   - an include that goes up the table (a file may include its own layer and the
#     layers below);
#   - SDL (<SDL...> or engine/sdl_internal.h) outside the window, GL context,
#     input and sound modules;
#   - a code file that no layer lists, or listed by two layers;
#   - a quoted include that is found neither beside the file nor under the root.
# Which files are read:
#   - the layer folders (engine, app, game, menus, presentation): both rules;
#   - bench/: above every layer, so only the SDL rule;
#   - tools/: the image generator stands alone and may include only tools/;
#   - server/: the score server is a program of its own, outside the layers: it
#     may include server/, the rules layer (the board's rules it replays games
#     with) and the engine's header-only code-page table, nothing
#     of the game;
#   - tests/: not read. Tests sit above every layer, and the window fixture
#     builds SDL events to drive the real window.
#
# Usage: cmake [-DNIVORA_SOURCE_DIR=<root>] -P cmake/check_includes.cmake
# Only CMake itself is needed, so it runs wherever the project builds.
cmake_minimum_required(VERSION 3.22)

if(NOT NIVORA_SOURCE_DIR)
  get_filename_component(NIVORA_SOURCE_DIR "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
endif()
set(root "${NIVORA_SOURCE_DIR}")
include("${CMAKE_CURRENT_LIST_DIR}/layers.cmake")

set(problems "")
macro(report text)
  list(APPEND problems "${text}")
endmacro()

# ---- Which layer each file is in ----
set(layerIndex 0)
set(layerFiles "")
foreach(layer IN LISTS NIVORA_LAYERS)
  nivora_layer_files("${root}" ${layer} files)
  foreach(file IN LISTS files)
    if(DEFINED LAYER_OF_${file})
      list(GET NIVORA_LAYERS ${LAYER_OF_${file}} first)
      report("${file}: listed by two layers, ${first} and ${layer}")
    else()
      set(LAYER_OF_${file} ${layerIndex})
      list(APPEND layerFiles ${file})
    endif()
  endforeach()
  math(EXPR layerIndex "${layerIndex} + 1")
endforeach()

nivora_unlayered_files("${root}" unlayered)
foreach(file IN LISTS unlayered)
  report("${file}: in no layer (add it to the layer table in cmake/layers.cmake)")
endforeach()

set(sdlModules "")
foreach(pattern IN LISTS NIVORA_SDL_MODULES)
  file(GLOB matched RELATIVE "${root}" "${root}/${pattern}")
  list(APPEND sdlModules ${matched})
endforeach()

file(GLOB benchFiles RELATIVE "${root}" "${root}/bench/*.h" "${root}/bench/*.cpp")
file(GLOB toolFiles RELATIVE "${root}" "${root}/tools/*.h" "${root}/tools/*.cpp")
file(GLOB serverFiles RELATIVE "${root}" "${root}/server/*.h" "${root}/server/*.cpp")

# ---- Reading the includes ----
# Sets <out> to the path from the root of a quoted include, or "" when the file
# exists neither beside the includer nor under the root.
function(resolve_include includer name out)
  get_filename_component(dir "${root}/${includer}" DIRECTORY)
  foreach(candidate "${dir}/${name}" "${root}/${name}")
    get_filename_component(candidate "${candidate}" ABSOLUTE)
    if(EXISTS "${candidate}" AND NOT IS_DIRECTORY "${candidate}")
      file(RELATIVE_PATH relative "${root}" "${candidate}")
      if(NOT relative MATCHES "^\\.\\./")
        set(${out} "${relative}" PARENT_SCOPE)
        return()
      endif()
    endif()
  endforeach()
  set(${out} "" PARENT_SCOPE)
endfunction()

set(checked 0)
foreach(file IN LISTS layerFiles benchFiles toolFiles serverFiles)
  math(EXPR checked "${checked} + 1")
  set(mayUseSdl FALSE)
  if(file IN_LIST sdlModules)
    set(mayUseSdl TRUE)
  endif()
  file(READ "${root}/${file}" text)
  # One list entry per line: the characters CMake lists treat specially go first.
  string(REPLACE "\\" "/" text "${text}")
  string(REPLACE ";" "," text "${text}")
  string(REPLACE "[" "(" text "${text}")
  string(REPLACE "]" ")" text "${text}")
  string(REPLACE "\n" ";" lines "${text}")
  set(number 0)
  foreach(line IN LISTS lines)
    math(EXPR number "${number} + 1")
    if(NOT line MATCHES "^[ \t]*#[ \t]*include[ \t]*([<\"])([^>\"]+)[>\"]")
      continue()
    endif()
    set(quoted FALSE)
    if(CMAKE_MATCH_1 STREQUAL "\"")
      set(quoted TRUE)
    endif()
    set(name "${CMAKE_MATCH_2}")
    set(where "${file}:${number}")

    set(target "")
    if(quoted)
      resolve_include("${file}" "${name}" target)
    endif()
    if((name MATCHES "^(SDL2/)?SDL[^/]*\\.h$" OR target STREQUAL "engine/sdl_internal.h") AND NOT mayUseSdl)
      report("${where}: includes \"${name}\": SDL belongs to the window, GL context, input and sound modules alone")
      continue()
    endif()
    if(NOT quoted)
      continue()
    endif()
    if(target STREQUAL "")
      report("${where}: includes \"${name}\", found neither beside the file nor under the source root")
      continue()
    endif()

    if(file IN_LIST toolFiles)
      if(NOT target MATCHES "^tools/")
        report("${where}: includes \"${name}\": the image generator stands alone and includes only tools/")
      endif()
    elseif(file IN_LIST serverFiles)
      set(targetLayer "")
      if(DEFINED LAYER_OF_${target})
        list(GET NIVORA_LAYERS ${LAYER_OF_${target}} targetLayer)
      endif()
      if(NOT target MATCHES "^server/" AND NOT target STREQUAL "engine/cp1251.h"
         AND NOT targetLayer STREQUAL "rules")
        report("${where}: includes \"${name}\": the score server includes only server/, the rules layer and engine/cp1251.h")
      endif()
    elseif(NOT DEFINED LAYER_OF_${target})
      report("${where}: includes \"${name}\", which is in no layer")
    elseif(DEFINED LAYER_OF_${file} AND LAYER_OF_${target} GREATER LAYER_OF_${file})
      list(GET NIVORA_LAYERS ${LAYER_OF_${file}} own)
      list(GET NIVORA_LAYERS ${LAYER_OF_${target}} above)
      report("${where}: includes \"${name}\" of layer ${above}, above its own layer ${own}")
    endif()
  endforeach()
endforeach()

list(LENGTH problems count)
if(count GREATER 0)
  foreach(problem IN LISTS problems)
    message(NOTICE "${problem}")
  endforeach()
  # The table itself, lowest layer first, to judge the problems by.
  message(NOTICE "\nThe layer table (lowest first; a file may include its own layer and those above it here):")
  foreach(layer IN LISTS NIVORA_LAYERS)
    string(REPLACE ";" " " patterns "${NIVORA_LAYER_${layer}}")
    message(NOTICE "  ${layer}: ${patterns}")
  endforeach()
  message(FATAL_ERROR "${count} include problem(s) against the layer table in cmake/layers.cmake")
endif()
message(STATUS "${checked} files read: every include follows the layer table")
