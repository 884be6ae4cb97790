# The Debian package of the suite (`cmake --build build --target package`, CPack):
#   /usr/lib/kov/        the programs, the menu, ovlprint, kovgendemo and the forms
#   /usr/bin/kovmenu, /usr/bin/ovlprint   the menu and the reprint tool, on the PATH
#                        (links into /usr/lib/kov)
#   /usr/share/man/man1/ a manual page for every program
#   /usr/share/doc/kov/  README and the administrator's guide (docs/admin.md, in docs/ there
#                        as beside README in the sources, so that README's link holds)
#   /usr/share/applications/kov.desktop, /usr/share/icons/hicolor/scalable/apps/kov.svg
#   /etc/kov/            KOV.INI, KOVENV.INI, OVLPRINT.INI, GAIJI.INI (conffiles, commented)
#   /var/lib/kov/        where the settings look for the office's databases
# Shared-library dependencies come from dpkg-shlibdeps; the Gothic font, the Qt platform
# plugins and xdg-open are named here.
include(GNUInstallDirs)

set(KOV_PACKAGE_LIBDIR lib/kov)
set(KOV_PACKAGE_PROGRAMS kov120 kov140 kov570 kov970 kovmenu ovlprint kovgendemo)
foreach(program IN LISTS KOV_PACKAGE_PROGRAMS)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${KOV_PACKAGE_LIBDIR})
  endif()
endforeach()
install(FILES
  ${PROJECT_SOURCE_DIR}/overlayprint/overlays/KOV120p.ovl
  ${PROJECT_SOURCE_DIR}/overlayprint/overlays/KOV121p.ovl
  ${PROJECT_SOURCE_DIR}/overlayprint/overlays/KOV140p.ovl
  ${PROJECT_SOURCE_DIR}/overlayprint/overlays/Kov570p.OVL
  DESTINATION ${KOV_PACKAGE_LIBDIR})

set(KOV_PACKAGE_STAGE ${CMAKE_BINARY_DIR}/packaging)
file(MAKE_DIRECTORY ${KOV_PACKAGE_STAGE})
foreach(program IN ITEMS kovmenu ovlprint)
  file(CREATE_LINK ../${KOV_PACKAGE_LIBDIR}/${program} ${KOV_PACKAGE_STAGE}/${program} SYMBOLIC)
  install(FILES ${KOV_PACKAGE_STAGE}/${program} DESTINATION bin)
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/packaging/kov.desktop DESTINATION share/applications)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/kov.svg DESTINATION share/icons/hicolor/scalable/apps)

set(KOV_PACKAGE_CONFFILES KOV.INI KOVENV.INI OVLPRINT.INI GAIJI.INI)
set(conffiles "")
foreach(ini IN LISTS KOV_PACKAGE_CONFFILES)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/etc/${ini} DESTINATION /etc/kov
          PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
  string(APPEND conffiles "/etc/kov/${ini}\n")
endforeach()
file(WRITE ${KOV_PACKAGE_STAGE}/conffiles "${conffiles}")
install(DIRECTORY DESTINATION /var/lib/kov)

# The package's documents: its copyright, its change log, README, the administrator's
# guide and a manual page for every program it installs (compressed, as Debian keeps
# them), in man1 also for those in /usr/lib/kov, so that `man kov120` finds its page.
execute_process(COMMAND gzip -9nc ${PROJECT_SOURCE_DIR}/packaging/changelog
                OUTPUT_FILE ${KOV_PACKAGE_STAGE}/changelog.gz)
foreach(program IN LISTS KOV_PACKAGE_PROGRAMS)
  if(TARGET ${program})
    set(page ${PROJECT_SOURCE_DIR}/packaging/${program}.1)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${page})
    execute_process(COMMAND gzip -9nc ${page} OUTPUT_FILE ${KOV_PACKAGE_STAGE}/${program}.1.gz
                    RESULT_VARIABLE gzipped)
    if(NOT gzipped EQUAL 0)
      message(FATAL_ERROR "the manual page ${page} of ${program} is missing")
    endif()
    install(FILES ${KOV_PACKAGE_STAGE}/${program}.1.gz DESTINATION share/man/man1)
  endif()
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright ${KOV_PACKAGE_STAGE}/changelog.gz
              ${PROJECT_SOURCE_DIR}/README.md
        DESTINATION share/doc/kov)
install(FILES ${PROJECT_SOURCE_DIR}/docs/admin.md DESTINATION share/doc/kov/docs)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kov)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_CONTACT "KOV payroll system developers <kov-payroll@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "payroll batch programs for school staff (allowance records, backups)")
set(CPACK_PACKAGE_DESCRIPTION "The KOV programs of the payroll system for public elementary and
junior-high school staff: the term-end and diligence allowance payment record,
the differential payment breakdown statement, the salary-expense expenditure
summary table, and the master backup to removable media, started from one menu.
Reports are drawn over their forms to PDF files, a printer or a print preview.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-ipafont-gothic, qt6-qpa-plugins, xdg-utils")
# The reports open in the desktop's PDF viewer (Open=yes); any of Debian's will do. The
# characters of the office's gaiji table (GAIJI.INI) print from IPAmj Mincho.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "mupdf | pdf-viewer, fonts-ipamj-mincho")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${KOV_PACKAGE_STAGE}/conffiles)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
set(CPACK_STRIP_FILES ON)
# Every file of the package gets one time, SOURCE_DATE_EPOCH: the environment's, else the
# time of the sources' last commit, taken when the package is made. So two builds of one
# commit give the same package, byte for byte.
file(WRITE ${KOV_PACKAGE_STAGE}/epoch.cmake "if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
  execute_process(COMMAND git -C \"${PROJECT_SOURCE_DIR}\" log -1 --format=%ct
                  OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(epoch MATCHES \"^[0-9]+$\")
    set(ENV{SOURCE_DATE_EPOCH} \${epoch})
  endif()
endif()
")
set(CPACK_PROJECT_CONFIG_FILE ${KOV_PACKAGE_STAGE}/epoch.cmake)
# Only the suite's own files: no test, benchmark or development file is installed.
set(CPACK_INSTALL_CMAKE_PROJECTS "${CMAKE_BINARY_DIR};${PROJECT_NAME};ALL;/")
include(CPack)
