# The same sources give the same binaries wherever they are built: the paths of the
# source and build folders leave the objects (debug information, __FILE__) as "." (the
# build folder's map last, so that it wins for the files generated there, whatever the
# build folder is called). The package's file times are SOURCE_DATE_EPOCH
# (Packaging.cmake), the time of the last commit unless the environment gives one. Qt's
# generated sources reach the headers by a path relative to the build folder, so builds
# compare equal with the build folder at the same place in the sources (build/, as
# `cmake --preset default` makes it).
add_compile_options(-ffile-prefix-map=${PROJECT_SOURCE_DIR}=. -ffile-prefix-map=${CMAKE_BINARY_DIR}=.)
