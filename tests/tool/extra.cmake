# End-to-end tests drive the tool's job logic in memory and run the tool
# itself for its command-line behaviour.
target_link_libraries(tool_tests PRIVATE vantik_tool_core vantik_raster_input vantik_resources)
# Tests decode the PNGs the tool writes with libpng.
find_package(PNG REQUIRED)
target_link_libraries(tool_tests PRIVATE PNG::PNG)
if(VANTIK_BUILD_TOOLS)
  target_compile_definitions(tool_tests PRIVATE VANTIK_TOOL_PATH="$<TARGET_FILE:vantik>")
  add_dependencies(tool_tests vantik)
endif()
# Tests write CUPS raster streams with libcups.
find_library(VANTIK_TEST_CUPS cups)
if(VANTIK_TEST_CUPS)
  target_link_libraries(tool_tests PRIVATE ${VANTIK_TEST_CUPS})
  target_compile_definitions(tool_tests PRIVATE VANTIK_TEST_CUPS=1)
endif()
