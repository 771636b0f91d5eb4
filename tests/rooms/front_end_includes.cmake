# The front ends start runs, check sounds and log in through run/: their
# files include run/, settings/, base/ and their own folder only. The
# wizard's remote-site dialogs (the connect dialog, the file browser with its
# live listing, the host-key question, their status line) show remote/'s
# session as it works and may include remote/ too.
# Usage: cmake -DSOURCE_DIR=<source root> -P front_end_includes.cmake
cmake_minimum_required(VERSION 3.20)
set(site_dialogs connect_dialog remote_file_browser remote_site_chooser remote_page_chooser
    qt_status_line)
file(GLOB files ${SOURCE_DIR}/cli/*.h ${SOURCE_DIR}/cli/*.cpp
     ${SOURCE_DIR}/app/*.h ${SOURCE_DIR}/app/*.cpp)
set(found "")
foreach(file IN LISTS files)
  get_filename_component(stem ${file} NAME_WE)
  set(rooms "audio|html|browser|transport|remote")
  if(stem IN_LIST site_dialogs)
    set(rooms "audio|html|browser|transport")
  endif()
  file(STRINGS ${file} lines REGEX "^#include \"(${rooms})/")
  foreach(line IN LISTS lines)
    file(RELATIVE_PATH name ${SOURCE_DIR} ${file})
    string(APPEND found "\n  ${name}: ${line}")
  endforeach()
endforeach()
if(found)
  message(FATAL_ERROR "front ends include below run/:${found}")
endif()
