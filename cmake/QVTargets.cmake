# The library is built from a few static layers so that the pure logic can
# never reach the connection or the record-access library by construction
# (the ctest check "layers" holds qv_pure to it, see QVLayers.cmake):
#
#   qv_platform      host stand-ins (automation runtime, controls, language, clock)
#   qv_pure          pure logic of every subsystem: records, codecs, SQL text,
#                    messages, string utilities, generators (no QVSource, no DllParam)
#   qv_dllparam_api  the record-access library's interface, header-only
#   qv_control       the QVSource control (links the interface only)
#   qv_dllparam_*    implementations of the record-access library (dllparam/)
#   qv_automation    the automation classes; with the hosts, the only users
#                    of an implementation
#   QVmgr_dll        the shared library that scripts load
#
# Each folder adds its files to these targets with target_sources().
function(qv_library name)
  add_library(${name} STATIC)
  target_link_libraries(${name} PRIVATE qv_warnings)
endfunction()
