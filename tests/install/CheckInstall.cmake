# Installs the build twice, for one user (--prefix) and staged for a package (DESTDIR),
# and checks each result the way its user meets it. Every check runs; all failures are
# listed at the end.
#   cmake -D BUILD_DIR=... -D SOURCE_DIR=... -D WORK_DIR=... -D PROGRAM_DIR=share/brimlet
#         [-D GROFF=...] [-D MAN=...] [-D SYSTEMD_ANALYZE=...] -P CheckInstall.cmake
cmake_minimum_required(VERSION 3.25)

set(failures)
macro(expect what)
    if(${ARGN})
    else()
        list(APPEND failures "${what}")
        message("FAILED: ${what}")
    endif()
endmacro()

# Runs a command; sets out, err and rc.
macro(run)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
endmacro()

set(prefix ${WORK_DIR}/home/.local)
set(stage ${WORK_DIR}/stage)
set(elsewhere ${WORK_DIR}/elsewhere)
set(runtime ${WORK_DIR}/runtime)
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${elsewhere} ${runtime})
file(CHMOD ${runtime} DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)

# --- Layout of an installation for one user, and of a staged one for a package.
run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "cmake --install --prefix failed: ${out}${err}")
endif()
run(${CMAKE_COMMAND} -E env DESTDIR=${stage} ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix /usr)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "cmake --install with DESTDIR failed: ${out}${err}")
endif()

foreach(root IN ITEMS ${prefix} ${stage}/usr)
    foreach(file IN ITEMS ${PROGRAM_DIR}/brimlet bin/brimlet bin/brimlet-report share/man/man1/brimlet.1
                          share/systemd/user/brimlet.service share/systemd/user/brimlet.timer
                          share/doc/brimlet/contrib/tmux/brimlet.tmux.conf
                          share/doc/brimlet/contrib/waybar/brimlet.json
                          share/doc/brimlet/contrib/i3blocks/brimlet.i3blocks
                          share/doc/brimlet/contrib/conky/brimlet.conkyrc)
        expect("${root}/${file} is installed" EXISTS ${root}/${file})
    endforeach()

    # The link must stay valid when the tree is moved, as a staged one is.
    expect("${root}/bin/brimlet is a link" IS_SYMLINK ${root}/bin/brimlet)
    file(READ_SYMLINK ${root}/bin/brimlet target)
    file(RELATIVE_PATH wanted ${root}/bin ${root}/${PROGRAM_DIR}/brimlet)
    expect("${root}/bin/brimlet points relatively to the program (${target})" target STREQUAL wanted)
endforeach()

# The service names the installed program by its final path: the prefix, never the stage.
set(roots ${prefix} ${stage}/usr)
set(finals ${prefix} /usr)
foreach(root final IN ZIP_LISTS roots finals)
    file(STRINGS ${root}/share/systemd/user/brimlet.service exec REGEX "^ExecStart=")
    expect("service under ${root} runs ${final}/${PROGRAM_DIR}/brimlet (${exec})"
           exec STREQUAL "ExecStart=${final}/${PROGRAM_DIR}/brimlet %%")
endforeach()

# --- The program, started through its link from another folder, keeps its database
# beside the real executable.
run(${CMAKE_COMMAND} -E chdir ${elsewhere} ${CMAKE_COMMAND} -E env LC_ALL=C ${prefix}/bin/brimlet "%Dat today")
expect("brimlet \"%Dat today\" exits 0 (${rc})" rc EQUAL 0)
expect("brimlet \"%Dat today\" prints today's total (${out})" out MATCHES "^[0-9.]+[KMGT]? today$")
expect("the database lies beside the real program" EXISTS ${prefix}/${PROGRAM_DIR}/traffic)
expect("no database in the current folder" NOT EXISTS ${elsewhere}/traffic)
expect("no database beside the link" NOT EXISTS ${prefix}/bin/traffic)

# --- The report, started from the PATH, finds that database beside the real program.
run(${CMAKE_COMMAND} -E env PATH=${prefix}/bin:$ENV{PATH} brimlet-report --days 1)
expect("brimlet-report reads the installed database (${rc}: ${out}${err})" rc EQUAL 0 AND out MATCHES "^Day ")

# --- The waybar module's command prints JSON that carries the text, whatever the
# user's number settings.
file(READ ${SOURCE_DIR}/contrib/waybar/brimlet.json config)
string(JSON command ERROR_VARIABLE error GET "${config}" "custom/brimlet" exec)
expect("waybar module is valid JSON with an exec (${error})" error STREQUAL "NOTFOUND")
foreach(locale IN ITEMS C en_US.UTF-8 fr_FR.UTF-8 de_CH.UTF-8)
    run(${CMAKE_COMMAND} -E env PATH=${prefix}/bin:$ENV{PATH} LC_ALL=${locale} sh -c "${command}")
    string(JSON text ERROR_VARIABLE error GET "${out}" text)
    expect("waybar output under ${locale} is JSON (${out}: ${error})" error STREQUAL "NOTFOUND")
    expect("waybar text under ${locale} reads '<n> up <n> down' (${text})" text MATCHES "^[^ ]+ up [^ ]+ down$")
endforeach()

# --- The manual page renders without a warning, and man finds it through the PATH.
if(GROFF)
    run(${GROFF} -man -Tutf8 -ww -z ${prefix}/share/man/man1/brimlet.1)
    expect("groff renders brimlet.1 cleanly (${rc}: ${err})" rc EQUAL 0 AND err MATCHES "^$")
else()
    expect("groff is there to render the manual page (scripts/install-deps.sh)" FALSE)
endif()
if(MAN)
    run(${CMAKE_COMMAND} -E env --unset=MANPATH PATH=${prefix}/bin:/usr/bin:/bin ${MAN} -w brimlet)
    expect("man finds the page beside ~/.local/bin (${out}${err})"
           out STREQUAL "${prefix}/share/man/man1/brimlet.1\n")
else()
    expect("man is there to look the page up (scripts/install-deps.sh)" FALSE)
endif()

# --- The units pass systemd's own checks, and the timer fires once a minute.
if(SYSTEMD_ANALYZE)
    set(units ${prefix}/share/systemd/user/brimlet.service ${prefix}/share/systemd/user/brimlet.timer
              ${prefix}/share/systemd/user/brimlet-cap.service ${prefix}/share/systemd/user/brimlet-cap.timer)
    run(${CMAKE_COMMAND} -E env XDG_RUNTIME_DIR=${runtime} MANPATH=${prefix}/share/man:
        ${SYSTEMD_ANALYZE} --user verify ${units})
    expect("systemd-analyze verify accepts the units (${rc}: ${out}${err})" rc EQUAL 0 AND err MATCHES "^$")
    file(STRINGS ${prefix}/share/systemd/user/brimlet.timer calendar REGEX "^OnCalendar=")
    string(REPLACE "OnCalendar=" "" calendar "${calendar}")
    run(${SYSTEMD_ANALYZE} calendar "${calendar}")
    string(FIND "${out}" "Normalized form: *-*-* *:*:00\n" at)
    expect("the timer fires at second 0 of every minute (${out})" NOT at EQUAL -1)
else()
    expect("systemd-analyze is there to check the units (scripts/install-deps.sh)" FALSE)
endif()

if(failures)
    list(LENGTH failures count)
    message(FATAL_ERROR "${count} install check(s) failed")
endif()
