target_link_libraries(resources_tests PRIVATE vantik_resources)
# The diffusion tables are judged under the measured printer.
target_link_libraries(resources_tests PRIVATE vantik_printmodel)
# The generator itself, to check that it reproduces the embedded set.
target_compile_definitions(resources_tests PRIVATE
  VANTIK_RESGEN_PATH="$<TARGET_FILE:vantik_resgen>")
add_dependencies(resources_tests vantik_resgen)
