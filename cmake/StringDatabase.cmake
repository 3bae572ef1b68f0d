# add_string_database(out src what): builds the string database `out` from the
# catalogue text `src` with the nlscat tool (tools/nlscat).
include_guard(GLOBAL)
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/nls)
function(add_string_database out src what)
  get_filename_component(dir ${out} DIRECTORY)
  add_custom_command(OUTPUT ${out}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
      COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=0
              $<TARGET_FILE:nlscat> build ${out} ${src}
      DEPENDS nlscat ${src}
      WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/nls
      COMMENT "Building ${what}" VERBATIM)
endfunction()
