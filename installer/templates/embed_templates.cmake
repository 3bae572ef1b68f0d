# cmake -DTEMPLATE_DIR=<dir> -DOUTPUT=<file.cpp> -P embed_templates.cmake
# Writes each template as a raw string literal; the shell line loses its
# trailing newline (the writer adds it).
set(pairs
    "ScriptShShell=shell.tpl" "ScriptBanner=banner.tpl"
    "ZarvoPrintosxxScript=ZarvoPrintosxx.tpl" "pv4DriverScript=v4DriverScript.tpl"
    "ZarvoQSFScript=ZarvoQSF.tpl" "SimpleScript=SimpleScript.tpl")
set(delim "ZTPL")
set(out "// Generated from installer/templates by embed_templates.cmake; do not edit.\n")
string(APPEND out "#include \"installer/scripts.h\"\n\n")
foreach(pair IN LISTS pairs)
  string(REPLACE "=" ";" parts "${pair}")
  list(GET parts 0 name)
  list(GET parts 1 file)
  file(READ "${TEMPLATE_DIR}/${file}" text)
  if(name STREQUAL "ScriptShShell")
    string(STRIP "${text}" text)
  endif()
  string(FIND "${text}" ")${delim}\"" clash)
  if(NOT clash EQUAL -1)
    message(FATAL_ERROR "${file} contains the raw-string delimiter )${delim}\"")
  endif()
  string(APPEND out "const char *${name} = R\"${delim}(${text})${delim}\";\n")
endforeach()
file(WRITE "${OUTPUT}.tmp" "${out}")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
