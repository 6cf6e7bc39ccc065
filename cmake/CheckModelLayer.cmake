# Fails when the model library needs a symbol that the window library or Qt Widgets defines. lld
# resolves symbols across static libraries in any order, so a link alone does not keep the model
# below the windows.
# cmake -DNM=<nm> -DMODEL=<libjex4_model.a> -DCORE=<libjex4_core.a> -DWIDGETS=<libQt6Widgets.so> -P CheckModelLayer.cmake

# Strongly defined symbols of a library; weak ones (inline code, templates) every user emits itself.
function(strong_symbols out library)
  execute_process(COMMAND ${NM} --defined-only ${ARGN} ${library} OUTPUT_VARIABLE text RESULT_VARIABLE rc ERROR_QUIET)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${NM} cannot read ${library}")
  endif()
  string(REGEX MATCHALL "[0-9a-f]+ [TDBRG] [^\n@]+" lines "${text}")
  list(TRANSFORM lines REPLACE "^[0-9a-f]+ [A-Z] " "")
  list(REMOVE_DUPLICATES lines)
  set(${out} ${lines} PARENT_SCOPE)
endfunction()

execute_process(COMMAND ${NM} --undefined-only ${MODEL} OUTPUT_VARIABLE text RESULT_VARIABLE rc ERROR_QUIET)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${NM} cannot read ${MODEL}")
endif()
string(REGEX MATCHALL " U [^\n]+" needed "${text}")
list(TRANSFORM needed REPLACE "^ U " "")
list(REMOVE_DUPLICATES needed)
strong_symbols(own ${MODEL})
list(REMOVE_ITEM needed ${own})

strong_symbols(core ${CORE})
strong_symbols(widgets ${WIDGETS} -D)
# The check must see the libraries, or it would pass whatever the model needs.
if(NOT core OR NOT widgets OR NOT needed)
  message(FATAL_ERROR "no symbols read from ${MODEL}, ${CORE} or ${WIDGETS}")
endif()

set(wrong)
foreach(symbol ${needed})
  list(FIND core ${symbol} inCore)
  list(FIND widgets ${symbol} inWidgets)
  if(inCore GREATER -1)
    list(APPEND wrong "${symbol} (jex4_core)")
  elseif(inWidgets GREATER -1)
    list(APPEND wrong "${symbol} (Qt Widgets)")
  endif()
endforeach()
if(wrong)
  list(JOIN wrong "\n  " lines)
  message(FATAL_ERROR "The model library needs symbols of the windows:\n  ${lines}")
endif()
list(LENGTH needed count)
message(STATUS "The model library needs ${count} symbols, none of jex4_core or Qt Widgets")
