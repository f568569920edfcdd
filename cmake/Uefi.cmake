# tolvi.efi and tolvi-sim.efi, built with a second toolchain beside the host
# build: clang compiling for the Microsoft x64 ABI (the calling convention and
# PE/COFF objects of UEFI) and lld-link producing an EFI application. The
# sources are the same lists the host build uses, so code that is not
# freestanding fails here.

find_program(TOLVI_UEFI_CXX NAMES clang++-14 clang++)
find_program(TOLVI_UEFI_LINK NAMES lld-link-14 lld-link)
find_program(TOLVI_UEFI_OBJDUMP NAMES llvm-objdump-14 llvm-objdump)
if(NOT TOLVI_UEFI_CXX OR NOT TOLVI_UEFI_LINK OR NOT TOLVI_UEFI_OBJDUMP)
  message(FATAL_ERROR "The UEFI images need clang++, lld-link and llvm-objdump "
                      "(packages clang, lld, llvm); configure with "
                      "-DTOLVI_BUILD_UEFI=OFF to build without them.")
endif()

# Largest tolvi.efi accepted; it has to fit beside other tools on a small
# FAT stick or in a firmware volume.
set(TOLVI_UEFI_MAX_SIZE 131072 CACHE STRING "Largest tolvi.efi in bytes")

set(_uefi_root ${CMAKE_CURRENT_LIST_DIR}/..)
get_filename_component(_uefi_root ${_uefi_root} ABSOLUTE)

set(TOLVI_UEFI_CXXFLAGS
  -target x86_64-unknown-windows
  -std=c++20 -O2
  -ffreestanding -fshort-wchar -mno-red-zone
  -fno-exceptions -fno-rtti -fno-threadsafe-statics
  -mno-stack-arg-probe -fno-builtin -fno-stack-protector
  -fno-unwind-tables -fno-asynchronous-unwind-tables
  -ffunction-sections -fdata-sections
  # No system or compiler header path at all: only the three headers the
  # program may use are offered (below), so any other include is an error.
  -nostdinc -isystem ${CMAKE_BINARY_DIR}/uefi/include
  ${TOLVI_WARNINGS}
  -I${_uefi_root}/src -I${CMAKE_BINARY_DIR}/generated)
# Only the board model and the harness see the repository root, and with it
# sim/: the program itself cannot include the model.
set(TOLVI_UEFI_SIM_CXXFLAGS -I${_uefi_root})

# stdint.h, stddef.h and stdarg.h forward to the compiler's own copies.
execute_process(COMMAND ${TOLVI_UEFI_CXX} -print-resource-dir
                OUTPUT_VARIABLE _uefi_resource_dir OUTPUT_STRIP_TRAILING_WHITESPACE)
foreach(_header stdint.h stddef.h stdarg.h)
  file(WRITE ${CMAKE_BINARY_DIR}/uefi/include/${_header}.new
       "#include \"${_uefi_resource_dir}/include/${_header}\"\n")
  file(COPY_FILE ${CMAKE_BINARY_DIR}/uefi/include/${_header}.new
       ${CMAKE_BINARY_DIR}/uefi/include/${_header} ONLY_IF_DIFFERENT)
  file(REMOVE ${CMAKE_BINARY_DIR}/uefi/include/${_header}.new)
endforeach()

set(_uefi_obj_dir ${CMAKE_BINARY_DIR}/uefi/obj)

# Compiles each source once into an object under build/uefi/obj and appends
# the object paths to OUT_VAR.
function(tolvi_uefi_compile OUT_VAR)
  set(objects)
  foreach(src IN LISTS ARGN)
    get_filename_component(src ${src} ABSOLUTE)
    file(RELATIVE_PATH rel ${_uefi_root} ${src})
    set(obj ${_uefi_obj_dir}/${rel}.obj)
    get_filename_component(obj_dir ${obj} DIRECTORY)
    file(MAKE_DIRECTORY ${obj_dir})
    add_custom_command(
      OUTPUT ${obj}
      COMMAND ${TOLVI_UEFI_CXX} ${TOLVI_UEFI_CXXFLAGS} ${_uefi_extra_flags} -MD -MF ${obj}.d -c ${src} -o ${obj}
      DEPENDS ${src}
      DEPFILE ${obj}.d
      COMMENT "UEFI: compiling ${rel}"
      VERBATIM)
    list(APPEND objects ${obj})
  endforeach()
  set(${OUT_VAR} ${objects} PARENT_SCOPE)
