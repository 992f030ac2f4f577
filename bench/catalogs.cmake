qv_add_bench(catalogs ${CMAKE_CURRENT_LIST_DIR}/catalogs_bench.cpp
  ${CMAKE_CURRENT_LIST_DIR}/counting_library.cpp)
target_include_directories(bench_catalogs PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)
target_link_libraries(bench_catalogs PRIVATE qv_control qv_dllparam qv_store_admin)
