# The Debian package: `cpack` in the build folder writes wrenly_VERSION_ARCH.deb. Library
# dependencies are found by dpkg-shlibdeps; what the program starts or loads at run time is
# declared by hand.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME wrenly)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Wrenly")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Push-to-talk dictation for the Linux desktop")
set(CPACK_PACKAGE_DESCRIPTION
    "Tap the trigger key, speak, tap again: the recognised text is pasted into the field that had focus.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Wrenly maintainers <maintainers@wrenly.app>")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
# The X11 platform plugin is loaded by Qt at run time; xdg-open opens pages and folders; the
# accessibility bus lets the program see other applications' fields.
# pocketsphinx-en-us: the local speech service's acoustic model, language model and dictionary.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "qt6-qpa-plugins, xdg-utils, at-spi2-core, ca-certificates, pocketsphinx-en-us")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
    "gnome-keyring | kwalletmanager, pulseaudio | pipewire-pulse, fonts-noto-cjk | fonts-wqy-microhei")
include(CPack)
