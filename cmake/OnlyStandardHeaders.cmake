# Fails when a source under FOLDER includes a header other than the C++
# library's (a name with a "." or a "/", like <unistd.h> or <unicode/uregex.h>).
#   cmake -DFOLDER=DIR -P OnlyStandardHeaders.cmake
file(GLOB_RECURSE sources ${FOLDER}/*.h ${FOLDER}/*.cpp)
if(NOT sources)
  message(FATAL_ERROR "no sources under ${FOLDER}")
endif()
set(found "")
foreach(source IN LISTS sources)
  file(STRINGS ${source} lines REGEX "^[ \t]*#[ \t]*include[ \t]*<[^>]*[./][^>]*>")
  foreach(line IN LISTS lines)
    string(APPEND found "\n  ${source}: ${line}")
  endforeach()
endforeach()
if(found)
  message(FATAL_ERROR "system headers included, use platform/ instead:${found}")
endif()
