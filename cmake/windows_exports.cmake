# Writes the module-definition files of a Windows DLL from the headers that declare its C
# functions, so that the export table and the headers cannot drift apart:
#   DEF          what the DLL exports: every function by name, each numbered one also at its
#                number as the export ordinal (a declaration whose line ends in "///< N ...")
#   ORDINAL_DEF  the same exports for dlltool's import library of a program that imports the
#                numbered functions by ordinal only (NONAME), the others by name
# Run with cmake -P and:
#   LIBRARY    the DLL's file name
#   NUMBERED   optional: header whose declarations carry their numbers; its other functions are
#              exported by name
#   NAMED      headers (a list, may be empty) whose functions are exported by name only, and
#              the functions their "#define name other_name" lines stand for
#   PATTERN    regular expression of the exported functions' names (for example trelk_[a-z0-9_]+)
#   NM, OBJECTS  optional: nm and object files whose defined C++ functions of NAMESPACE (a
#              mangled prefix such as _ZN5trelk) are exported by name too
cmake_minimum_required(VERSION 3.20)

set(numbered_names)
set(numbered_numbers)
set(named)
set(current "")

macro(declared line)
  if("${line}" MATCHES "^[A-Za-z][^(]*[ *](${PATTERN})\\(")
    set(current "${CMAKE_MATCH_1}")
  endif()
endmacro()

set(lines)
if(NUMBERED)
  file(STRINGS "${NUMBERED}" lines)
endif()
foreach(line IN LISTS lines)
  declared("${line}")
  if(NOT line MATCHES ";" OR current STREQUAL "")
    continue()
  endif()
  if(line MATCHES "///< ([0-9]+)[ ]")
    set(number ${CMAKE_MATCH_1})
    list(FIND numbered_numbers ${number} taken)
    if(NOT taken EQUAL -1)
      message(FATAL_ERROR "${NUMBERED}: number ${number} is given to two entries")
    endif()
    list(APPEND numbered_names ${current})
    list(APPEND numbered_numbers ${number})
  else()
    list(APPEND named ${current})
  endif()
  set(current "")
endforeach()

foreach(header IN LISTS NAMED)
  file(STRINGS "${header}" lines)
  foreach(line IN LISTS lines)
    set(current "")
    declared("${line}")
    # A name that stands for another function: that one is what is called
    if("${line}" MATCHES "^#define [A-Za-z0-9_]+ (${PATTERN})$")
      set(current "${CMAKE_MATCH_1}")
    endif()
    if(NOT current STREQUAL "")
      list(APPEND named ${current})
    endif()
  endforeach()
endforeach()

if(NM AND OBJECTS)
  foreach(object IN LISTS OBJECTS)
    execute_process(COMMAND ${NM} -g --defined-only ${object} OUTPUT_VARIABLE symbols
                    RESULT_VARIABLE failed)
    if(failed)
      message(FATAL_ERROR "${NM} could not read ${object}")
    endif()
    string(REGEX MATCHALL "[ ][TR][ ]${NAMESPACE}[A-Za-z0-9_]+" found "${symbols}")
    foreach(symbol IN LISTS found)
      string(SUBSTRING "${symbol}" 3 -1 symbol)
      list(APPEND named ${symbol})
    endforeach()
  endforeach()
endif()
list(REMOVE_DUPLICATES named)

# The unnumbered exports take ordinals above every number
set(next 1)
foreach(number IN LISTS numbered_numbers)
  if(number GREATER_EQUAL next)
    math(EXPR next "${number} + 1")
  endif()
endforeach()

set(def "LIBRARY ${LIBRARY}\nEXPORTS\n")
set(ordinal_def "${def}")
foreach(name number IN ZIP_LISTS numbered_names numbered_numbers)
  string(APPEND def "    ${name} @${number}\n")
  string(APPEND ordinal_def "    ${name} @${number} NONAME\n")
endforeach()
foreach(name IN LISTS named)
  string(APPEND def "    ${name} @${next}\n")
  string(APPEND ordinal_def "    ${name} @${next}\n")
  math(EXPR next "${next} + 1")
endforeach()
file(WRITE "${DEF}" "${def}")
if(ORDINAL_DEF)
  file(WRITE "${ORDINAL_DEF}" "${ordinal_def}")
endif()
