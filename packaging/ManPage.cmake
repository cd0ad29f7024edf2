# Writes the gzipped manual page of one program from its --help and --version
# output with help2man.  Run as a script:
#
#   cmake -DPROGRAM=... -DOUTPUT=....1.gz -DNAME="one-line summary" -DVERSION=1.7.1
#         -DHELP2MAN=... -DGZIP=... [-DINCLUDE=extra-sections.h2m] -DSCRATCH=dir -P ManPage.cmake
#
# A program may print its help on standard error, or exit non-zero after it,
# or not know --version yet; the page is still made, with the project's
# version, instead of failing the build or coming out empty.
foreach(var PROGRAM OUTPUT NAME VERSION HELP2MAN GZIP SCRATCH)
  if(NOT DEFINED ${var} OR "${${var}}" STREQUAL "")
    message(FATAL_ERROR "ManPage.cmake: ${var} is not set")
  endif()
endforeach()
get_filename_component(program_name "${PROGRAM}" NAME)

# The page must not depend on who builds it: no stored settings, no session
# bus (a client could otherwise start the desktop program), no display, and a
# fixed language.
file(MAKE_DIRECTORY "${SCRATCH}/config")
set(ENV{KELVARAN_CONFIG_DIR} "${SCRATCH}/config")
set(ENV{XDG_CONFIG_HOME} "${SCRATCH}/config")
set(ENV{DBUS_SESSION_BUS_ADDRESS} "unix:path=${SCRATCH}/no-bus")
set(ENV{QT_QPA_PLATFORM} "offscreen")
set(ENV{LC_ALL} "C.UTF-8")
unset(ENV{LANGUAGE})

execute_process(COMMAND "${PROGRAM}" --help
                RESULT_VARIABLE help_result OUTPUT_VARIABLE help_out ERROR_VARIABLE help_err TIMEOUT 30)
execute_process(COMMAND "${PROGRAM}" --version
                RESULT_VARIABLE version_result OUTPUT_VARIABLE version_out ERROR_VARIABLE version_err TIMEOUT 30)

set(options --no-info "--name=${NAME}")
if(help_out STREQUAL "")
  if(help_err STREQUAL "")
    message(FATAL_ERROR "${program_name} --help printed nothing (exit status ${help_result})")
  endif()
  # The help goes to standard error: take it from there.
  list(APPEND options --no-discard-stderr)
endif()
# Only a --version that succeeds and names this release is trusted; anything
# else (a usage message, an error, an old number) is replaced by the release.
string(FIND "${version_out}" "${VERSION}" version_at)
if(NOT version_result EQUAL 0 OR version_at EQUAL -1)
  list(APPEND options "--version-string=${VERSION}")
endif()
if(DEFINED INCLUDE AND NOT INCLUDE STREQUAL "")
  list(APPEND options "--include=${INCLUDE}")
endif()

set(page "${SCRATCH}/${program_name}.1")
file(REMOVE "${page}")
execute_process(COMMAND "${HELP2MAN}" ${options} "--output=${page}" "${PROGRAM}"
                RESULT_VARIABLE result ERROR_VARIABLE errors TIMEOUT 60)
if(NOT result EQUAL 0 OR NOT EXISTS "${page}")
  message(FATAL_ERROR "help2man failed for ${program_name}: ${errors}")
endif()
file(SIZE "${page}" page_size)
if(page_size EQUAL 0)
  message(FATAL_ERROR "help2man wrote an empty page for ${program_name}")
endif()

# -n: no name or time stamp in the gzip header, so equal pages give equal files.
execute_process(COMMAND "${GZIP}" -9 -n -c "${page}" OUTPUT_FILE "${OUTPUT}.tmp" RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  file(REMOVE "${OUTPUT}.tmp")
  message(FATAL_ERROR "gzip failed for ${page}")
endif()
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
