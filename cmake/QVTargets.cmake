# The library is built from a few static layers so that the pure logic can
# never reach the connection or the record-access library by construction:
#
#   qv_platform  host stand-ins (automation runtime, controls, language, clock)
#   qv_pure      pure logic of every subsystem: records, codecs, SQL text,
#                messages, string utilities, generators (no QVSource, no DllParam)
#   qv_dllparam  implementations of the record-access library (embedded, trace)
#   qv_control   the QVSource control and the automation classes (the shell)
#   QVmgr_dll    the shared library that scripts load
#
# Each folder adds its files to these targets with target_sources().
function(qv_library name)
  add_library(${name} STATIC)
  target_link_libraries(${name} PRIVATE qv_warnings)
endfunction()
