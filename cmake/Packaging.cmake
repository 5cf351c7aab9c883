# `cpack -G DEB` in a build folder (`make package` at the top) makes a Debian
# package of what `cmake --install` puts in place, under /usr. The programs
# find their data files in ../share/quillora beside their own folder, so the
# package's tree works wherever it is unpacked.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quillora)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Quillora")
set(CPACK_PACKAGE_CONTACT "Quillora developers <quillora@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "screen demonstration recorder")
set(CPACK_PACKAGE_DESCRIPTION
    "Quillora records software demonstrations from the screen, a screenshot at each\n"
    "key press, click or mouse rest, and turns them into movies (SWF, MP4, WebM or\n"
    "GIF) in which an arrow glides between the recorded mouse positions. It runs\n"
    "on X11 and Wayland desktops. quillora-export writes the movie of a project\n"
    "from the command line.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# The install rules refresh the desktop's caches only outside a staging
# folder; with DESTDIR set they leave that to the triggers of the packages
# that own the caches (shared-mime-info, desktop-file-utils, the icon theme).
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Text objects need a font that fontconfig finds; Wayland desktops need Qt's
# Wayland platform and the portals for the screen and the shortcuts.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-dejavu-core")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland, xdg-desktop-portal")

include(CPack)
