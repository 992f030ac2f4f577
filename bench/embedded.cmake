qv_add_bench(embedded ${CMAKE_CURRENT_LIST_DIR}/embedded_bench.cpp)
target_link_libraries(bench_embedded PRIVATE qv_dllparam qv_store_admin)
