# odbtool: the record database tool (list, get, put, del, dump, load, check, stats, convert).
add_executable(odbtool ${CMAKE_CURRENT_LIST_DIR}/odbtool.cpp ${CMAKE_CURRENT_LIST_DIR}/dumptext.cpp
                       ${CMAKE_CURRENT_LIST_DIR}/odbfile.cpp)
target_link_libraries(odbtool PRIVATE toolkit)
