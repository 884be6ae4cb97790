# kov_export_headers(target PATTERN... [EXCEPT PATTERN...])
# A library offers whoever links it its own headers and no others. The headers matched by
# the patterns (globs relative to the source root) are linked into
# build/include/<target>/ under their path in the tree, and that folder is the target's one
# public include folder: sources keep writing "common/text.h", and a layer that includes a
# header of a library it does not link does not compile. A header added or removed under a
# pattern is picked up by the next build (the globs are checked again).
function(kov_export_headers target)
  cmake_parse_arguments(H "" "" "EXCEPT" ${ARGN})
  kov_link_headers(${CMAKE_BINARY_DIR}/include/${target} "${H_UNPARSED_ARGUMENTS}" "${H_EXCEPT}")
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    target_include_directories(${target} INTERFACE ${CMAKE_BINARY_DIR}/include/${target})
  else()
    target_include_directories(${target} PUBLIC ${CMAKE_BINARY_DIR}/include/${target})
  endif()
endfunction()

# kov_private_headers(target PATTERN...)
# The headers of a library's internals: linked into build/private/<target>/ under their
# path in the tree, an include folder of the library's own sources alone. A library that
# links it cannot reach them; the component's own tests, tools and benchmarks name it
# with kov_private_access.
function(kov_private_headers target)
  set(folder ${CMAKE_BINARY_DIR}/private/${target})
  kov_link_headers(${folder} "${ARGN}" "")
  target_include_directories(${target} PRIVATE ${folder})
  set_property(TARGET ${target} PROPERTY KOV_PRIVATE_HEADERS ${folder})
endfunction()

# kov_private_access(consumer LIBRARY...)
# Lets `consumer` (a test, tool or benchmark of the same component) include the private
# headers of the libraries.
function(kov_private_access consumer)
  foreach(library IN LISTS ARGN)
    get_target_property(folder ${library} KOV_PRIVATE_HEADERS)
    if(NOT folder)
      message(FATAL_ERROR "kov_private_access(${consumer}): ${library} has no private headers")
    endif()
    target_include_directories(${consumer} PRIVATE ${folder})
  endforeach()
endfunction()

# The headers matched by `patterns`, less those of `except`, linked into `folder`.
function(kov_link_headers folder patterns except)
  set(globs)
  foreach(pattern IN LISTS patterns)
    list(APPEND globs ${PROJECT_SOURCE_DIR}/${pattern})
  endforeach()
  file(GLOB headers CONFIGURE_DEPENDS RELATIVE ${PROJECT_SOURCE_DIR} ${globs})
  foreach(pattern IN LISTS except)
    file(GLOB left_out CONFIGURE_DEPENDS RELATIVE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/${pattern})
    if(left_out)
      list(REMOVE_ITEM headers ${left_out})
    endif()
  endforeach()
  if(NOT headers)
    message(FATAL_ERROR "no header matches ${patterns}")
  endif()
  # Made afresh on every configure, so that a header moved away leaves no link behind.
  file(REMOVE_RECURSE ${folder})
  foreach(header IN LISTS headers)
    get_filename_component(dir ${folder}/${header} DIRECTORY)
    file(MAKE_DIRECTORY ${dir})
    file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${header} ${folder}/${header} SYMBOLIC)
  endforeach()
endfunction()
