qv_add_bench(records ${CMAKE_CURRENT_LIST_DIR}/records_bench.cpp)
target_link_libraries(bench_records PRIVATE qv_pure)
