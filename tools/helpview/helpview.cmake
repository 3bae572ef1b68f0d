# helpview: the tty help viewer on any help file, page dumps and the help file checker.
add_executable(helpview ${CMAKE_CURRENT_LIST_DIR}/helpview.cpp ${CMAKE_CURRENT_LIST_DIR}/helpcheck.cpp)
target_link_libraries(helpview PRIVATE toolkit)
target_compile_definitions(helpview PRIVATE HELPVIEW_TOOL_DIR="${CMAKE_BINARY_DIR}/nls")
