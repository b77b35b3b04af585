# Writes the simple case folding of Unicode's CaseFolding.txt (statuses C and S) as a sorted
# C++ table: cmake -DINPUT=CaseFolding.txt -DOUTPUT=case_folding.inc -P case_folding.cmake
file(STRINGS "${INPUT}" lines REGEX "^[0-9A-F]+; [CS]; [0-9A-F]+;")
set(body "")
foreach(line IN LISTS lines)
  string(REGEX MATCH "^([0-9A-F]+); [CS]; ([0-9A-F]+);" _ "${line}")
  string(APPEND body "    {0x${CMAKE_MATCH_1}, 0x${CMAKE_MATCH_2}},\n")
endforeach()
list(LENGTH lines count)
file(WRITE "${OUTPUT}.part" "// Generated from ${INPUT} by cmake/case_folding.cmake: ${count} simple case foldings.\n"
  "constexpr std::pair<char32_t, char32_t> kCaseFolding[] = {\n${body}};\n")
file(RENAME "${OUTPUT}.part" "${OUTPUT}")
