// Variable-length texts: (record type, index) -> name and length field.

#include "decode/catalogue/catalogue.h"

namespace tarvik {

void addVarStrings(CatalogueBuilder& c) {
    c.varString(7052, 0, "Directory name", "Directory name length (characters, including NULL)");
    c.varString(7052, 1, "File name", "Filename length (characters, including NULL)");
}

} // namespace tarvik
