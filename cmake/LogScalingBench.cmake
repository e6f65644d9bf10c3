# The log scaling benchmark writes through spdlog and log4cxx beside the library's writer.
if(TARGET LogScalingBench)
    find_package(spdlog REQUIRED)
    find_package(log4cxx REQUIRED)
    target_link_libraries(LogScalingBench PRIVATE spdlog::spdlog log4cxx)
endif()
