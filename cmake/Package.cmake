# The Debian package: `cmake --build build --target package` (scripts/package.sh)
# writes build/pictoria_1.00_amd64.deb from what `cmake --install` installs.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME pictoria)
# The version users see; the project's own 1.0 would name the package 1.0.
set(CPACK_PACKAGE_VERSION 1.00)
set(CPACK_PACKAGE_VENDOR "Quorvane Systems")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "convert raster images: JPG, PNG, WebP, AVIF, HEIC, TIFF, BMP, GIF")
# Lines of at most 80 characters; CPack indents them.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "Pictoria converts raster images from one window. It reads AVIF, BMP, GIF,"
  "HEIC/HEIF, JPG, PNG, TIFF and WebP, and writes AVIF, BMP, JPG, PNG, TIFF"
  "and WebP: every file of one format in a folder at once, on every core, or"
  "one file into several formats and into JPG, WebP and AVIF over a range of"
  "qualities, or at the smallest quality that still looks the same, with the"
  "results shown beside their sources in the web browser. An existing file is"
  "never replaced without asking."
  "."
  "The package also holds pixmorph-convert, which converts one image from the"
  "shell.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Quorvane Systems <pictoria@quorvane.example>")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://quorvane.example/pictoria/)
# Libraries come from dpkg-shlibdeps; these run beside the program: xdg-open
# opens the viewer pages, Qt's wayland platform serves Wayland desktops, and
# the Liberation faces stand in for the fonts the window is drawn with.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "xdg-utils, qt6-wayland, fonts-liberation2")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
