# The print-queue tests drive the filter's job logic, run the filter and the
# tool as commands, and (where CUPS is installed) run the real print system:
# cupsfilter for a chain, and a cupsd of their own on a loopback port.
target_link_libraries(queue_tests PRIVATE vantik_filter_core vantik_tool_core vantik_resources)
target_compile_options(queue_tests PRIVATE -Wno-deprecated-declarations)
if(VANTIK_BUILD_TOOLS)
  target_compile_definitions(queue_tests PRIVATE
    VANTIK_FILTER_PATH="$<TARGET_FILE:rastertovantik>"
    VANTIK_TOOL_PATH="$<TARGET_FILE:vantik>"
    VANTIK_MIME_TYPES="${PROJECT_SOURCE_DIR}/ppd/vantik.types")
  add_dependencies(queue_tests rastertovantik vantik)
endif()
if(TARGET vantik_ppd)
  target_compile_definitions(queue_tests PRIVATE VANTIK_PPD_PATH="${VANTIK_PPD}")
  add_dependencies(queue_tests vantik_ppd)
endif()
