# Turns a dissector's code (the Lua runtime, the C plugin's runtime) into a C++
# source file that holds its text as `tarvik::NAME`.
# Run as: cmake -DINPUT=... -DOUTPUT=... [-DNAME=kWiresharkLuaRuntime] -P this-file
if(NOT NAME)
  set(NAME kWiresharkLuaRuntime)
endif()
get_filename_component(inputName "${INPUT}" NAME)
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" hexLength)
math(EXPR size "${hexLength} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," hex "${hex}")
string(REGEX REPLACE "((0x..,){32})" "\\1\n" hex "${hex}")
file(WRITE "${OUTPUT}.tmp"
  "// Generated from decode/${inputName} at build time; do not edit.\n"
  "#include <string_view>\n\nnamespace tarvik {\n\nnamespace {\nconst char kText[] = {\n${hex}0};\n}\n\n"
  "extern const std::string_view ${NAME};\n"
  "const std::string_view ${NAME}(kText, ${size});\n\n} // namespace tarvik\n")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
