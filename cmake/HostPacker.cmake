# The packer (marrowdale-pack) as a program of the build host, which
# add_stub_installer runs to make every launcher.
#
# - ZOLT_PACKER set: that prebuilt packer (e.g. from the release archive).
# - A build for the host itself: the packer target of this tree.
# - A cross build (the mingw toolchain): the tree's packer built once more
#   with the host's compiler and no toolchain file, in <build>/host-packer;
#   only the marrowdale-pack target is compiled there, and it is brought up
#   to date on every build (a no-op unless a packer source changed).
#
# Sets ZOLT_PACK_COMMAND (the packer, for a rule's command), ZOLT_PACK_FILE
# (its file, for a link dependency) and ZOLT_PACK_DEPENDS (what a rule
# running it depends on: its file and the target making it).
set(ZOLT_PACKER "" CACHE FILEPATH "A marrowdale-pack for the build host (empty: built from this tree)")

if(ZOLT_PACKER)
    set(ZOLT_PACK_COMMAND "${ZOLT_PACKER}")
    set(ZOLT_PACK_FILE "${ZOLT_PACKER}")
    set(ZOLT_PACK_DEPENDS "${ZOLT_PACKER}")
elseif(NOT CMAKE_CROSSCOMPILING)
    set(ZOLT_PACK_COMMAND $<TARGET_FILE:marrowdale-pack>)
    set(ZOLT_PACK_FILE $<TARGET_FILE:marrowdale-pack>)
    set(ZOLT_PACK_DEPENDS marrowdale-pack)
else()
    get_filename_component(_zolt_host_packer_root ${CMAKE_CURRENT_LIST_DIR}/.. ABSOLUTE)
    set(_zolt_host_packer_dir ${CMAKE_BINARY_DIR}/host-packer)
    set(ZOLT_PACK_COMMAND ${_zolt_host_packer_dir}/packer/marrowdale-pack)
    set(ZOLT_PACK_FILE ${ZOLT_PACK_COMMAND})
    if(NOT TARGET zolt_host_packer)
        include(ExternalProject)
        # The host's own compiler: nothing of the cross build's settings
        # is passed on; the native preset's build type. No tests.
        ExternalProject_Add(zolt_host_packer
            SOURCE_DIR ${_zolt_host_packer_root}
            BINARY_DIR ${_zolt_host_packer_dir}
            PREFIX ${CMAKE_BINARY_DIR}/host-packer-steps
            CMAKE_ARGS -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZOLT_TESTS=OFF
            BUILD_COMMAND ${CMAKE_COMMAND} --build ${_zolt_host_packer_dir} --target marrowdale-pack
            BUILD_ALWAYS ON
            BUILD_BYPRODUCTS ${ZOLT_PACK_COMMAND}
            INSTALL_COMMAND "")
    endif()
    set(ZOLT_PACK_DEPENDS zolt_host_packer ${ZOLT_PACK_COMMAND})
endif()
