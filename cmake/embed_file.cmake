# Turns a file into a C++ byte array: cmake -DINPUT=f -DOUTPUT=f.cc -DSYMBOL=kName -P embed_file.cmake
# defines lectern::kName[] and lectern::kNameSize.
file(READ "${INPUT}" hex HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "(0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,)" "\\1\n" bytes "${bytes}")
get_filename_component(name "${INPUT}" NAME)
file(WRITE "${OUTPUT}.tmp" "// Made from ${name} at build time.\n#include <cstddef>\n#include <cstdint>\n\nnamespace lectern {\n\n"
  "extern const uint8_t ${SYMBOL}[] = {\n${bytes}};\nextern const size_t ${SYMBOL}Size = sizeof(${SYMBOL});\n\n}  // namespace lectern\n")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
