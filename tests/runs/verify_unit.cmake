# Installs the build as the package does (prefix /usr, into a DESTDIR staging folder) and runs
# `systemd-analyze verify --user` on the user unit as installed there. The tool checks that
# ExecStart's program exists and is executable on the running system, where /usr/bin/brellis is
# not installed, and it has no --root in user mode: so it verifies a copy of the staged unit
# whose ExecStart names the staged program, all else unchanged, with MANPATH set to the staged
# manual pages, which its Documentation=man: line must find.
# Variables: BUILD_DIR, WORK_DIR, SYSTEMD_ANALYZE.
set(stage ${WORK_DIR}/stage)
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR}/runtime)
execute_process(COMMAND ${CMAKE_COMMAND} -E env DESTDIR=${stage}
                        ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix /usr
                RESULT_VARIABLE installed OUTPUT_QUIET)
if(NOT installed EQUAL 0)
  message(FATAL_ERROR "cmake --install into ${stage} failed: ${installed}")
endif()

set(unit ${stage}/usr/lib/systemd/user/brellis.service)
if(NOT EXISTS ${unit} OR NOT EXISTS ${stage}/usr/bin/brellis)
  message(FATAL_ERROR "the staged package has no ${unit} or no usr/bin/brellis")
endif()
file(READ ${unit} text)
string(FIND "${text}" "\nExecStart=/usr/bin/brellis --resume --unattended\n" at)
if(at EQUAL -1)
  message(FATAL_ERROR "${unit} does not start /usr/bin/brellis --resume --unattended")
endif()
string(REPLACE "\nExecStart=/usr/bin/brellis " "\nExecStart=${stage}/usr/bin/brellis " text
       "${text}")
file(MAKE_DIRECTORY ${WORK_DIR}/check)
file(WRITE ${WORK_DIR}/check/brellis.service "${text}")

# The user manager the tool sets up wants a runtime folder of its own.
execute_process(COMMAND ${CMAKE_COMMAND} -E env XDG_RUNTIME_DIR=${WORK_DIR}/runtime
                        MANPATH=${stage}/usr/share/man
                        ${SYSTEMD_ANALYZE} verify --user ${WORK_DIR}/check/brellis.service
                RESULT_VARIABLE verified OUTPUT_VARIABLE out ERROR_VARIABLE err)
message("${out}${err}")
if(NOT verified EQUAL 0 OR NOT "${out}${err}" STREQUAL "")
  message(FATAL_ERROR "systemd-analyze verify --user found fault with the unit")
endif()
