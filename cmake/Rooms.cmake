# The rooms' include folders. Sources name headers from the source root
# ("base/status.h"), but no room's library puts the source root on the include
# path: each gets a folder of its own in the build tree that holds only its
# room, as a link to the source folder. A room then sees its own headers and
# those of the rooms it links, and an include of a room above it does not
# compile (tests/rooms checks that it stays so).

# sonavelt_room_includes(target ROOM)
# Gives `target` the include folder ${CMAKE_BINARY_DIR}/rooms/<target>, holding
# ROOM (a folder of the source root) as a link.
function(sonavelt_room_includes target room)
  set(root ${CMAKE_BINARY_DIR}/rooms/${target})
  file(REMOVE_RECURSE ${root})
  file(MAKE_DIRECTORY ${root})
  file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${room} ${root}/${room} SYMBOLIC)
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    target_include_directories(${target} INTERFACE ${root})
  else()
    target_include_directories(${target} PUBLIC ${root})
  endif()
endfunction()
