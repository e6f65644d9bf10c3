# The configuration benchmark parses with pugixml directly as its anchor.
if(TARGET ConfigurationBench)
    find_package(pugixml REQUIRED)
    target_link_libraries(ConfigurationBench PRIVATE pugixml::pugixml)
endif()
