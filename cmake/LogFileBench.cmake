# The log file benchmark measures spdlog's file sink beside the library's writer.
if(TARGET LogFileBench)
    find_package(spdlog REQUIRED)
    target_link_libraries(LogFileBench PRIVATE spdlog::spdlog)
endif()
