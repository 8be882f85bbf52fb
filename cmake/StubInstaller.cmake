# add_stub_installer(<target>
#     PACKAGE <arch> <file> [NAME <file name>]   (one per package, in order)
#     [CERTIFICATE <der file>]...               (the carried certificates)
#     [SPLASH <png file>]                       (resource 102, type PNG)
#     [ALLOW_EMPTY_PACKAGES]                    (test containers only)
#     [DEPENDS <targets or files>...])
#
# Builds a launcher executable <target> that carries the packages as its
# payload container ("MANIFEST", "HDR_00".., "BIN_00".., language 1033) and
# the certificate table. <arch> is 1 (all hosts), 2 (x86), 3 (x86-64) or
# 4 (ARM64). The inputs are checked when the container is written
# (tools/make-container.py): a bad architecture, a name that does not fit
# its field, an empty package or more than 255 packages stop the build with
# a message naming the input.
#
# The launcher's code comes from ZOLT_STUB_LIBRARY (the launcher library)
# and ZOLT_STUB_SOURCES (main and the launcher's own resources).
find_package(Python3 REQUIRED COMPONENTS Interpreter)

function(add_stub_installer target)
    set(args)
    set(deps)
    set(mode "")
    set(have_package FALSE)
    foreach(a IN LISTS ARGN)
        if(a STREQUAL "PACKAGE")
            set(mode PACKAGE)
            set(npkg 0)
            set(have_package TRUE)
        elseif(a STREQUAL "NAME" AND mode STREQUAL "PACKAGE_DONE")
            set(mode NAME)
        elseif(a STREQUAL "CERTIFICATE" OR a STREQUAL "SPLASH" OR a STREQUAL "DEPENDS")
            set(mode ${a})
        elseif(a STREQUAL "ALLOW_EMPTY_PACKAGES")
            list(APPEND args --allow-empty-packages)
            set(mode "")
        elseif(mode STREQUAL "PACKAGE")
            if(npkg EQUAL 0)
                list(APPEND args --package ${a})
            else()
                list(APPEND args ${a})
                list(APPEND deps ${a})
                set(mode PACKAGE_DONE)
            endif()
            math(EXPR npkg "${npkg} + 1")
        elseif(mode STREQUAL "NAME")
            list(APPEND args --name ${a})
            set(mode "")
        elseif(mode STREQUAL "CERTIFICATE" OR mode STREQUAL "SPLASH")
            string(TOLOWER ${mode} opt)
            list(APPEND args --${opt} ${a})
            list(APPEND deps ${a})
            set(mode "")
        elseif(mode STREQUAL "DEPENDS")
            list(APPEND deps ${a})
        else()
            message(FATAL_ERROR "add_stub_installer(${target}): unexpected argument '${a}'")
        endif()
    endforeach()
    if(mode STREQUAL "PACKAGE")
        message(FATAL_ERROR "add_stub_installer(${target}): PACKAGE needs an architecture and a file")
    endif()

    set(dir ${CMAKE_CURRENT_BINARY_DIR}/${target}-container)
    add_custom_command(OUTPUT ${dir}/container.rc ${dir}/certificates.cpp
        COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/tools/make-container.py --output-dir ${dir} ${args}
        DEPENDS ${PROJECT_SOURCE_DIR}/tools/make-container.py ${deps}
        COMMENT "Writing the payload container of ${target}"
        VERBATIM)
    add_executable(${target} WIN32 ${ZOLT_STUB_SOURCES} ${dir}/container.rc ${dir}/certificates.cpp)
    target_link_libraries(${target} PRIVATE ${ZOLT_STUB_LIBRARY})
    target_compile_options(${target} PRIVATE ${ZOLT_WARNINGS} -fno-exceptions -fno-rtti)
    # The resource compiler does not track the files a .rc pulls in: a
    # changed package or icon must still rebuild the launcher.
    set_source_files_properties(${dir}/container.rc PROPERTIES OBJECT_DEPENDS "${deps}")
    foreach(src IN LISTS ZOLT_STUB_SOURCES)
        if(src MATCHES "\\.rc$")
            set_source_files_properties(${src} PROPERTIES OBJECT_DEPENDS "${ZOLT_STUB_RESOURCE_DEPENDS}")
        endif()
    endforeach()
    # The runtime's own process entry instead of the C runtime's start-up.
    # Sections aligned to pages in the file too: the package resources are
    # then written straight from page-aligned views of the image.
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
        set(entry _RTNoCrtExeStartup@0)
    else()
        set(entry RTNoCrtExeStartup)
    endif()
    target_link_options(${target} PRIVATE -mwindows -nostartfiles -Wl,-e,${entry} -Wl,--file-alignment=4096)
endfunction()
