# Turns the built-in layout definition files into a C++ source file that holds
# their texts. Run as: cmake -DOUTPUT=... -DFILES="a.yaml;b.yaml" -P this-file
# (FILES in load order).
set(body "")
set(index "")
set(n 0)
foreach(path IN LISTS FILES)
  get_filename_component(name "${path}" NAME)
  file(READ "${path}" hex HEX)
  string(LENGTH "${hex}" hexLength)
  math(EXPR size "${hexLength} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," hex "${hex}")
  string(REGEX REPLACE "((0x..,){32})" "\\1\n" hex "${hex}")
  string(APPEND body "const char kFile${n}[] = {\n${hex}0};\n")
  string(APPEND index "        {\"${name}\", std::string_view(kFile${n}, ${size})},\n")
  math(EXPR n "${n} + 1")
endforeach()
file(WRITE "${OUTPUT}.tmp"
  "// Generated from data/layouts/ at build time; do not edit.\n"
  "#include \"decode/layout_loader.h\"\n\n"
  "namespace tarvik {\n\nnamespace {\n${body}} // namespace\n\n"
  "const std::vector<EmbeddedLayoutFile>& builtInLayoutFiles() {\n"
  "    static const std::vector<EmbeddedLayoutFile> files = {\n${index}    };\n"
  "    return files;\n}\n\n} // namespace tarvik\n")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