endfunction()

# Links an EFI application from objects after checking that none of them needs
# static constructors, which nothing in the image would run.
function(tolvi_uefi_link TARGET_NAME OUTPUT MAX_SIZE)
  set(objects ${ARGN})
  set(rsp ${CMAKE_BINARY_DIR}/uefi/${TARGET_NAME}.objects)
  string(REPLACE ";" "\n" rsp_text "${objects}")
  file(WRITE ${rsp} "${rsp_text}\n")
  add_custom_command(
    OUTPUT ${OUTPUT}
    COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${TOLVI_UEFI_OBJDUMP} -DOBJECT_LIST=${rsp}
            -P ${_uefi_root}/cmake/uefi-check.cmake
    COMMAND ${TOLVI_UEFI_LINK} -nodefaultlib -subsystem:efi_application -entry:efi_main
            -opt:ref -opt:icf -out:${OUTPUT} @${rsp}
    COMMAND ${CMAKE_COMMAND} -DIMAGE=${OUTPUT} -DMAX_SIZE=${MAX_SIZE}
            -P ${_uefi_root}/cmake/uefi-check.cmake
    DEPENDS ${objects} ${_uefi_root}/cmake/uefi-check.cmake
    COMMENT "UEFI: linking ${TARGET_NAME}"
    VERBATIM)
  add_custom_target(${TARGET_NAME} ALL DEPENDS ${OUTPUT})
  add_dependencies(${TARGET_NAME} tolvi_uefi_common)
endfunction()

set(_uefi_ports ${TOLVI_UEFI_SOURCES})
list(FILTER _uefi_ports INCLUDE REGEX "/uefi_ports\\.cpp$")
set(_uefi_common ${TOLVI_UEFI_SOURCES})
list(FILTER _uefi_common EXCLUDE REGEX "/uefi_ports\\.cpp$")

tolvi_uefi_compile(_core_objs ${TOLVI_CORE_SOURCES})
tolvi_uefi_compile(_provider_objs ${_uefi_common})
tolvi_uefi_compile(_ports_objs ${_uefi_ports})
tolvi_uefi_compile(_app_tolvi_obj ${_uefi_root}/src/platform/uefi/entry/app_tolvi.cpp)

# Both images use these objects. One target builds them first, so that a
# Makefile build does not compile the same object for both images at once.
add_custom_target(tolvi_uefi_common DEPENDS ${_core_objs} ${_provider_objs})

tolvi_uefi_link(tolvi_efi ${CMAKE_BINARY_DIR}/tolvi.efi ${TOLVI_UEFI_MAX_SIZE}
  ${_app_tolvi_obj} ${_core_objs} ${_provider_objs} ${_ports_objs})

# The harness image: the board model supplies the ports and the clock.
set(_uefi_extra_flags ${TOLVI_UEFI_SIM_CXXFLAGS})
tolvi_uefi_compile(_board_objs ${TOLVI_SIM_SOURCES})
tolvi_uefi_compile(_app_sim_obj ${TOLVI_SIM_UEFI_MAIN_SOURCES})
unset(_uefi_extra_flags)
tolvi_uefi_link(tolvi_sim_efi ${CMAKE_BINARY_DIR}/tolvi-sim.efi 0
  ${_app_sim_obj} ${_board_objs} ${_core_objs} ${_provider_objs})

# The harness keeps all its state in static storage; zero-initialised, it
# belongs in .bss and costs the image nothing.
if(TOLVI_BUILD_TESTS)
  add_test(NAME uefi_sim_state_in_bss
           COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${TOLVI_UEFI_OBJDUMP}
                   -DIMAGE=${CMAKE_BINARY_DIR}/tolvi-sim.efi -DMAX_DATA=4096
                   -P ${_uefi_root}/cmake/uefi-check.cmake)
  set_tests_properties(uefi_sim_state_in_bss PROPERTIES LABELS uefi)
endif()
