# Install rules: the game, the score server and everything they read, in the
# GNU layout under CMAKE_INSTALL_PREFIX:
#   bin/nivora, bin/nivora-scores                       (the game: NIVORA_GAME_BINDIR)
#   share/nivora/Images/, share/nivora/fonts.conf      (read by the installed game: NIVORA_GAME_DATADIR)
#   share/applications/, share/metainfo/, share/icons/hicolor/<size>/apps/
#   lib/systemd/system/nivora-scores.service            (only when NIVORA_INSTALL_SYSTEMD_UNIT)
# The game tells it is installed by finding its data at NIVORA_DATA_FROM_BIN
# from its own folder (app/folders.h), so the tree can move as a whole.
# Debian keeps games apart (games/ and share/games/): its packaging sets the
# two game folders.
include(GNUInstallDirs)

set(NIVORA_GAME_BINDIR ${CMAKE_INSTALL_BINDIR} CACHE STRING "Where the game goes, relative to the prefix")
set(NIVORA_GAME_DATADIR ${CMAKE_INSTALL_DATADIR}/nivora CACHE STRING "Where the game's data goes, relative to the prefix")
set(NIVORA_INSTALL_DATADIR ${NIVORA_GAME_DATADIR})
file(RELATIVE_PATH NIVORA_DATA_FROM_BIN ${CMAKE_INSTALL_PREFIX}/${NIVORA_GAME_BINDIR}
  ${CMAKE_INSTALL_PREFIX}/${NIVORA_GAME_DATADIR})
# The program entry hands it to the folder choice.
target_compile_definitions(nivora PRIVATE NIVORA_DATA_FROM_BIN="${NIVORA_DATA_FROM_BIN}")

install(TARGETS nivora RUNTIME DESTINATION ${NIVORA_GAME_BINDIR})
if(NIVORA_SCORE_SERVER)
  install(TARGETS nivora-scores RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
install(DIRECTORY ${NIVORA_IMAGE_DIR}/ DESTINATION ${NIVORA_INSTALL_DATADIR}/Images
  FILES_MATCHING PATTERN "*.tga" PATTERN "*.bmp")
install(FILES ${PROJECT_SOURCE_DIR}/engine/fonts.conf DESTINATION ${NIVORA_INSTALL_DATADIR})

set(NIVORA_APP_ID org.nivora.Nivora)
install(FILES ${PROJECT_SOURCE_DIR}/dist/${NIVORA_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
# Software centres fetch the screenshots from the web: a packager points this at
# wherever docs/game.png, menu.png and records.png are published.
set(NIVORA_SCREENSHOT_URL "https://nivora.example.org/screenshots" CACHE STRING
  "Web folder holding the screenshots named in the AppStream metainfo")
configure_file(${PROJECT_SOURCE_DIR}/dist/${NIVORA_APP_ID}.metainfo.xml.in ${PROJECT_BINARY_DIR}/${NIVORA_APP_ID}.metainfo.xml @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/${NIVORA_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
if(TARGET nivora_icons)
  foreach(size IN LISTS NIVORA_ICON_SIZES)
    install(FILES ${NIVORA_ICON_DIR}/nivora-${size}.png
      DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME nivora.png)
  endforeach()
endif()

# A distribution package installs the unit where its systemd looks; a plain
# `cmake --install` into a home folder has no use for it.
option(NIVORA_INSTALL_SYSTEMD_UNIT "Install the systemd unit of nivora-scores" OFF)
set(NIVORA_SYSTEMD_UNIT_DIR "lib/systemd/system" CACHE STRING "Where the systemd unit goes, relative to the prefix")
configure_file(${PROJECT_SOURCE_DIR}/dist/nivora-scores.service.in ${PROJECT_BINARY_DIR}/nivora-scores.service @ONLY)
if(NIVORA_INSTALL_SYSTEMD_UNIT AND NIVORA_SCORE_SERVER)
  install(FILES ${PROJECT_BINARY_DIR}/nivora-scores.service DESTINATION ${NIVORA_SYSTEMD_UNIT_DIR})
endif()
