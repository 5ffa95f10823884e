# Writes the ```cpp examples of a page (PAGE) into one C++ file (OUT), each in a
# function that declares what the example takes from its surroundings (the
# view, a path, a map to count into, the caller's own reactions), so that the
# compiler holds the page to the headers as they are. A line "..." stands for
# the reader's own code and is left out.
#   cmake -DPAGE=docs/sources-and-sinks.md -DOUT=examples.cpp -P cpp_examples.cmake
cmake_minimum_required(VERSION 3.25)
file(READ "${PAGE}" text)
# CMake lists split at semicolons: C++ has plenty, so they travel as a marker.
string(REPLACE ";" "@SEMICOLON@" text "${text}")
get_filename_component(page_name "${PAGE}" NAME)
set(code "// Generated from docs/${page_name} by tests/docs/cpp_examples.cmake.
#include \"app/tarvik_view.h\"
#include \"core/event.h\"
#include \"core/frame.h\"
#include \"sources/open_source.h\"

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

namespace tarvik::docs_examples {
")
set(count 0)
while(TRUE)
  string(FIND "${text}" "```cpp\n" start)
  if(start EQUAL -1)
    break()
  endif()
  math(EXPR start "${start} + 7")
  string(SUBSTRING "${text}" ${start} -1 text)
  string(FIND "${text}" "```" end)
  if(end EQUAL -1)
    message(FATAL_ERROR "${PAGE}: a ```cpp block is not closed")
  endif()
  string(SUBSTRING "${text}" 0 ${end} example)
  string(REGEX REPLACE "(^|\n)[ \t]*\\.\\.\\.[ \t]*\n" "\\1" example "${example}")
  math(EXPR count "${count} + 1")
  string(APPEND code "
[[maybe_unused]] int example${count}(CMyTarvikView& view, const std::string& what) {
    std::map<std::uint32_t, std::size_t> seen@SEMICOLON@
    auto fail = [](const auto&) { return 1@SEMICOLON@ }@SEMICOLON@
    auto sayTheServerWentAway = [] {}@SEMICOLON@
    (void)view@SEMICOLON@ (void)what@SEMICOLON@ (void)seen@SEMICOLON@ (void)fail@SEMICOLON@ (void)sayTheServerWentAway@SEMICOLON@
${example}    return 0@SEMICOLON@
}
")
endwhile()
if(count EQUAL 0)
  message(FATAL_ERROR "${PAGE}: no ```cpp example found")
endif()
string(APPEND code "\n} // namespace tarvik::docs_examples\n")
string(REPLACE "@SEMICOLON@" ";" code "${code}")
file(WRITE "${OUT}" "${code}")
