# state_layout.cmake - writes the header that gives the process-wide state's
# layout number (cmake -DSRC=src -DOUT=FILE -P state_layout.cmake).
#
# The studio and the scene library it loads must agree on every variable of
# the process-wide state and on the scene table's record: the number is a
# hash of the declarations that fix them, the headers of src/state and
# src/scenes/scene_table.h and every header of src/ they include, read with
# comments and spacing taken out (an edited comment changes nothing; any
# other change to those headers does, and then the library is refused until
# the studio is rebuilt). STATE_LAYOUT_FILES gives each of those headers
# with a digest of its own ("src/state/state.h=1a2b3c4d;..."), so that a
# refused library names the header that changed. The file is written only
# when the number changes, so nothing that includes it is compiled again for
# nothing.
file(GLOB pending ${SRC}/state/*.h)
list(APPEND pending ${SRC}/scenes/scene_table.h)
set(seen)
set(text)
set(files)
while(pending)
  list(POP_FRONT pending header)
  list(FIND seen "${header}" at)
  if(NOT at EQUAL -1 OR NOT EXISTS "${header}")
    continue()
  endif()
  list(APPEND seen "${header}")
  file(READ "${header}" body)
  string(REGEX MATCHALL "#[ \t]*include[ \t]*\"[^\"]+\"" includes "${body}")
  foreach(line ${includes})
    string(REGEX REPLACE ".*\"([^\"]+)\"" "\\1" name "${line}")
    list(APPEND pending "${SRC}/${name}")
  endforeach()
  string(REGEX REPLACE "/\\*([^*]|\\*+[^*/])*\\*+/" " " body "${body}")
  string(REGEX REPLACE "//[^\n]*" "" body "${body}")
  string(REGEX REPLACE "[ \t\r\n]+" " " body "${body}")
  file(RELATIVE_PATH name "${SRC}" "${header}")
  string(APPEND text "${name}\n${body}\n")
  string(SHA256 one "${body}")
  string(SUBSTRING "${one}" 0 8 one)
  string(APPEND files "src/${name}=${one};")
endwhile()
string(SHA256 digest "${text}")
string(SUBSTRING "${digest}" 0 8 number)
set(content "// Made by cmake/state_layout.cmake from the headers of the process-wide state.\n#pragma once\n#define STATE_LAYOUT 0x${number}u\n#define STATE_LAYOUT_FILES \"${files}\"\n")
if(EXISTS "${OUT}")
  file(READ "${OUT}" old)
  if(old STREQUAL content)
    return()
  endif()
endif()
file(WRITE "${OUT}" "${content}")
