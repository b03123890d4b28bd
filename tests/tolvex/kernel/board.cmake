# SPDX-License-Identifier: GPL-2.0-only
# tolvex.ko for the board's own kernel (2.6.21.5-cfs-v19, ARM926EJ-S), built
# and checked by scripts/board-module.sh against the bundled tree
# (third_party/board-kernel) and loaded in a real 2.6.21 kernel booted under
# qemu-system-arm (versatilepb, the board's CPU), whose test-only patch gives
# it the board's register windows as RAM pages: the boot runs every command.
# The versatile kernel is built once per build tree and rebuilt only when the
# archive, the patches or its configuration change.
set(BOARD_TREES ${CMAKE_CURRENT_BINARY_DIR}/board-kernel)
set(BOARD_VERSATILE ${BOARD_TREES}/versatile/linux-2.6.21.5-cfs-v19)
set(BOARD_WORK ${CMAKE_CURRENT_BINARY_DIR}/board)
set(BOARD_TEST ${CMAKE_CURRENT_SOURCE_DIR}/board-test.sh)
set(BOARD_MODULE ${PROJECT_SOURCE_DIR}/scripts/board-module.sh)

# The guest's /init: static and freestanding, as no C library of this
# machine runs on 2.6.21.
add_custom_command(
    OUTPUT ${BOARD_WORK}/init
    COMMAND ${CMAKE_COMMAND} -E make_directory ${BOARD_WORK}
    COMMAND arm-linux-gnueabi-gcc ${KIT_ARM_CPU_FLAGS} -Os -static -nostdlib -ffreestanding
            -fno-builtin -fno-pie -no-pie -fno-stack-protector ${kit_warning_flags} -Werror
            -I${PROJECT_SOURCE_DIR}/tolvex -o ${BOARD_WORK}/init
            ${CMAKE_CURRENT_SOURCE_DIR}/board_init.c -lgcc
    DEPENDS board_init.c device_checks.h ${PROJECT_SOURCE_DIR}/tolvex/tolvex.h
    VERBATIM COMMAND_EXPAND_LISTS)

# The user's guide's example program, its source and the line it prints
# taken from the guide (scripts/guide-text.sh), for the load boots.
# Built static against musl: Debian's armel glibc needs a kernel of 3.2 or
# later.
set(BOARD_GUIDE ${PROJECT_SOURCE_DIR}/packaging/README.txt)
set(BOARD_GUIDE_TEXT ${PROJECT_SOURCE_DIR}/scripts/guide-text.sh)
add_custom_command(
    OUTPUT ${BOARD_WORK}/portf ${BOARD_WORK}/portf.want
    COMMAND ${CMAKE_COMMAND} -E make_directory ${BOARD_WORK}
    COMMAND sh -c "\"$1\" source \"$2\" >\"$3.c\" && \"$1\" output \"$2\" >\"$3.want\""
            sh ${BOARD_GUIDE_TEXT} ${BOARD_GUIDE} ${BOARD_WORK}/portf
    COMMAND arm-linux-gnueabi-gcc ${KIT_ARM_CPU_FLAGS} -specs
            /usr/lib/arm-linux-musleabi/musl-gcc.specs -static -O2 -Wall -Wextra -Werror
            -I${PROJECT_SOURCE_DIR}/tolvex -o ${BOARD_WORK}/portf ${BOARD_WORK}/portf.c
    DEPENDS ${BOARD_GUIDE} ${BOARD_GUIDE_TEXT} ${PROJECT_SOURCE_DIR}/tolvex/tolvex.h
    VERBATIM COMMAND_EXPAND_LISTS)
add_custom_target(tolvex_board_init ALL DEPENDS ${BOARD_WORK}/init ${BOARD_WORK}/portf)

function(board_test name)
    cmake_parse_arguments(T "" "" "COMMAND;SETUP;REQUIRES" ${ARGN})
    add_test(NAME tolvex.real-target.board.${name} COMMAND ${T_COMMAND})
    set_tests_properties(tolvex.real-target.board.${name} PROPERTIES LABELS "tolvex;real-target" TIMEOUT 120
                         FIXTURES_SETUP "${T_SETUP}" FIXTURES_REQUIRED "${T_REQUIRES}")
endfunction()

# ~1-2 minutes from scratch; it runs make -j2 itself, so it takes both slots.
board_test(kernel SETUP board_kernel
           COMMAND ${PROJECT_SOURCE_DIR}/scripts/board-kernel.sh versatile ${BOARD_TREES})
set_tests_properties(tolvex.real-target.board.kernel PROPERTIES PROCESSORS 2 TIMEOUT 900)

# The module against the versatile kernel (a KDIR build) and against the
# board's configuration (the bundled-tree build that make dist ships).
board_test(module.versatile SETUP board_ko_versatile REQUIRES board_kernel
           COMMAND ${BOARD_MODULE} build ${BOARD_WORK}/build-versatile ${BOARD_WORK}/versatile.ko
                   KDIR=${BOARD_VERSATILE})
board_test(module.smdk2416 SETUP board_ko_smdk2416
           COMMAND ${BOARD_MODULE} build ${BOARD_WORK}/build-smdk2416 ${BOARD_WORK}/smdk2416.ko
                   TREES=${BOARD_TREES})
# Without -fno-pie the check refuses the module; the kernel must refuse it too.
board_test(module.pie SETUP board_ko_pie REQUIRES board_kernel
           COMMAND ${BOARD_TEST} pie ${BOARD_VERSATILE} ${BOARD_WORK}/pie ${BOARD_WORK}/pie.ko)

# The check refuses a module for another architecture or kernel.
board_test(refuse.x86
           COMMAND ${BOARD_TEST} refused "is not a module for the board"
                   ${BOARD_MODULE} check ${TOLVEX_KO})
board_test(refuse.vermagic REQUIRES board_ko_smdk2416
           COMMAND ${BOARD_TEST} vermagic ${BOARD_WORK}/smdk2416.ko ${BOARD_WORK}/vermagic)

# The module as make dist ships it: debug sections split off, a debuglink
# added; the kernel must load it all the same.
board_test(module.stripped SETUP board_ko_stripped REQUIRES board_ko_smdk2416
           COMMAND ${PROJECT_SOURCE_DIR}/scripts/split-debug.sh arm-linux-gnueabi- --strip-debug
                   ${BOARD_WORK}/smdk2416.ko ${BOARD_WORK}/stripped.ko
                   ${BOARD_WORK}/debug/stripped.ko.debug)

# The module's busy-waits follow the tick rate of the tree it was built
# against: 100 for versatile, 200 for the board's configuration.
foreach(ko versatile smdk2416 stripped)
    board_test(boot.${ko} REQUIRES board_kernel board_ko_${ko}
               COMMAND ${BOARD_TEST} boot load ${BOARD_VERSATILE} ${BOARD_WORK}/${ko}.ko
                       ${BOARD_WORK}/init ${BOARD_WORK}/boot-${ko} ${BOARD_WORK}/portf
                       ${BOARD_WORK}/portf.want)
    if(NOT ko STREQUAL versatile)
        set_tests_properties(tolvex.real-target.board.boot.${ko} PROPERTIES ENVIRONMENT KIT_MODULE_HZ=200)
    endif()
endforeach()
board_test(boot.pie REQUIRES board_kernel board_ko_pie
           COMMAND ${BOARD_TEST} boot refuse ${BOARD_VERSATILE} ${BOARD_WORK}/pie.ko
                   ${BOARD_WORK}/init ${BOARD_WORK}/boot-pie)
