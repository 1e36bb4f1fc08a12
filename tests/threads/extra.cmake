target_sources(threads_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/threads/engine_a_job.cc)
find_package(Threads REQUIRED)
target_link_libraries(threads_tests PRIVATE Threads::Threads)
