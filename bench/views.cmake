qv_add_bench(views ${CMAKE_CURRENT_LIST_DIR}/views_bench.cpp
  ${CMAKE_CURRENT_LIST_DIR}/counting_library.cpp
  ${PROJECT_SOURCE_DIR}/tests/support/topology.cpp)
target_include_directories(bench_views PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)
target_link_libraries(bench_views PRIVATE qv_control qv_dllparam qv_store_admin)
