# Installation: libraries, headers, catalogs and the tool under a prefix, with an exported
# CMake package (find_package(aut) -> aut::aut) and a pkg-config file (aut.pc).
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(AUT_INSTALL_TARGETS aut ${AUT_PLATFORM_TARGETS})
# Installed binaries find their libraries beside them, wherever the prefix is.
set_target_properties(${AUT_INSTALL_TARGETS} PROPERTIES INSTALL_RPATH "$ORIGIN")
if(TARGET aut-tool)
    set_target_properties(aut-tool PROPERTIES INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}")
    install(TARGETS aut-tool RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

install(TARGETS ${AUT_INSTALL_TARGETS} EXPORT autTargets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
    INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/aut)

file(GLOB AUT_PUBLIC_HEADERS ${PROJECT_SOURCE_DIR}/include/*.h
     ${PROJECT_SOURCE_DIR}/platform/*/include/*.h)
install(FILES ${AUT_PUBLIC_HEADERS} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/aut)

file(GLOB AUT_CATALOGS ${PROJECT_SOURCE_DIR}/messages/*.msg)
install(FILES ${AUT_CATALOGS} ${PROJECT_SOURCE_DIR}/messages/README.md
        DESTINATION ${CMAKE_INSTALL_DATADIR}/aut/messages)

install(EXPORT autTargets NAMESPACE aut:: DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/aut)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/autConfig.cmake.in
    ${PROJECT_BINARY_DIR}/autConfig.cmake
    INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/aut)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/autConfigVersion.cmake
    VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/autConfig.cmake ${PROJECT_BINARY_DIR}/autConfigVersion.cmake
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/aut)

set(AUT_PC_LIBS "")
foreach(target ${AUT_INSTALL_TARGETS})
    get_target_property(outputName ${target} OUTPUT_NAME)
    if(NOT outputName)
        set(outputName ${target})
    endif()
    string(APPEND AUT_PC_LIBS " -l${outputName}")
endforeach()
configure_file(${PROJECT_SOURCE_DIR}/cmake/aut.pc.in ${PROJECT_BINARY_DIR}/aut.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/aut.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# The example consumer, built against an installation made for the test.
# Sanitizer builds are left out: a plain consumer cannot link their instrumented libraries.
if(AUT_BUILD_TESTS AND NOT AUT_SANITIZE AND NOT AUT_TSAN)
    add_test(NAME InstalledPackage.ExampleConsumerBuildsAndRuns
        COMMAND ${CMAKE_COMMAND} -DBUILD_DIR=${PROJECT_BINARY_DIR}
                -DSOURCE_DIR=${PROJECT_SOURCE_DIR} -DGENERATOR=${CMAKE_GENERATOR}
                -P ${PROJECT_SOURCE_DIR}/cmake/TestInstalledPackage.cmake.script)
    set_tests_properties(InstalledPackage.ExampleConsumerBuildsAndRuns PROPERTIES TIMEOUT 600
        LABELS tool)
endif()
