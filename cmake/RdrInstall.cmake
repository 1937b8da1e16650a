# What `cmake --install BUILD --prefix P` puts under P:
#
#   lib/librdr_core.a, lib/libcgi_display.a   the radar core and the display library
#   include/rdr/*.h                           the radar core's public headers (flat, as in-tree)
#   include/rdr/display/*.h                   the display library's public headers
#   include/rdr/common/*.h                    shared headers the public ones include
#   lib/cmake/rdr/                            find_package(rdr): rdr::core, rdr::display
#   lib/pkgconfig/rdr-core.pc                 the radar core for pkg-config
#   bin/rdr, bin/sitebln                      command-line programs
#   libexec/rdr/cgi-bin/                      CGI programs (precipview, siteview, compview, lgtview)
#   share/rdr/root/                           the resource tree; point RDR_ROOT here
#   share/man/man1/*.1                        the man pages
#
# Private headers (<module>/internal/) and test support never leave the source tree: only a
# library's HEADERS file set is installed.
#
# Components: devel (libraries, headers, package files), programs (programs and man page),
# resources (the resource tree); `cmake --install BUILD --component devel` installs one.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(RDR_INSTALL_INCLUDEDIR ${CMAKE_INSTALL_INCLUDEDIR}/rdr)
set(RDR_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/rdr)
set(RDR_INSTALL_PKGCONFIGDIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
set(RDR_INSTALL_ROOTDIR ${CMAKE_INSTALL_DATADIR}/rdr/root)
set(RDR_INSTALL_CGIDIR ${CMAKE_INSTALL_LIBEXECDIR}/rdr/cgi-bin)

# Exported names: rdr::core, rdr::display, rdr::root (the shared headers both bring) and
# rdr::gd and rdr::hdf5 (libgd's and libhdf5's static archives, named by their paths on this
# machine).
set_target_properties(rdr_core PROPERTIES EXPORT_NAME core)
set_target_properties(cgi_display PROPERTIES EXPORT_NAME display)
set_target_properties(rdr_root PROPERTIES EXPORT_NAME root)
set_target_properties(rdr_gd PROPERTIES EXPORT_NAME gd)
set_target_properties(rdr_hdf5 PROPERTIES EXPORT_NAME hdf5)

install(TARGETS rdr_gd rdr_hdf5 EXPORT rdrTargets COMPONENT devel)

install(TARGETS rdr_root EXPORT rdrTargets
        FILE_SET HEADERS DESTINATION ${RDR_INSTALL_INCLUDEDIR}/common COMPONENT devel)
install(TARGETS rdr_core EXPORT rdrTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT devel
        FILE_SET HEADERS DESTINATION ${RDR_INSTALL_INCLUDEDIR} COMPONENT devel)
install(TARGETS cgi_display EXPORT rdrTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT devel
        FILE_SET HEADERS DESTINATION ${RDR_INSTALL_INCLUDEDIR}/display COMPONENT devel)

install(EXPORT rdrTargets NAMESPACE rdr:: DESTINATION ${RDR_INSTALL_CMAKEDIR} COMPONENT devel)
configure_package_config_file(${CMAKE_SOURCE_DIR}/cmake/rdrConfig.cmake.in
                              ${CMAKE_BINARY_DIR}/cmake/rdrConfig.cmake
                              INSTALL_DESTINATION ${RDR_INSTALL_CMAKEDIR}
                              PATH_VARS RDR_INSTALL_ROOTDIR)
write_basic_package_version_file(${CMAKE_BINARY_DIR}/cmake/rdrConfigVersion.cmake
                                 VERSION ${PROJECT_VERSION} COMPATIBILITY SameMinorVersion)
install(FILES ${CMAKE_BINARY_DIR}/cmake/rdrConfig.cmake
              ${CMAKE_BINARY_DIR}/cmake/rdrConfigVersion.cmake
        DESTINATION ${RDR_INSTALL_CMAKEDIR} COMPONENT devel)

# The .pc file finds its prefix from its own location, so one file serves any --prefix.
file(RELATIVE_PATH RDR_PC_TO_PREFIX /${RDR_INSTALL_PKGCONFIGDIR} /)
string(REGEX REPLACE "/$" "" RDR_PC_TO_PREFIX "${RDR_PC_TO_PREFIX}")
list(JOIN rdr_gd_archives " " RDR_GD_ARCHIVES)
list(JOIN rdr_hdf5_archives " " RDR_HDF5_ARCHIVES)
configure_file(${CMAKE_SOURCE_DIR}/cmake/rdr-core.pc.in ${CMAKE_BINARY_DIR}/cmake/rdr-core.pc
               @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/cmake/rdr-core.pc DESTINATION ${RDR_INSTALL_PKGCONFIGDIR}
        COMPONENT devel)

# Programs: the command-line ones in bin/, the CGI programs where a web server's CGI alias
# can point.
install(TARGETS rdr sitebln RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT programs)
foreach(cgi precipview siteview compview lgtview)
  if(TARGET ${cgi})
    install(TARGETS ${cgi} RUNTIME DESTINATION ${RDR_INSTALL_CGIDIR} COMPONENT programs)
  endif()
endforeach()
# One man page per program, docs/<program>.1.
file(GLOB rdr_man_pages CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/docs/*.1)
install(FILES ${rdr_man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT programs)

# The resource tree, staged exactly as for the tests: resources/ copied, the fonts linked to
# the Debian font packages' files (install those packages on the target machine).
install(CODE "set(rdr_stage_script \"${CMAKE_SOURCE_DIR}/tools/stage_root.sh\")
              set(rdr_resources \"${CMAKE_SOURCE_DIR}/resources\")
              set(rdr_root \"${RDR_INSTALL_ROOTDIR}\")"
        COMPONENT resources)
install(CODE [[
  if(NOT IS_ABSOLUTE "${rdr_root}")
    set(rdr_root "${CMAKE_INSTALL_PREFIX}/${rdr_root}")
  endif()
  set(rdr_root "$ENV{DESTDIR}${rdr_root}")
  message(STATUS "Installing the resource tree: ${rdr_root}")
  execute_process(COMMAND "${rdr_stage_script}" "${rdr_resources}" "${rdr_root}"
                  RESULT_VARIABLE staged)
  if(NOT staged EQUAL 0)
    message(FATAL_ERROR "Staging the resource tree into ${rdr_root} failed")
  endif()
]] COMPONENT resources)
