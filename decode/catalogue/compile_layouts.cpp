// The build's layout compiler: loads the built-in definition files with the
// program's own loader and budgets and writes the C++ source of the image the
// program reads at start instead of parsing them. A problem in a built-in file
// fails the build with the loader's own message.
//
//     compile_layouts OUTPUT.cpp FILE.yaml...   (files in load order)
//
// The output names no paths of the machine it was made on, and is replaced
// only when its content changes.

#include "decode/layout_image.h"
#include "decode/layout_loader.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace tarvik {
// The compiler is the one program without an image or embedded texts of its
// own: it makes the image from the files it is given.
const std::vector<EmbeddedLayoutFile>& builtInLayoutFiles() {
    static const std::vector<EmbeddedLayoutFile> none;
    return none;
}
std::string_view builtInLayoutImage() { return {}; }
} // namespace tarvik

namespace {

// The bytes as adjacent string literals of printable text and octal escapes
// (three digits each, so a following digit never joins an escape).
std::string literal(const std::string& bytes) {
    std::string out = "    \"";
    std::size_t column = 0;
    for (unsigned char c : bytes) {
        if (column >= 100) {
            out += "\"\n    \"";
            column = 0;
        }
        if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\' && c != '?') {
            out += static_cast<char>(c);
            ++column;
        } else {
            char esc[5];
            std::snprintf(esc, sizeof esc, "\\%03o", c);
            out += esc;
            column += 4;
        }
    }
    return out + "\"";
}

bool readFile(const std::string& path, std::string& text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream s;
    s << in.rdbuf();
    text = s.str();
    return static_cast<bool>(in) || in.eof();
}

} // namespace

int main(int argc, char** argv) {
    using namespace tarvik;
    if (argc < 3) {
        std::cerr << "usage: compile_layouts OUTPUT.cpp FILE.yaml...\n";
        return 2;
    }
    const std::string output = argv[1];
    std::vector<std::string> names, texts;
    for (int i = 2; i < argc; ++i) {
        std::string text;
        if (!readFile(argv[i], text)) {
            std::cerr << argv[i] << ": cannot be read\n";
            return 1;
        }
        names.push_back(std::filesystem::path(argv[i]).filename().string());
        texts.push_back(std::move(text));
    }
    std::vector<EmbeddedLayoutFile> files;
    for (std::size_t i = 0; i < names.size(); ++i) files.push_back({names[i], texts[i]});

    LayoutLoader loader;
    loader.addBuiltInTexts(files);
    // The problems of the files themselves, and those found when their
    // references are resolved (a copy is finished; the loader stays as it is).
    const LoadedDefinitions checked = LayoutLoader(loader).finish();
    if (!checked.problems.empty()) {
        for (const LayoutProblem& p : checked.problems) std::cerr << p.message() << "\n";
        std::cerr << "the built-in layout files have problems\n";
        return 1;
    }
    const std::string image = loader.builtInImage();
    LoaderDefinitions back;
    if (!readLayoutImage(image, back)) {
        std::cerr << "the layout image cannot be read back\n";
        return 1;
    }

    std::string source =
        "// Made by the build from the built-in layout definition files; do not edit.\n"
        "#include \"decode/layout_image.h\"\n\n"
        "namespace tarvik {\n\n"
        "namespace {\n"
        "const char kImage[] =\n" +
        literal(image) +
        ";\n} // namespace\n\n"
        "std::string_view builtInLayoutImage() { return {kImage, sizeof kImage - 1}; }\n\n"
        "} // namespace tarvik\n";

    std::string old;
    if (readFile(output, old) && old == source) return 0;
    const std::string temporary = output + ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << source;
        out.close();
        if (!out) {
            std::cerr << temporary << ": cannot be written\n";
            std::filesystem::remove(temporary);
            return 1;
        }
    }
    std::error_code ec;
    std::filesystem::rename(temporary, output, ec);
    if (ec) {
        std::cerr << output << ": " << ec.message() << "\n";
        std::filesystem::remove(temporary);
        return 1;
    }
    return 0;
}
