# Writes OUTPUT, a header that holds the manual's sections from "## Directives" up to
# "## Error messages" (directives, data definitions, instructions) as one string: the language
# server's help on a word is read from them, so the forms are written once, in the manual.
# Run as: cmake -DMANUAL=docs/manual.md -DOUTPUT=manual_text.h -P embed_manual.cmake
file(READ "${MANUAL}" text)
string(FIND "${text}" "\n## Directives\n" start)
string(FIND "${text}" "\n## Error messages\n" end)
if(start EQUAL -1 OR end EQUAL -1 OR NOT end GREATER start)
  message(FATAL_ERROR "${MANUAL}: the sections \"## Directives\" to \"## Error messages\" were not found")
endif()
math(EXPR length "${end} - ${start} + 1")
string(SUBSTRING "${text}" ${start} ${length} part)
string(FIND "${part}" ")orbasm_manual\"" clash)
if(NOT clash EQUAL -1)
  message(FATAL_ERROR "${MANUAL}: the text holds the raw string's delimiter")
endif()
file(WRITE "${OUTPUT}.new"
  "// Generated at build time from docs/manual.md by tools/embed_manual.cmake; do not edit.\n"
  "#pragma once\n#include <string_view>\n\n"
  "inline constexpr std::string_view manual_instruction_text = R\"orbasm_manual(${part})orbasm_manual\";\n")
file(COPY_FILE "${OUTPUT}.new" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.new")
