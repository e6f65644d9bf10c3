# The framework-mode benchmark calls log4cxx directly for its anchor.
if(TARGET LogFrameworkBench)
    find_package(log4cxx REQUIRED)
    target_link_libraries(LogFrameworkBench PRIVATE log4cxx)
endif()
