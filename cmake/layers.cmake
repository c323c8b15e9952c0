# The layer table: which files make up each layer of the program, lowest first.
# A file may include files of its own layer and of the layers below it, never
# above. CMakeLists.txt builds one library per layer from its .cpp files, each
# linking only the layer below; cmake/check_includes.cmake (the Layers test)
# reads every #include "..." of the code against this table. The README shows
# the same table for people.
#
# Entries are paths from the source root; `*` matches within one folder. Headers
# and sources of a unit go together (`app/scene.*`); a file belongs to exactly
# one layer.

# A build re-reads the globs when files come or go; a script (-P) reads them once.
if(CMAKE_SCRIPT_MODE_FILE)
  set(NIVORA_GLOB_FLAGS "")
else()
  set(NIVORA_GLOB_FLAGS CONFIGURE_DEPENDS)
endif()

set(NIVORA_LAYERS rules engine text scene_base parts scenes menus app)

# The board's rules, the replay of a played game and the result record: plain
# C++ without the engine, so the score server links the same code.
set(NIVORA_LAYER_rules game/board_rules.* game/replay.* game/score_rec.h)
# Quorvex: every engine module, reached by the game through engine/engine.h.
set(NIVORA_LAYER_engine engine/*)
# Coloured text markup, quads, the shared cursor, the view and its scale, and the tool functions.
set(NIVORA_LAYER_text presentation/text.* presentation/tools.*)
# The scene base, the scene list and console, the lists, the stopwatch, keys and gamepad as navigation.
set(NIVORA_LAYER_scene_base app/scene.* app/list.* app/clock.* app/nav.* app/folders.*)
# Sprites and particles, the game's images, the interface the game scene is driven through.
set(NIVORA_LAYER_parts presentation/sprite.* game/resources.* game/game_host.*)
# The scenes: the puzzle, the backdrop and the night sky behind the menus.
set(NIVORA_LAYER_scenes game/game_scene.* presentation/back_scene.* presentation/night_sky.*)
# The menus, records, score-server client and nickname entry: the whole folder.
set(NIVORA_LAYER_menus menus/*)
# The program entry and the application object, which creates every scene.
set(NIVORA_LAYER_app app/app.* app/main.cpp)

# Folders whose every .h and .cpp must belong to a layer.
set(NIVORA_LAYER_FOLDERS engine app game menus presentation)

# The only modules that may include SDL (or the engine's SDL start-up header):
# the window, the GL context, input and sound.
set(NIVORA_SDL_MODULES engine/wnd* engine/ogl* engine/inp* engine/snd* engine/sdl_internal.h)

# Sets <out> to the code files (.h, .cpp) of <layer>, relative to <root>, sorted.
function(nivora_layer_files root layer out)
  set(files "")
  foreach(pattern IN LISTS NIVORA_LAYER_${layer})
    file(GLOB matched RELATIVE ${root} ${NIVORA_GLOB_FLAGS} ${root}/${pattern})
    list(FILTER matched INCLUDE REGEX "\\.(h|cpp)$")
    list(APPEND files ${matched})
  endforeach()
  list(REMOVE_DUPLICATES files)
  list(SORT files)
  set(${out} ${files} PARENT_SCOPE)
endfunction()

# Sets <out> to the code files of the layer folders that no layer lists.
function(nivora_unlayered_files root out)
  set(listed "")
  foreach(layer IN LISTS NIVORA_LAYERS)
    nivora_layer_files(${root} ${layer} files)
    list(APPEND listed ${files})
  endforeach()
  set(missing "")
  foreach(folder IN LISTS NIVORA_LAYER_FOLDERS)
    file(GLOB present RELATIVE ${root} ${NIVORA_GLOB_FLAGS} ${root}/${folder}/*.h ${root}/${folder}/*.cpp)
    foreach(file IN LISTS present)
      if(NOT file IN_LIST listed)
        list(APPEND missing ${file})
      endif()
    endforeach()
  endforeach()
  set(${out} ${missing} PARENT_SCOPE)
endfunction()
