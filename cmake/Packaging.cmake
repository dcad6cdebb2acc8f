# The Debian package: `cpack --config build/default/CPackConfig.cmake -B build/default/package`
# after a build gives ferrolift_<version>_amd64.deb.
#
# Layout once installed:
#   /usr/bin/ferrolift                      the command (RUNPATH to the private libraries)
#   /usr/lib/ferrolift/libferrolift.so      the component module (InprocServer32)
#   /usr/lib/ferrolift/libferrolift-platform.so
#   /usr/share/ferrolift/site               the sample site, copied to /var/lib/ferrolift/site
#   /lib/systemd/system/ferrolift.service   and ferrolift@.service for several backends
#   /etc/default/ferrolift                  the service's settings (a conffile)
#   /etc/pam.d/ferrolift                    logons for XForm.SetUser (a conffile)
#   /usr/share/doc/ferrolift/examples       nginx site, impersonation drop-in
# The libraries are private (no headers, no stable ABI), hence their own folder.
# Fixed rather than the multiarch LIBDIR: `ferrolift register` and postinst look here.
set(FERROLIFT_PRIVATE_LIBDIR lib/ferrolift)
set(FERROLIFT_DOCDIR ${CMAKE_INSTALL_DATADIR}/doc/ferrolift)
set(FERROLIFT_PACKAGING ${CMAKE_SOURCE_DIR}/packaging)
# Installing (and so cpack) takes what the build made instead of building every test
# and benchmark first; the package needs only the program and the two libraries.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

file(RELATIVE_PATH theLibFromBin ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_PREFIX}/${FERROLIFT_PRIVATE_LIBDIR})
set_target_properties(ferrolift-cli PROPERTIES INSTALL_RPATH "$ORIGIN/${theLibFromBin}")
# The module is loaded by path and needs the platform beside it.
set_target_properties(ferrolift PROPERTIES INSTALL_RPATH "$ORIGIN")

install(TARGETS ferrolift ferrolift-platform LIBRARY DESTINATION ${FERROLIFT_PRIVATE_LIBDIR})
install(DIRECTORY ${CMAKE_SOURCE_DIR}/examples/site/ DESTINATION ${CMAKE_INSTALL_DATADIR}/ferrolift/site
        PATTERN .gitignore EXCLUDE)
install(FILES ${FERROLIFT_PACKAGING}/ferrolift.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${FERROLIFT_PACKAGING}/systemd/ferrolift.service ${FERROLIFT_PACKAGING}/systemd/ferrolift@.service
        DESTINATION /lib/systemd/system)
install(FILES ${FERROLIFT_PACKAGING}/debian/default RENAME ferrolift DESTINATION /etc/default)
install(FILES ${FERROLIFT_PACKAGING}/debian/pam RENAME ferrolift DESTINATION /etc/pam.d)
install(FILES ${FERROLIFT_PACKAGING}/debian/copyright DESTINATION ${FERROLIFT_DOCDIR})
install(FILES ${FERROLIFT_PACKAGING}/nginx/ferrolift.conf DESTINATION ${FERROLIFT_DOCDIR}/examples/nginx)
install(FILES ${FERROLIFT_PACKAGING}/systemd/impersonation.conf DESTINATION ${FERROLIFT_DOCDIR}/examples/systemd)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ferrolift)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Ferrolift maintainers <ferrolift@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "file uploads for server-side script pages")
set(CPACK_PACKAGE_DESCRIPTION
    "Ferrolift lets .asp pages written in JavaScript receive files uploaded from browsers\n\
through an automation component (XForm, XField, XFields, XProgress), with live upload\n\
progress. It ships the page server `ferrolift serve`, a systemd service and a sample site.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION web)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_LIBRARY_OUTPUT_DIRECTORY})
# adduser makes the service account; pam_unix answers the logons of SetUser.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "adduser, libpam-modules, libpam-runtime")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "nginx, samba, samba-vfs-modules")
# Absolute destinations above are the system's own folders, on purpose.
set(CPACK_WARN_ON_ABSOLUTE_INSTALL_DESTINATION OFF)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${FERROLIFT_PACKAGING}/debian/postinst ${FERROLIFT_PACKAGING}/debian/prerm
    ${FERROLIFT_PACKAGING}/debian/postrm ${FERROLIFT_PACKAGING}/debian/conffiles)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
