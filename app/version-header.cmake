# Writes version.h from version.h.in for a version such as "1.00". The build
# includes this file; the Windows cross-check runs it on its own:
#   cmake -DPORTAUTH_VERSION=1.00 -DVERSION_HEADER=<dir>/version.h -P app/version-header.cmake

function(portauth_write_version_header version output)
    string(REPLACE "." ";" parts "${version}")
    list(GET parts 0 PROJECT_VERSION_MAJOR)
    list(GET parts 1 minor)
    # Leading zeros of the minor version ("1.00") would read as octal in C.
    math(EXPR portauth_version_minor "${minor}")
    set(PROJECT_VERSION "${version}")
    configure_file("${CMAKE_CURRENT_FUNCTION_LIST_DIR}/version.h.in" "${output}" @ONLY)
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
    portauth_write_version_header("${PORTAUTH_VERSION}" "${VERSION_HEADER}")
endif()
