qv_add_bench(connection ${CMAKE_CURRENT_LIST_DIR}/connection_bench.cpp
  ${CMAKE_CURRENT_LIST_DIR}/counting_library.cpp
  ${PROJECT_SOURCE_DIR}/tests/support/embedded_store.cpp
  ${PROJECT_SOURCE_DIR}/tests/support/scratch.cpp)
target_include_directories(bench_connection PRIVATE ${PROJECT_SOURCE_DIR}/tests ${PROJECT_SOURCE_DIR}/tests/support)
target_link_libraries(bench_connection PRIVATE qv_control qv_dllparam qv_store_admin)
