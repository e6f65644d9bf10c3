# The string benchmark measures ICU's own round trip beside the library's as its anchor.
if(TARGET I18NStringBench)
    target_link_libraries(I18NStringBench PRIVATE ICU::uc ICU::i18n)
endif()
