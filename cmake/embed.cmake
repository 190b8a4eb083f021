# Writes OUT, a C++ file that holds each of FILES as a character array console_NAME_EXT ending
# in a zero byte: the console's page is built into the player.
set(code "// Made from src/maker/console/ by cmake/embed.cmake: the console's page.\n")
foreach(f ${FILES})
  get_filename_component(name ${f} NAME)
  string(MAKE_C_IDENTIFIER "console_${name}" id)
  file(READ ${f} hex HEX)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," bytes "${hex}")
  string(APPEND code "extern const char ${id}[];\nconst char ${id}[] = {${bytes}0};\n")
endforeach()
file(WRITE ${OUT} "${code}")
