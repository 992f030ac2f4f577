qv_add_bench(netload ${CMAKE_CURRENT_LIST_DIR}/netload.cpp)
target_link_libraries(bench_netload PRIVATE qv_dllparam qv_store_admin)
