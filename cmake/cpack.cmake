# Packages made by CPack from the installation (the tool, the kit's headers,
# the CMake and pkg-config package files):
#   Debian: cpack -G DEB  -> vex-resource-builder_<version>_<arch>.deb, its
#           dependencies (zlib, brotli, the C++ runtime) found by dpkg-shlibdeps
#   Windows (the mingw-w64 build): cpack -G ZIP -> vex-resource-builder-<version>-win64.zip
set(CPACK_PACKAGE_NAME vex-resource-builder)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Turns a tree of static web files into C++ source for an HTTP server")
set(CPACK_PACKAGE_CONTACT "vex_resource_builder developers")
set(CPACK_STRIP_FILES ON)
if(WIN32)
  set(CPACK_GENERATOR ZIP)
else()
  set(CPACK_GENERATOR DEB)
endif()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The kit decodes files held compressed only with these, when a consumer's
# build finds them (VexResourcesDecoders.cmake).
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "zlib1g-dev, libbrotli-dev, libzstd-dev")
include(CPack)
