# The tool as a CMake package: vex_add_resources() for this project itself,
# for other projects through find_package(vex_resource_builder) pointed at
# this build tree (-Dvex_resource_builder_DIR=<build dir>), and after
# cmake --install through the installed package files. The installation also
# holds a pkg-config file for the kit (vex_resource_builder.pc), which names
# the tool in its variable "tool".
include(CMakePackageConfigHelpers)
include(GNUInstallDirs)

add_executable(vex_resource_builder::vex_resource_builder ALIAS vex_resource_builder)
add_library(vex_resource_builder_kit INTERFACE)
target_include_directories(vex_resource_builder_kit INTERFACE
  $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include> $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
add_library(vex_resource_builder::kit ALIAS vex_resource_builder_kit)
include(${CMAKE_CURRENT_LIST_DIR}/VexResources.cmake)

# The tool runs on the build machine and the kit is headers only, so a
# consumer built for any architecture (32-bit ones too) may use the package.
set(version_file ${PROJECT_BINARY_DIR}/vex_resource_builder-config-version.cmake)
write_basic_package_version_file(${version_file} COMPATIBILITY SameMajorVersion ARCH_INDEPENDENT)

# The build tree's package: the tool where it was built, the kit in the sources.
file(GENERATE OUTPUT ${PROJECT_BINARY_DIR}/vex_resource_builder-config.cmake CONTENT
"if(NOT TARGET vex_resource_builder::vex_resource_builder)
  add_executable(vex_resource_builder::vex_resource_builder IMPORTED)
  set_target_properties(vex_resource_builder::vex_resource_builder PROPERTIES
    IMPORTED_LOCATION \"$<TARGET_FILE:vex_resource_builder>\")
endif()
if(NOT TARGET vex_resource_builder::kit)
  add_library(vex_resource_builder::kit INTERFACE IMPORTED)
  set_target_properties(vex_resource_builder::kit PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES \"${PROJECT_SOURCE_DIR}/include\")
endif()
include(\"${PROJECT_SOURCE_DIR}/cmake/VexResources.cmake\")
")

# The installed package.
set(package_dir ${CMAKE_INSTALL_LIBDIR}/cmake/vex_resource_builder)
install(TARGETS vex_resource_builder EXPORT vex_resource_builder_targets)
install(TARGETS vex_resource_builder_kit EXPORT vex_resource_builder_targets)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(EXPORT vex_resource_builder_targets NAMESPACE vex_resource_builder:: DESTINATION ${package_dir})
set_target_properties(vex_resource_builder_kit PROPERTIES EXPORT_NAME kit)
file(WRITE ${PROJECT_BINARY_DIR}/install/vex_resource_builder-config.cmake
"include(\"\${CMAKE_CURRENT_LIST_DIR}/vex_resource_builder_targets.cmake\")
include(\"\${CMAKE_CURRENT_LIST_DIR}/VexResources.cmake\")
")
install(FILES ${PROJECT_BINARY_DIR}/install/vex_resource_builder-config.cmake ${version_file}
              ${CMAKE_CURRENT_LIST_DIR}/VexResources.cmake ${CMAKE_CURRENT_LIST_DIR}/VexResourcesIndex.cmake
              ${CMAKE_CURRENT_LIST_DIR}/VexResourcesDecoders.cmake
        DESTINATION ${package_dir})

# The kit for pkg-config (and so Meson). Its paths are relative to the
# file's own place, so the same file serves every prefix and the .deb.
set(pkgconfig_dir ${CMAKE_INSTALL_DATADIR}/pkgconfig)
file(RELATIVE_PATH pkgconfig_to_prefix /prefix/${pkgconfig_dir} /prefix)
string(REGEX REPLACE "/$" "" pkgconfig_to_prefix "${pkgconfig_to_prefix}")
configure_file(${CMAKE_CURRENT_LIST_DIR}/vex_resource_builder.pc.in
               ${PROJECT_BINARY_DIR}/install/vex_resource_builder.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/install/vex_resource_builder.pc DESTINATION ${pkgconfig_dir})
