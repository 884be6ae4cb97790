# The compiler and linker flags of Debian's own packages (dpkg-buildflags with every
# hardening feature on): fortified C library calls (_FORTIFY_SOURCE, which needs an
# optimising build), the stack protector, format string checks, position-independent
# executables, and relocations read-only and bound at start (-z relro -z now). The
# optimisation and debug flags stay those of the build type; the file prefix maps are
# ours (Reproducible.cmake). Without dpkg-buildflags the same flags are named here.
set(KOV_HARDEN_CPPFLAGS -Wdate-time -D_FORTIFY_SOURCE=2)
set(KOV_HARDEN_CXXFLAGS -fstack-protector-strong -Wformat -Werror=format-security)
set(KOV_HARDEN_LDFLAGS -Wl,-z,relro -Wl,-z,now)
find_program(KOV_DPKG_BUILDFLAGS dpkg-buildflags)
if(KOV_DPKG_BUILDFLAGS)
  foreach(kind CPPFLAGS CXXFLAGS LDFLAGS)
    execute_process(COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
                            ${KOV_DPKG_BUILDFLAGS} --get ${kind}
                    OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE failed)
    if(failed)
      continue()
    endif()
    separate_arguments(flags UNIX_COMMAND "${flags}")
    list(FILTER flags EXCLUDE REGEX "^-(g|O[0-9s]?|f(file|debug|macro)-prefix-map=.*)$")
    set(KOV_HARDEN_${kind} ${flags})
  endforeach()
endif()
foreach(flag IN LISTS KOV_HARDEN_CPPFLAGS)
  if(flag MATCHES "^-D_FORTIFY_SOURCE")
    add_compile_options($<$<NOT:$<CONFIG:Debug>>:${flag}>)
  else()
    add_compile_options(${flag})
  endif()
endforeach()
add_compile_options(${KOV_HARDEN_CXXFLAGS})
add_link_options(${KOV_HARDEN_LDFLAGS})
set(CMAKE_POSITION_INDEPENDENT_CODE ON)
include(CheckPIESupported)
check_pie_supported()
