# `cpack -G DEB` in a build tree makes terrafetch_<version>_<arch>.deb of
# everything the install rules name, under /usr. dpkg-shlibdeps (dpkg-dev)
# works out the library packages it depends on; the rest are named below.
set(CPACK_PACKAGE_NAME terrafetch)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "terraFetch")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "prepares terrain of a United States quad for a flight renderer")
set(CPACK_PACKAGE_DESCRIPTION
    "terraFetch orders SRTM elevation for a latitude/longitude quad, turns it into a TGA height map, "
    "blends a street map over a colouring of the terrain into a texture, optionally draws a waypoint "
    "route (text or GPX) and writes the flight parameter files. It brings its own reference services, "
    "so a job needs no network; they make up synthetic terrain. In live mode they fetch real elevation, "
    "the Census street map and the Census geocoder from public sources over the internet instead, "
    "with a disk cache. Includes the window program, the batch runner terrafetch-batch and "
    "the standalone services terrafetch-services.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Live sources are reached over HTTPS; libcurl only recommends the system's
# certificate bundle, so the package asks for it itself.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "ca-certificates")
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "terraFetch maintainers <maintainers@terrafetch.invalid>")
set(CPACK_GENERATOR DEB)
include(CPack)
