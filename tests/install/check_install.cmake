# Installs a build into an empty prefix and checks that the program, its menu entry and
# its icons land where desktops look for them, under the names the menu entry uses.
#
#   cmake -DBUILD_DIR=<build> -DPREFIX=<scratch folder> -DBINDIR=bin -DDATADIR=share
#         -DSOURCE_DIR=<source> -P check_install.cmake
foreach(_var BUILD_DIR PREFIX BINDIR DATADIR SOURCE_DIR)
  if(NOT DEFINED ${_var})
    message(FATAL_ERROR "${_var} is not set")
  endif()
endforeach()

file(REMOVE_RECURSE "${PREFIX}")
execute_process(
  COMMAND "${CMAKE_COMMAND}" -E env --unset=DESTDIR
          "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
  RESULT_VARIABLE _result
  OUTPUT_VARIABLE _output
  ERROR_VARIABLE _output)
if(NOT _result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed (${_result}):\n${_output}")
endif()

set(_desktop "${PREFIX}/${DATADIR}/applications/org.velmora.Downloader.desktop")
if(NOT EXISTS "${_desktop}")
  message(FATAL_ERROR "no menu entry at ${_desktop}")
endif()

# The program and icon names come from the installed entry, so a renamed file on
# either side shows up here.
file(STRINGS "${_desktop}" _exec REGEX "^Exec=")
file(STRINGS "${_desktop}" _icon REGEX "^Icon=")
string(REGEX REPLACE "^Exec=([^ ]+).*$" "\\1" _exec "${_exec}")
string(REGEX REPLACE "^Icon=" "" _icon "${_icon}")
if(_exec STREQUAL "" OR _icon STREQUAL "")
  message(FATAL_ERROR "the menu entry lacks Exec= or Icon=")
endif()

set(_program "${PREFIX}/${BINDIR}/${_exec}")
if(NOT EXISTS "${_program}" OR IS_DIRECTORY "${_program}")
  message(FATAL_ERROR "no program at ${_program}")
endif()
file(SIZE "${_program}" _size)
if(_size EQUAL 0)
  message(FATAL_ERROR "the installed program ${_program} is empty")
endif()

set(_icons "${PREFIX}/${DATADIR}/icons/hicolor")
foreach(_pair "scalable/apps/${_icon}.svg" "64x64/apps/${_icon}.png")
  set(_installed "${_icons}/${_pair}")
  set(_source "${SOURCE_DIR}/data/icons/hicolor/${_pair}")
  if(NOT EXISTS "${_installed}")
    message(FATAL_ERROR "no icon at ${_installed}")
  endif()
  file(SHA256 "${_installed}" _got)
  file(SHA256 "${_source}" _want)
  if(NOT _got STREQUAL _want)
    message(FATAL_ERROR "${_installed} differs from ${_source}")
  endif()
endforeach()

file(REMOVE_RECURSE "${PREFIX}")
