# Turns the dissector's Lua code into a C++ source file that holds its text.
# Run as: cmake -DINPUT=... -DOUTPUT=... -P this-file
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" hexLength)
math(EXPR size "${hexLength} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," hex "${hex}")
string(REGEX REPLACE "((0x..,){32})" "\\1\n" hex "${hex}")
file(WRITE "${OUTPUT}.tmp"
  "// Generated from decode/wireshark_lua_runtime.lua at build time; do not edit.\n"
  "#include <string_view>\n\nnamespace tarvik {\n\nnamespace {\nconst char kText[] = {\n${hex}0};\n}\n\n"
  "extern const std::string_view kWiresharkLuaRuntime;\n"
  "const std::string_view kWiresharkLuaRuntime(kText, ${size});\n\n} // namespace tarvik\n")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
