# Stages hlx.exe and its documents for the installer and the archive (packaging/windows/CMakeLists.txt):
#   cmake -DSTAGE=DIR -DPROGRAM=hlx.exe -DSOURCE_DIR=SRC -DHEADER=notices-header.txt "-DNOTICES=a;b" -P stage.cmake
# Text files get Windows line ends (CR LF), so Notepad shows them as written.
file(REMOVE_RECURSE ${STAGE})
file(MAKE_DIRECTORY ${STAGE})
file(COPY_FILE ${PROGRAM} ${STAGE}/hlx.exe)
file(COPY_FILE ${SOURCE_DIR}/docs/job-report.schema.json ${STAGE}/job-report.schema.json)

function(write_crlf path text)
  string(REPLACE "\r\n" "\n" text "${text}")
  string(REPLACE "\n" "\r\n" text "${text}")
  file(WRITE ${path} "${text}")
endfunction()

file(READ ${SOURCE_DIR}/packaging/doc/README readme)
write_crlf(${STAGE}/README.txt "${readme}")
file(READ ${SOURCE_DIR}/packaging/changelog news)
write_crlf(${STAGE}/NEWS.txt "${news}")

file(READ ${HEADER} notices)
foreach(source IN LISTS NOTICES)
  if(NOT EXISTS ${source})
    message(FATAL_ERROR "${source} is missing: the notices cannot be written")
  endif()
  file(READ ${source} text)
  string(APPEND notices "\n\n==============================================================================\n"
                        "${source}\n"
                        "==============================================================================\n\n"
                        "${text}")
endforeach()
write_crlf(${STAGE}/THIRD-PARTY-NOTICES.txt "${notices}")
