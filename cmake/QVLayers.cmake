# qv_check_layer(<target>): adds the ctest check layers_<target>, which fails
# when a source of target, or a project header it reaches, includes the
# control, the automation objects or an implementation of the record-access
# library (CheckLayers.cmake).
function(qv_check_layer target)
  set(list_file ${CMAKE_BINARY_DIR}/layers/${target}_sources.txt)
  file(GENERATE OUTPUT ${list_file} CONTENT "$<JOIN:$<TARGET_PROPERTY:${target},SOURCES>,\n>\n")
  add_test(NAME layers_${target}
    COMMAND ${CMAKE_COMMAND} -DSOURCES_FILE=${list_file}
            -DBASE_DIR=$<TARGET_PROPERTY:${target},SOURCE_DIR>
            -DPROJECT_DIR=${PROJECT_SOURCE_DIR} -P ${PROJECT_SOURCE_DIR}/cmake/CheckLayers.cmake)
endfunction()

qv_check_layer(qv_pure)

# The check itself must catch a pure file that reaches the control through a
# header of its own: this sample does, and the check has to name it.
set(sample_dir ${CMAKE_BINARY_DIR}/layers/sample)
file(WRITE ${sample_dir}/sample.cpp "#include \"store/records.h\"\n#include \"sample.h\"\n")
file(WRITE ${sample_dir}/sample.h "#include \"connection/qvsource.h\"\n")
file(WRITE ${sample_dir}/sources.txt "${sample_dir}/sample.cpp\n")
add_test(NAME layers_check_catches_a_violation
  COMMAND ${CMAKE_COMMAND} -DSOURCES_FILE=${sample_dir}/sources.txt -DBASE_DIR=${sample_dir}
          -DPROJECT_DIR=${PROJECT_SOURCE_DIR} -P ${PROJECT_SOURCE_DIR}/cmake/CheckLayers.cmake)
set_tests_properties(layers_check_catches_a_violation PROPERTIES
  PASS_REGULAR_EXPRESSION "sample\\.cpp -> sample\\.h includes connection/qvsource\\.h")
