# Run at install time (install(CODE) in packaging/CMakeLists.txt): the manual pages name the
# documentation folder of the installation, which is known only now (/usr/share/doc/... for the
# package, /usr/local/share/doc/... by default). Each page is filled in, compressed as Debian has it
# (gzip -9 without a name or time stamp) and installed; file(INSTALL) honours DESTDIR.
#
# Set by the caller: HLX_MAN_PAGES, HLX_MAN_SOURCE_DIR, HLX_MAN_WORK_DIR, HLX_MAN_INSTALL_DIR (relative
# to the prefix), HLX_DOC_INSTALL_DIR (likewise), HLX_RELEASE_DATE, PROJECT_VERSION.

if(IS_ABSOLUTE "${HLX_DOC_INSTALL_DIR}")
  set(HLX_MAN_DOCDIR "${HLX_DOC_INSTALL_DIR}")
else()
  set(HLX_MAN_DOCDIR "${CMAKE_INSTALL_PREFIX}/${HLX_DOC_INSTALL_DIR}")
endif()
string(REPLACE "-" "\\-" HLX_MAN_DOCDIR "${HLX_MAN_DOCDIR}")
foreach(page IN LISTS HLX_MAN_PAGES)
  configure_file(${HLX_MAN_SOURCE_DIR}/${page}.1.in ${HLX_MAN_WORK_DIR}/${page}.1 @ONLY)
  execute_process(COMMAND gzip -9nf ${HLX_MAN_WORK_DIR}/${page}.1 RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "gzip ${HLX_MAN_WORK_DIR}/${page}.1 failed")
  endif()
  file(INSTALL ${HLX_MAN_WORK_DIR}/${page}.1.gz DESTINATION "${CMAKE_INSTALL_PREFIX}/${HLX_MAN_INSTALL_DIR}/man1"
       FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
endforeach()
