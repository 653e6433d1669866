# Runs the real kwnbuild binary the way a user does. Called by CTest with
#   -DKWNBUILD=<tool> -DWRITE_STUB=<stub writer> -DWORK_DIR=<scratch folder> -DMODE=<mode>
# MODE build: a good stub and a TOML file give a launcher with the block behind the stub.
# MODE broken-stub: a stub with bytes behind its image fails with one line and leaves no output.

function(run_kwnbuild)
    execute_process(COMMAND ${KWNBUILD} ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out
                    ERROR_VARIABLE err)
    set(rc "${rc}" PARENT_SCOPE)
    set(out "${out}" PARENT_SCOPE)
    set(err "${err}" PARENT_SCOPE)
endfunction()

function(write_stub)
    execute_process(COMMAND ${WRITE_STUB} ${WORK_DIR}/stub.exe ${ARGN} RESULT_VARIABLE written)
    if(NOT written EQUAL 0)
        message(FATAL_ERROR "could not write the test stub")
    endif()
endfunction()

function(expect_hex file offset hex)
    string(LENGTH "${hex}" digits)
    math(EXPR bytes "${digits} / 2")
    file(READ ${file} actual OFFSET ${offset} LIMIT ${bytes} HEX)
    if(NOT actual STREQUAL hex)
        message(FATAL_ERROR "at ${offset}: expected ${hex}, got ${actual}")
    endif()
endfunction()

file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})

if(MODE STREQUAL "build")
    run_kwnbuild(--help)
    if(NOT rc EQUAL 0 OR NOT out MATCHES "--stub")
        message(FATAL_ERROR "--help failed (${rc}): ${out}${err}")
    endif()
    write_stub()
    file(WRITE ${WORK_DIR}/app.toml "[settings]\n107 = 1\n1000 = \"Café\"\n")
    run_kwnbuild(--stub ${WORK_DIR}/stub.exe --output ${WORK_DIR}/app.exe
                 --config ${WORK_DIR}/app.toml --set 2001=x --set 2001=e)
    if(NOT rc EQUAL 0 OR NOT err STREQUAL "")
        message(FATAL_ERROR "kwnbuild failed (${rc}): ${err}")
    endif()
    file(SIZE ${WORK_DIR}/app.exe size)
    if(NOT size EQUAL 1024)
        message(FATAL_ERROR "expected a 1024-byte launcher, got ${size} bytes")
    endif()
    # Behind the 512-byte stub: magic, header words 0 and 1, length word 50, three narrow entries
    # in key order (107 "1", 1000 "Café" in Windows-1252, 2001 "e" from the last --set),
    # W = G = 0, then the end marker.
    string(CONCAT block "d513e4e8" "00000000" "01000000" "3200000000000000" "03000000"
           "6b000000" "01000000" "31"
           "e8030000" "04000000" "436166e9"
           "d1070000" "01000000" "65"
           "00000000" "00000000" "e8e413d5")
    expect_hex(${WORK_DIR}/app.exe 512 ${block})
elseif(MODE STREQUAL "broken-stub")
    write_stub(--overlay)
    run_kwnbuild(--stub ${WORK_DIR}/stub.exe --output ${WORK_DIR}/app.exe)
    if(rc EQUAL 0 OR NOT err MATCHES "^kwnbuild: stub '[^\n]*': 16 bytes follow the last [^\n]*\n$")
        message(FATAL_ERROR "expected one line on the broken stub, got (${rc}): ${err}")
    endif()
    file(GLOB left RELATIVE ${WORK_DIR} ${WORK_DIR}/*)
    if(NOT left STREQUAL "stub.exe")
        message(FATAL_ERROR "a failed build left files behind: ${left}")
    endif()
else()
    message(FATAL_ERROR "unknown MODE '${MODE}'")
endif()
