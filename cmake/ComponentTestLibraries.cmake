# Small component libraries that the loading guard's tests load and unload: one with both
# entries, one without its terminate entry, one whose initialize entry fails with status 3.
# They land in <build>/tests/components as lib<name>.so (no version suffix: the guard appends
# ".so" to the name it is given).
if(AUT_BUILD_TESTS)
    set(AUT_COMPONENT_DIR ${PROJECT_BINARY_DIR}/tests/components)
    set(AUT_COMPONENT_SOURCE ${PROJECT_SOURCE_DIR}/tests/components/TestComponent.cpp)

    function(aut_test_component name)
        add_library(${name} MODULE ${AUT_COMPONENT_SOURCE})
        aut_target_defaults(${name})
        target_compile_definitions(${name} PRIVATE ${ARGN})
        set_target_properties(${name} PROPERTIES
            PREFIX "lib" SUFFIX ".so" LIBRARY_OUTPUT_DIRECTORY ${AUT_COMPONENT_DIR})
    endfunction()

    aut_test_component(autcomponent_ok)
    aut_test_component(autcomponent_noterminate COMPONENT_WITHOUT_TERMINATE)
    aut_test_component(autcomponent_fails COMPONENT_INITIALIZE_STATUS=3)

    if(TARGET ComponentGuardTest)
        add_dependencies(ComponentGuardTest
            autcomponent_ok autcomponent_noterminate autcomponent_fails)
        target_compile_definitions(ComponentGuardTest PRIVATE
            AUT_COMPONENT_DIR="${AUT_COMPONENT_DIR}")
    endif()
endif()

# The registry benchmark measures against bare SQLite, so it links SQLite itself.
if(TARGET RegistryBench)
    find_package(SQLite3 REQUIRED)
    target_link_libraries(RegistryBench PRIVATE SQLite::SQLite3)
endif()
