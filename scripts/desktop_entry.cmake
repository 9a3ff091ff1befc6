# Writes the viewer's desktop entry: the template with the MIME types of the formats the
# library reads, as the tool lists them from the format registry (velora mime-types).
#   cmake -DVELORA=path/to/velora -DTEMPLATE=in -DOUTPUT=out [-DGLOBS=globs2] -P desktop_entry.cmake
set(args mime-types)
if(GLOBS)
  list(APPEND args --globs ${GLOBS})
endif()
execute_process(COMMAND ${VELORA} ${args} OUTPUT_VARIABLE TESSEL_MIME_TYPES RESULT_VARIABLE status
                OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT status EQUAL 0 OR TESSEL_MIME_TYPES STREQUAL "")
  message(FATAL_ERROR "velora mime-types failed (${status}): is shared-mime-info installed?")
endif()
configure_file(${TEMPLATE} ${OUTPUT} @ONLY)
