qv_add_bench(odbc ${CMAKE_CURRENT_LIST_DIR}/odbc_bench.cpp ${PROJECT_SOURCE_DIR}/tests/support/odbc_databases.cpp)
target_include_directories(bench_odbc PRIVATE ${PROJECT_SOURCE_DIR}/tests ${PROJECT_SOURCE_DIR}/tests/support)
target_link_libraries(bench_odbc PRIVATE qv_control qv_dllparam_odbc qv_store_admin PkgConfig::ODBC)
