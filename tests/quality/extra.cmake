# The report's measuring code, and the tool itself for the report's smoke test.
target_link_libraries(quality_tests PRIVATE vantik_quality vantik_resources)
if(VANTIK_BUILD_TOOLS)
  target_compile_definitions(quality_tests PRIVATE VANTIK_TOOL_PATH="$<TARGET_FILE:vantik>")
  add_dependencies(quality_tests vantik)
endif()
