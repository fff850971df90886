# stable_js.cmake - makes the linked script the same bytes for the same
# inputs. emscripten's data packager writes a fresh random "package_uuid"
# into the script on every link (used only by its optional IndexedDB cache,
# which the page does not use); this replaces it with a name-based UUID made
# from the data package's hash.
#   cmake -DJS=demo.js -DDATA=demo.data -P stable_js.cmake
foreach(var JS DATA)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "stable_js.cmake needs ${var}")
  endif()
endforeach()
file(READ ${JS} script)
set(pattern "\"package_uuid\": *\"[-0-9a-f]+\"")
string(REGEX MATCHALL "${pattern}" found "${script}")
list(LENGTH found count)
if(NOT count EQUAL 1)
  message(FATAL_ERROR "${JS}: expected one package_uuid, found ${count}")
endif()
file(SHA256 ${DATA} data_hash)
string(UUID uuid NAMESPACE 6ba7b811-9dad-11d1-80b4-00c04fd430c8 NAME "${data_hash}" TYPE SHA1)
string(REGEX REPLACE "${pattern}" "\"package_uuid\": \"${uuid}\"" script "${script}")
file(WRITE ${JS}.tmp "${script}")
file(RENAME ${JS}.tmp ${JS})
