# The framework record benchmark logs through log4cxx directly as its anchor.
if(TARGET LogFrameworkBench)
    find_package(log4cxx REQUIRED)
    target_link_libraries(LogFrameworkBench PRIVATE log4cxx)
endif()
