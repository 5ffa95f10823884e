# Compiles the built-in command definition files into a C++ source file.
# Run as: cmake -DOUTPUT=... -DINPUTS="a;b;c" -P this-file
file(WRITE "${OUTPUT}.tmp" "// Generated from data/layouts/remote-*.yaml at build time; do not edit.\n")
set(index 0)
set(arrays "")
set(entries "")
foreach(input IN LISTS INPUTS)
  get_filename_component(name "${input}" NAME)
  file(READ "${input}" hex HEX)
  string(LENGTH "${hex}" len)
  math(EXPR bytes "${len} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," hex "${hex}")
  string(APPEND arrays "const unsigned char kFile${index}[] = {${hex}};\n")
  string(APPEND entries "    {\"${name}\", std::string_view(reinterpret_cast<const char*>(kFile${index}), ${bytes})},\n")
  math(EXPR index "${index} + 1")
endforeach()
file(APPEND "${OUTPUT}.tmp"
  "#include \"remote/definition_files.h\"\n\n"
  "namespace tarvik::remote {\nnamespace {\n${arrays}}\n\n"
  "const std::vector<DefinitionFile>& builtInDefinitionFiles() {\n"
  "    static const std::vector<DefinitionFile> files = {\n${entries}    };\n"
  "    return files;\n}\n\n} // namespace tarvik::remote\n")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
