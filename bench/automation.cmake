qv_add_bench(automation ${CMAKE_CURRENT_LIST_DIR}/automation_bench.cpp)
target_link_libraries(bench_automation PRIVATE qv_automation)
