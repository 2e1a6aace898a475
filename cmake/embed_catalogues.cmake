# Writes a C++ source that holds the bytes of compiled message catalogues
# and defines twMsg_BuiltinCatalogue (twlib/err/msgfile.h) over them.
#   cmake -DOUTPUT=file.cpp -DCATALOGUES="twlib;tslib" -DDIR=dir -P embed_catalogues.cmake
# reads DIR/<name>.tmb for every name.
set(text "// Generated from the compiled message catalogues; do not edit.\n")
string(APPEND text "#include <string.h>\n\n#include \"twlib/err/msgfile.h\"\n\nnamespace {\n\n")
set(lookup "")
foreach(name ${CATALOGUES})
  file(READ ${DIR}/${name}.tmb hex HEX)
  string(LENGTH "${hex}" digits)
  math(EXPR size "${digits} / 2")
  # Sixteen bytes a line.
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(REPEAT "0x..," 16 line)
  string(REGEX REPLACE "(${line})" "\\1\n    " bytes "${bytes}")
  string(APPEND text "const unsigned char ${name}Bytes[${size}] = {\n    ${bytes}\n};\n\n")
  string(APPEND lookup "    if (strcmp(name, \"${name}\") == 0) {\n"
                       "        *size = sizeof ${name}Bytes;\n"
                       "        return ${name}Bytes;\n    }\n")
endforeach()
string(APPEND text "} // namespace\n\n"
       "const unsigned char *twMsg_BuiltinCatalogue(const char *name, size_t *size)\n{\n"
       "    size_t none;\n    if (!size) size = &none;\n    *size = 0;\n"
       "    if (!name) return nullptr;\n${lookup}    return nullptr;\n}\n")
# Rewritten only when it changes, so that the library is not rebuilt for
# nothing.
file(CONFIGURE OUTPUT ${OUTPUT} CONTENT "${text}" @ONLY)
