# kov_export_headers(target PATTERN... [EXCEPT PATTERN...])
# A library offers whoever links it its own headers and no others. The headers matched by
# the patterns (globs relative to the source root) are linked into
# build/include/<target>/ under their path in the tree, and that folder is the target's one
# public include folder: sources keep writing "common/text.h", and a layer that includes a
# header of a library it does not link does not compile. A header added or removed under a
# pattern is picked up by the next build (the globs are checked again).
function(kov_export_headers target)
  cmake_parse_arguments(H "" "" "EXCEPT" ${ARGN})
  set(globs)
  foreach(pattern IN LISTS H_UNPARSED_ARGUMENTS)
    list(APPEND globs ${PROJECT_SOURCE_DIR}/${pattern})
  endforeach()
  file(GLOB headers CONFIGURE_DEPENDS RELATIVE ${PROJECT_SOURCE_DIR} ${globs})
  foreach(pattern IN LISTS H_EXCEPT)
    file(GLOB left_out CONFIGURE_DEPENDS RELATIVE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/${pattern})
    if(left_out)
      list(REMOVE_ITEM headers ${left_out})
    endif()
  endforeach()
  if(NOT headers)
    message(FATAL_ERROR "kov_export_headers(${target}): no header matches ${H_UNPARSED_ARGUMENTS}")
  endif()
  # Made afresh on every configure, so that a header moved away leaves no link behind.
  set(folder ${CMAKE_BINARY_DIR}/include/${target})
  file(REMOVE_RECURSE ${folder})
  foreach(header IN LISTS headers)
    get_filename_component(dir ${folder}/${header} DIRECTORY)
    file(MAKE_DIRECTORY ${dir})
    file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${header} ${folder}/${header} SYMBOLIC)
  endforeach()
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    target_include_directories(${target} INTERFACE ${folder})
  else()
    target_include_directories(${target} PUBLIC ${folder})
  endif()
endfunction()
