# Turns a text file into a C++ source that holds it as one string.
file(READ "${INPUT}" content)
file(WRITE "${OUTPUT}.tmp"
  "// Generated from ${INPUT}\nnamespace qir::sim {\nextern const char kDefaultMachineText[];\nconst char kDefaultMachineText[] = R\"QIRTEXT(${content})QIRTEXT\";\n}\n")
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
