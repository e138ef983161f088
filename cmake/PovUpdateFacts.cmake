# povupdate_result_codes(<output>): the result codes of interface/povupdate.h,
# each enumerator with the comment above it (on one line or more), as rows
# of C++ for the command-line host:
# {POVUPDATE_OK, "POVUPDATE_OK", "success ..."},
# An enumerator without its comment stops the configuration.
function(povupdate_result_codes output)
  set(header ${PROJECT_SOURCE_DIR}/interface/povupdate.h)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${header})
  file(READ ${header} text)
  string(REGEX MATCHALL "POVUPDATE_[A-Z_]+ = [0-9]+" enumerators "${text}")
  string(REGEX MATCHALL "/\\* [^*]+ \\*/\n  POVUPDATE_[A-Z_]+ = [0-9]+" rows "${text}")
  list(LENGTH enumerators wanted)
  list(LENGTH rows found)
  if(NOT wanted EQUAL found)
    message(FATAL_ERROR "${header}: ${wanted} result codes, ${found} with their meaning above them")
  endif()
  set(table "// Made from interface/povupdate.h by cmake/PovUpdateFacts.cmake.\n")
  foreach(row IN LISTS rows)
    string(REGEX REPLACE "^/\\* ([^*]+) \\*/\n  (POVUPDATE_[A-Z_]+) = [0-9]+$" "\\2;\\1" parts "${row}")
    list(GET parts 0 name)
    list(GET parts 1 meaning)
    # A meaning too long for one line goes on in the next.
    string(REGEX REPLACE "[ \n]+" " " meaning "${meaning}")
    string(REPLACE "\\" "\\\\" meaning "${meaning}")
    string(REPLACE "\"" "\\\"" meaning "${meaning}")
    string(APPEND table "{${name}, \"${name}\", \"${meaning}\"},\n")
  endforeach()
  file(CONFIGURE OUTPUT ${output} CONTENT "${table}" @ONLY)
endfunction()
