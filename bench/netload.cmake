qv_add_bench(netload ${CMAKE_CURRENT_LIST_DIR}/netload.cpp)
target_link_libraries(bench_netload PRIVATE qv_dllparam qv_store_admin)
# The memory benchmark runs the real server as a process of its own.
add_dependencies(bench_netload qvsource)
target_compile_definitions(bench_netload PRIVATE QV_QVSOURCE_PATH="$<TARGET_FILE:qvsource>")
