# String databases of the translated-string service.
#
# The catalogue tool nlscat turns each <language>.txt of this directory into
# ${NLS_TOOL_DIR}/db/<language>/CoreString.odb, next to a copy of trans.conf, so
# that ${NLS_TOOL_DIR} serves as the tool directory (pToolPath) of tests and demos.
set(NLS_TOOL_DIR ${CMAKE_BINARY_DIR}/nls)
set(NLS_LANGUAGES en_US de_DE fr_FR)

add_executable(nlscat ${CMAKE_SOURCE_DIR}/tools/nlscat/nlscat.cpp
                      ${CMAKE_SOURCE_DIR}/tools/nlscat/catalog.cpp)
target_link_libraries(nlscat PRIVATE toolkit)

file(MAKE_DIRECTORY ${NLS_TOOL_DIR}/db)
set(NLS_OUTPUTS ${NLS_TOOL_DIR}/trans.conf)
add_custom_command(OUTPUT ${NLS_TOOL_DIR}/trans.conf
    COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_CURRENT_LIST_DIR}/trans.conf ${NLS_TOOL_DIR}/trans.conf
    DEPENDS ${CMAKE_CURRENT_LIST_DIR}/trans.conf VERBATIM)
foreach(lang ${NLS_LANGUAGES})
    set(src ${CMAKE_CURRENT_LIST_DIR}/${lang}.txt)
    set(out ${NLS_TOOL_DIR}/db/${lang}/CoreString.odb)
    add_string_database(${out} ${src} "the ${lang} string database")
    list(APPEND NLS_OUTPUTS ${out})
endforeach()
add_custom_target(nls_catalogs ALL DEPENDS ${NLS_OUTPUTS})
