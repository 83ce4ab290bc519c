# Copies the application folder's settings and report templates next to the
# executables. Settings a user already edited there are kept.
file(GLOB _files ${SRC}/app/*)
foreach(f ${_files})
  get_filename_component(n ${f} NAME)
  if(NOT EXISTS ${DST}/${n})
    file(COPY ${f} DESTINATION ${DST})
  endif()
endforeach()
file(GLOB _reports ${SRC}/reports/*)
foreach(f ${_reports})
  file(COPY ${f} DESTINATION ${DST}/Report)
endforeach()
