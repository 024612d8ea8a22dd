# The Debian package: tarvex_<version>_amd64.deb with the desktop program, tarvex-cli and
# the desktop integration files. Library dependencies come from dpkg-shlibdeps; the Qt
# plugins the programs load at run time are named here because no library links them.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tarvex)
set(CPACK_PACKAGE_VENDOR "dovrik-apps")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "POCSAG paging transmitter for a PC sound card")
set(CPACK_PACKAGE_DESCRIPTION
    "Tarvex encodes POCSAG pages (512, 1200 and 2400 bit/s, numeric or alphanumeric), keys the "
    "radio through a parallel port, serial line, CM108 GPIO, GPIO chip or hamlib, and plays the "
    "page through the sound card into the transmitter. Includes the desktop program, "
    "tarvex-cli, and tarvexd with its systemd unit for stations that run unattended.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Tarvex developers <tarvex@dovrik-apps.invalid>")
set(CPACK_DEBIAN_PACKAGE_SECTION hamradio)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
# hamlib is opened at run time, only for rig CAT keying.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "pulseaudio | pipewire-pulse, libhamlib4")
# tarvexd's system user and the systemd unit's reload (the service is left for the operator to
# enable once the station is set up); the service's settings in /etc are the administrator's
# (conffiles: an upgrade never overwrites them unasked).
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/data/debian/postinst
    ${PROJECT_SOURCE_DIR}/data/debian/prerm ${PROJECT_SOURCE_DIR}/data/debian/postrm
    ${PROJECT_SOURCE_DIR}/data/debian/conffiles)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://dovrik-apps.invalid/tarvex")
include(CPack)
