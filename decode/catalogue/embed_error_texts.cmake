# Turns the table of operating-system error texts (NUMBER<TAB>TEXT per line)
# into a C++ source file. Run as: cmake -DINPUT=... -DOUTPUT=... -P this-file
file(READ "${INPUT}" content)
if(NOT content MATCHES "\n$")
  string(APPEND content "\n")
endif()
string(REPLACE "\r" "" content "${content}")
string(REPLACE "\\" "\\\\" content "${content}")
string(REPLACE "\"" "\\\"" content "${content}")
string(REGEX REPLACE "([0-9]+)\t([^\n]*)\n" "    {\\1, \"\\2\"},\n" content "${content}")
file(WRITE "${OUTPUT}.tmp"
  "// Generated from data/windows-error-texts.tsv at build time; do not edit.\n"
  "#include \"decode/catalogue/os_error_table.h\"\n\n"
  "namespace tarvik {\n\n"
  "const OsErrorText kOsErrorTexts[] = {\n"
  "${content}"
  "};\n"
  "const std::size_t kOsErrorTextCount = sizeof kOsErrorTexts / sizeof kOsErrorTexts[0];\n\n"
  "} // namespace tarvik\n")
# Only touch the output when it changes, so that an unchanged table does not rebuild.
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
