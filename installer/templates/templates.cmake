# Embeds the script templates of this folder into the installer as C string
# constants, at build time, with CMake alone.
set(SCRIPT_TEMPLATE_DIR ${CMAKE_CURRENT_LIST_DIR})
set(SCRIPT_TEMPLATE_FILES
    ${SCRIPT_TEMPLATE_DIR}/shell.tpl ${SCRIPT_TEMPLATE_DIR}/banner.tpl
    ${SCRIPT_TEMPLATE_DIR}/ZarvoPrintosxx.tpl ${SCRIPT_TEMPLATE_DIR}/v4DriverScript.tpl
    ${SCRIPT_TEMPLATE_DIR}/ZarvoQSF.tpl ${SCRIPT_TEMPLATE_DIR}/SimpleScript.tpl)
set(SCRIPT_TEMPLATE_OUT ${CMAKE_BINARY_DIR}/generated/script_templates.cpp)
add_custom_command(
  OUTPUT ${SCRIPT_TEMPLATE_OUT}
  COMMAND ${CMAKE_COMMAND} -DTEMPLATE_DIR=${SCRIPT_TEMPLATE_DIR}
          -DOUTPUT=${SCRIPT_TEMPLATE_OUT} -P ${SCRIPT_TEMPLATE_DIR}/embed_templates.cmake
  DEPENDS ${SCRIPT_TEMPLATE_FILES} ${SCRIPT_TEMPLATE_DIR}/embed_templates.cmake
  COMMENT "Embedding script templates"
  VERBATIM)
target_sources(installer PRIVATE ${SCRIPT_TEMPLATE_OUT})
