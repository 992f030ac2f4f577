qv_add_bench(store_ops ${CMAKE_CURRENT_LIST_DIR}/store_ops_bench.cpp
  ${CMAKE_CURRENT_LIST_DIR}/counting_library.cpp
  ${PROJECT_SOURCE_DIR}/tests/support/topology.cpp)
target_include_directories(bench_store_ops PRIVATE ${PROJECT_SOURCE_DIR}/tests/support ${PROJECT_SOURCE_DIR}/tests/support)
target_link_libraries(bench_store_ops PRIVATE qv_control qv_dllparam qv_store_admin)
