# The configuration scaling benchmark parses with pugixml directly as its anchor.
if(TARGET ConfigScalingBench)
    find_package(pugixml REQUIRED)
    target_link_libraries(ConfigScalingBench PRIVATE pugixml::pugixml)
endif()
