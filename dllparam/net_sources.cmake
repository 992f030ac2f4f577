# The network client and the source server of the record-access library.
# The wire codec is a library of its own so that the fuzzer and the corpus
# replay build it without the rest.
qv_library(qv_netcodec)
target_sources(qv_netcodec PRIVATE ${CMAKE_CURRENT_LIST_DIR}/net_protocol.cpp)
target_include_directories(qv_netcodec PUBLIC ${PROJECT_SOURCE_DIR})
target_sources(qv_dllparam PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/net_socket.cpp
  ${CMAKE_CURRENT_LIST_DIR}/net_client.cpp
  ${CMAKE_CURRENT_LIST_DIR}/net_server.cpp)
target_link_libraries(qv_dllparam PUBLIC qv_netcodec)
