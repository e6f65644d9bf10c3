# The tool's tests run the built `aut` as a child process, and drive its terminal progress
# box directly.
if(TARGET ToolTest AND TARGET aut-tool)
    add_dependencies(ToolTest aut-tool)
    target_sources(ToolTest PRIVATE ${PROJECT_SOURCE_DIR}/tools/aut/TerminalProgressBox.cpp)
    target_include_directories(ToolTest PRIVATE ${PROJECT_SOURCE_DIR}/tools/aut)
endif()
