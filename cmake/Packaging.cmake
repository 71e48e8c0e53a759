# Installs the public headers and libraries with a package configuration, so that a host project
# can say find_package(velTesseraComm) and link velTesseraComm::<library>.
include(CMakePackageConfigHelpers)

set(VEL_CONFIG_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/velTesseraComm)

install(EXPORT velTesseraCommTargets
        NAMESPACE velTesseraComm::
        DESTINATION ${VEL_CONFIG_DIR})

configure_package_config_file(cmake/velTesseraCommConfig.cmake.in
                              ${CMAKE_CURRENT_BINARY_DIR}/velTesseraCommConfig.cmake
                              INSTALL_DESTINATION ${VEL_CONFIG_DIR})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/velTesseraCommConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/velTesseraCommConfig.cmake
              ${CMAKE_CURRENT_BINARY_DIR}/velTesseraCommConfigVersion.cmake
        DESTINATION ${VEL_CONFIG_DIR})

# What a host compiles against: velcom's headers and the automation contract's.
add_library(headers INTERFACE)
target_link_libraries(headers INTERFACE contract)
add_library(velTesseraComm::headers ALIAS headers)
install(TARGETS headers EXPORT velTesseraCommTargets)
