# Runs the real kwnbuild binary the way a user does. Called by CTest with
#   -DKWNBUILD=<tool> -DWRITE_STUB=<stub writer> -DWORK_DIR=<scratch folder> -DMODE=<mode>
# MODE build: a good stub and a TOML file give a launcher with the block behind the stub.
# MODE broken-stub: a stub with bytes behind its image fails with one line and leaves no output.
# MODE include: [[file]] and --include give the keys and the records behind the block; a large
#   input prints no progress when standard error is not a terminal.
# MODE include-missing: a missing included file fails with one line and leaves no output.

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
elseif(MODE STREQUAL "include")
    write_stub()
    file(WRITE ${WORK_DIR}/project/src/lib.jar "AB")
    file(WRITE ${WORK_DIR}/project/app.toml
         "[[file]]\nname = \"user/lib.jar\"\nsource = \"src/lib.jar\"\n")
    string(REPEAT "0123456789abcdef" 327681 big) # 5 MiB and 16 bytes, above the progress limit
    file(WRITE ${WORK_DIR}/big.bin "${big}")
    run_kwnbuild(--stub ${WORK_DIR}/stub.exe --output ${WORK_DIR}/app.exe
                 --config ${WORK_DIR}/project/app.toml --include big.bin=${WORK_DIR}/big.bin)
    if(NOT rc EQUAL 0 OR NOT err STREQUAL "")
        message(FATAL_ERROR "kwnbuild failed or printed (${rc}): ${err}")
    endif()
    # Keys 2002 = "2" and 2003 = "user\lib.jar;big.bin", W = G = 0, then the record of lib.jar
    # ("AB" XOR A7) and the size and first bytes of big.bin's record ("0123" XOR A7).
    string(CONCAT block "d513e4e8" "00000000" "01000000" "3900000000000000" "02000000"
           "d2070000" "01000000" "32"
           "d3070000" "14000000" "757365725c6c69622e6a61723b6269672e62696e"
           "00000000" "00000000"
           "0200000000000000" "e6e5"
           "1000500000000000" "97969594")
    expect_hex(${WORK_DIR}/app.exe 512 ${block})
    # 512 + 69 block + 10 + 8 + 5242896 record bytes, then the end marker and padding to 512.
    expect_hex(${WORK_DIR}/app.exe 5243495 "e8e413d5")
    file(SIZE ${WORK_DIR}/app.exe size)
    if(NOT size EQUAL 5243904)
        message(FATAL_ERROR "expected a 5243904-byte launcher, got ${size} bytes")
    endif()
elseif(MODE STREQUAL "include-missing")
    write_stub()
    run_kwnbuild(--stub ${WORK_DIR}/stub.exe --output ${WORK_DIR}/app.exe
                 --include a.jar=${WORK_DIR}/missing.jar)
    if(rc EQUAL 0 OR NOT err MATCHES
       "^kwnbuild: cannot read included file '[^\n]*missing.jar' \\(--include a.jar=[^\n]*\\): [^\n]*\n$")
        message(FATAL_ERROR "expected one line on the missing file, got (${rc}): ${err}")
    endif()
    file(GLOB left RELATIVE ${WORK_DIR} ${WORK_DIR}/*)
    if(NOT left STREQUAL "stub.exe")
        message(FATAL_ERROR "a failed build left files behind: ${left}")
    endif()
else()
    message(FATAL_ERROR "unknown MODE '${MODE}'")
endif()
