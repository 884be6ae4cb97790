# The same sources give the same binaries wherever they are built: the source and build
# folders' paths leave the objects (debug information, __FILE__) as ".", and the package's
# file times are SOURCE_DATE_EPOCH (Packaging.cmake), the time of the last commit unless
# the environment gives one.
add_compile_options(-ffile-prefix-map=${CMAKE_BINARY_DIR}=. -ffile-prefix-map=${PROJECT_SOURCE_DIR}=.)
