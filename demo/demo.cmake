# The toolkit demo: a settings menu for the product's print queues, with texts
# from its own string catalogues and a help file opened with "h".
set(QUEUEDEMO_TOOL_DIR ${CMAKE_BINARY_DIR}/nls)
add_executable(queuedemo ${CMAKE_CURRENT_LIST_DIR}/queuedemo.cpp)
target_link_libraries(queuedemo PRIVATE toolkit)
target_compile_definitions(queuedemo PRIVATE
    QUEUEDEMO_TOOL_DIR="${QUEUEDEMO_TOOL_DIR}"
    QUEUEDEMO_HELP="${CMAKE_CURRENT_LIST_DIR}/help/queues.html")

set(QUEUEDEMO_OUTPUTS)
foreach(lang en_US de_DE fr_FR)
    set(src ${CMAKE_CURRENT_LIST_DIR}/catalog/${lang}.txt)
    set(out ${QUEUEDEMO_TOOL_DIR}/db/${lang}/QueueDemo.odb)
    add_string_database(${out} ${src} "the ${lang} demo catalogue")
    list(APPEND QUEUEDEMO_OUTPUTS ${out})
endforeach()
add_custom_target(queuedemo_catalogs ALL DEPENDS ${QUEUEDEMO_OUTPUTS})
add_dependencies(queuedemo queuedemo_catalogs)
