# cmake -DINPUT=<file> -DOUTPUT=<file.cpp> -DSYMBOL=<name> -P embed.cmake
# Writes a source defining the file's bytes as `const uint8_t <name>[]`
# and its size as `const size_t <name>Size`, for files the packer carries.
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" digits)
math(EXPR size "${digits} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "(0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,)" "\\1\n"
    bytes "${bytes}")
file(WRITE "${OUTPUT}.tmp" "/* Generated from ${INPUT} by packer/embed.cmake. */\n"
    "#include \"embedded.h\"\n\n"
    "const uint8_t ${SYMBOL}[] = {\n${bytes}0};\n"
    "const size_t ${SYMBOL}Size = ${size};\n")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
