# One list per layer, used by the hosted build and by the UEFI build.
set(_root ${CMAKE_CURRENT_LIST_DIR}/..)
file(GLOB TOLVI_CORE_SOURCES CONFIGURE_DEPENDS
  ${_root}/src/*.cpp ${_root}/src/app/*.cpp ${_root}/src/hw/*.cpp ${_root}/src/flash/*.cpp
  ${_root}/src/diag/*.cpp ${_root}/src/platform/*.cpp)
# The board model and the harness core (freestanding, also built for UEFI).
file(GLOB TOLVI_SIM_SOURCES CONFIGURE_DEPENDS
  ${_root}/sim/*.cpp ${_root}/sim/flash/*.cpp)
list(FILTER TOLVI_SIM_SOURCES EXCLUDE REGEX "sim_main_(hosted|uefi)\\.cpp$")
file(GLOB TOLVI_HOSTED_SOURCES CONFIGURE_DEPENDS ${_root}/src/platform/hosted/*.cpp)
file(GLOB TOLVI_LINUX_SOURCES CONFIGURE_DEPENDS ${_root}/src/platform/linux/*.cpp)
set(TOLVI_SIM_MAIN_SOURCES ${_root}/sim/sim_main_hosted.cpp)
set(TOLVI_SIM_UEFI_MAIN_SOURCES ${_root}/sim/sim_main_uefi.cpp)
file(GLOB TOLVI_UEFI_SOURCES CONFIGURE_DEPENDS ${_root}/src/platform/uefi/*.cpp)
