# Writes a C++ source holding the viewer module as a byte array, so that the
# quillon command needs no installed files. The module goes inline into an
# HTML page: text that would end or open a script element there is refused.
#   cmake -DINPUT=viewer.js -DOUTPUT=viewer_source.cpp -P embed_viewer.cmake
file(READ "${INPUT}" text)
string(TOLOWER "${text}" lower)
foreach(forbidden "</script" "<script" "<!--")
  string(FIND "${lower}" "${forbidden}" at)
  if(NOT at EQUAL -1)
    message(FATAL_ERROR "${INPUT} holds \"${forbidden}\", which would break the inline page")
  endif()
endforeach()
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" hex_length)
math(EXPR size "${hex_length} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x..,){16})" "\\1\n" bytes "${bytes}")
file(WRITE "${OUTPUT}.tmp"
  "// Generated from viewer/quillon-viewer.js at build time; do not edit.\n"
  "#include \"html5_page.h\"\n\n"
  "namespace quillon {\nnamespace cli {\n\n"
  "const char kViewerSource[] = {\n${bytes}0};\n"
  "const size_t kViewerSourceSize = ${size};\n\n"
  "}  // namespace cli\n}  // namespace quillon\n")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
