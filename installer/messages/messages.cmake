# Turns the message tables and the agreement texts of this folder into one
# generated C++ source of the installer library, through the small msggen
# program built here first.
set(MSG_DIR ${CMAKE_SOURCE_DIR}/installer/messages)
set(MSG_OUT ${CMAKE_BINARY_DIR}/generated/installer_messages_data.cpp)

file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/generated)
add_executable(msggen ${MSG_DIR}/msggen.cpp)

# Table name and file; the first one is the reference for the others.
set(MSG_TABLES
    NLS_ENGLISH english NLS_SPANISH spanish NLS_ITALIAN italian
    NLS_FRENCH french NLS_GERMAN german NLS_PORTUGUESE portuguese)
# Agreement pointer and language key.
set(MSG_AGREEMENTS
    pEnglishEULA en_US pSpanishEULA es_ES pItalianEULA it_IT pFrenchEULA fr_FR
    pGermanEULA ge_GE pPortugueseEULA pr_BR pCzechEULA cs_CZ pFinnishEULA fi_FI
    pHungarianEULA hu_HU pDutchEULA nl_NL pNorwegianEULA no_NO pPolishEULA pl_PL
    pRussianEULA ru_RU pSwedishEULA sv_SE pTurkishEULA tr_TR pDanishEULA da_DK)

set(MSG_ARGS)
set(MSG_INPUTS)
function(msg_add option pairs suffix prefix)
    set(args ${MSG_ARGS})
    set(inputs ${MSG_INPUTS})
    list(LENGTH pairs n)
    math(EXPR last "${n} - 1")
    foreach(i RANGE 0 ${last} 2)
        math(EXPR j "${i} + 1")
        list(GET pairs ${i} name)
        list(GET pairs ${j} file)
        set(path ${MSG_DIR}/${prefix}${file}${suffix})
        list(APPEND args ${option} ${name} ${path})
        list(APPEND inputs ${path})
    endforeach()
    set(MSG_ARGS ${args} PARENT_SCOPE)
    set(MSG_INPUTS ${inputs} PARENT_SCOPE)
endfunction()
msg_add(-t "${MSG_TABLES}" .msg "")
msg_add(-x "${MSG_AGREEMENTS}" .txt eula_)

add_custom_command(
    OUTPUT ${MSG_OUT}
    COMMAND msggen ${MSG_OUT} ${MSG_ARGS}
    DEPENDS msggen ${MSG_INPUTS}
    COMMENT "Generating the built-in messages and agreements"
    VERBATIM)
target_sources(installer PRIVATE ${MSG_OUT})
