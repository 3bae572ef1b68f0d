# Builds the sample distribution (build/sample-dist) from sample/pkg and the
# installer, with make-dist.sh.
file(GLOB_RECURSE SAMPLE_PKG_FILES CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/pkg/*)
set(SAMPLE_DIST ${CMAKE_BINARY_DIR}/sample-dist)
add_custom_command(
  OUTPUT ${SAMPLE_DIST}/disks
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${SAMPLE_DIST}
  COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/make-dist.sh --setup $<TARGET_FILE:setup> ${SAMPLE_DIST}
  DEPENDS setup ${SAMPLE_PKG_FILES} ${CMAKE_CURRENT_LIST_DIR}/make-dist.sh
  COMMENT "Making the sample distribution"
  VERBATIM)
add_custom_target(sample_dist ALL DEPENDS ${SAMPLE_DIST}/disks)
