# add_stub_installer(<target>
#     PACKAGE <arch> <file> [NAME <file name>]   (one per package, in order)
#     [CERTIFICATE <der file>]...               (the carried certificates)
#     [SPLASH <png file>]                       (resource 102, type PNG)
#     [SIGN_PKCS12 <file> | SIGN_KEY <pem file> SIGN_CERT <certificate file>
#      | SIGN_COMMAND <command line> SIGN_CERT <certificate file>]
#     [SIGN_PASSWORD_FILE <file>]               (the key's password)
#     [SIGN_DESCRIPTION <text>] [SIGN_URL <url>] (the signature's program name and link)
#     [TIMESTAMP_URL <url>]                     (an RFC 3161 time-stamp server)
#     [SIGN_PACKAGES]                           (sign the .msi packages too)
#     [PRODUCT_NAME <text>] [COMPANY_NAME <text>] [COPYRIGHT <text>]
#     [VERSION <n>[.<n>[.<n>[.<n>]]]] [VERSION_TEXT <text>]
#     [ICON <ico file>]
#     [EXECUTION_LEVEL requireAdministrator|highestAvailable|asInvoker]
#     [DPI_AWARE ON|OFF] [LONG_PATH_AWARE ON|OFF]
#     [MUTEX_NAME <name>]
#     [ALLOW_EMPTY_PACKAGES]                    (test containers only)
#     [ALLOW_MISFITS]                           (test containers only: packages and certificates
#                                                of any kind, architecture and key usage)
#     [DEPENDS <targets or files>...])
#
# Builds a launcher executable <target> that carries the packages as its
# payload container ("MANIFEST", "HDR_00".., "BIN_00".., language 1033) and
# the certificate table ("CERTS"). <arch> is 1 (all hosts), 2 (x86), 3 (x86-64) or
# 4 (ARM64). The inputs are checked when the container is written
# (tools/make-container.py): a missing package, certificate or splash file,
# a certificate that is not DER (a PEM one with the command converting it)
# or has no code-signing extended key usage, a splash picture that is not a
# PNG, a bad architecture, a package that does not fit its architecture (1
# must be a cabinet, 2, 3 and 4 a Windows Installer package whose Template
# names Intel, x64 or Arm64) or whose file name does not end in .cab or .msi
# as its kind, a name that does not fit its field, an empty package or more
# than 255 packages stop the build with a message naming the input (the
# vendor's file, also for a package signed on the way). A certificate that
# is neither the launcher's signer nor the signer of a signed package gets
# a warning naming both. Relative paths are taken from the calling
# directory's source folder (its build folder for files a rule there
# makes).
#
# Identity (tools/make-identity.py): who the launcher says it is (its texts
# as the resource "IDENTITY"). Without an option the launcher has the demo
# product's value, given here.
# - PRODUCT_NAME ("Marrowdale Installer"): the caption of every message
#   box, the splash window's title, the help's first line, the product in
#   the sentences of the help and the messages ("Forces <name> to get
#   re-installed"; the default title's sentences say "Marrowdale"), and
#   the version record's ProductName and FileDescription.
# - COMPANY_NAME ("Marrowdale"), COPYRIGHT (none): CompanyName and
#   LegalCopyright of the version record; an empty one is left out.
# - VERSION ("7.2.0"): one to four numbers 0..65535. The version record's
#   binary FILEVERSION and PRODUCTVERSION take them padded with 0 to four,
#   as do its FileVersion text and the manifest's assembly version.
# - VERSION_TEXT (VERSION; without VERSION "7.2.0r169963"): what --version
#   ("Version: <text>") and the help show, and the version record's
#   ProductVersion text.
# - ICON (a generated 32 and 16 pixel icon): an .ico file, every image of
#   it kept; 16, 32, 48 and 256 pixels serve every view of Windows.
# - EXECUTION_LEVEL (requireAdministrator), DPI_AWARE (OFF),
#   LONG_PATH_AWARE (OFF): the manifest's requestedExecutionLevel, dpiAware
#   and longPathAware (both left out when OFF).
# - MUTEX_NAME ("QuorStubInstaller"): the single-instance mutex. While a
#   launcher runs, another with the same name exits with 1 ("Another
#   installer is already running"): every vendor sets a name of their own.
#   A backslash only after the namespace "Global" or "Local".
# The version record's InternalName and OriginalFilename follow the
# target's real output file name. A bad value stops the build at its start
# with a message naming the option and the value.
#
# Signing (tools/sign-authenticode.py, osslsigncode): with a key the linked
# launcher is signed with Authenticode (SHA-256) in place, and its unsigned
# image is kept as <target>-container/unsigned/<file name> in the calling
# directory's build folder (target property ZOLT_STUB_UNSIGNED_FILE). With
# SIGN_PACKAGES every package whose file name ends in ".msi" is signed
# with the same key before it goes into the container (target property
# ZOLT_STUB_SIGNED_PACKAGES lists the signed copies). SIGN_COMMAND signs
# with a command of the signer's instead (a key in a hardware module or a
# signing service): one command line with the placeholders {in}, {out},
# {description}, {url} and {timestamp_url} (sign-authenticode.py tells
# their rules); SIGN_CERT is the certificate it signs with. The signature's
# program name is SIGN_DESCRIPTION, by default the product's name; its link
# SIGN_URL, by default none. The key files are checked first: a missing
# file, an empty password file, a wrong password, a key that does not
# belong to the certificate stop the build with a message naming the file. Every signed
# file must verify with the signing certificate before it takes its name.
# The signing time is SOURCE_DATE_EPOCH when that is set; a change of it or
# of a signing option signs launcher and packages again (an options stamp
# rewritten only when they change).
#
# The container, the identity, the key check and the signed packages are
# made by the target <target>_container, which waits for nothing the launcher links, so
# a bad input stops the build at its start.
#
# Reproducible: the same inputs and toolchain give the same unsigned
# launcher, byte for byte, whatever the build folder: no link time in the
# PE header, no build paths (-ffile-prefix-map), resources in the order
# given; MinSizeRel builds are stripped.
#
# The launcher's code comes from ZOLT_STUB_LIBRARY (the launcher library)
# and ZOLT_STUB_SOURCES (main); the values they have when this file is
# included become the defaults of every call, also from another project
# that adds this tree with add_subdirectory (see README.md), as does
# ZOLT_STUB_ICON, the default icon. A caller may set any of them for its
# own launchers.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
include(${CMAKE_CURRENT_LIST_DIR}/HostPacker.cmake)
foreach(var ZOLT_STUB_LIBRARY ZOLT_STUB_SOURCES ZOLT_STUB_ICON ZOLT_WARNINGS ZOLT_NO_EXCEPTIONS Python3_EXECUTABLE)
    set_property(GLOBAL PROPERTY _${var}_DEFAULT "${${var}}")
endforeach()

# _zolt_stub_input(<deps var> <path var> <file>): the absolute path of an
# input in <path var>, appended to the list <deps var> when the file exists
# or a rule known so far makes it. Any other file is left to the build
# step that reads it, which names it in its refusal, and sets untracked in
# the caller: the steps then mark the build for configuring again (see
# add_stub_installer), so that the file becomes a dependency once it is
# there.
function(_zolt_stub_input deps_var path_var file)
    if(IS_ABSOLUTE "${file}")
        set(abs "${file}")
    elseif(EXISTS "${CMAKE_CURRENT_SOURCE_DIR}/${file}")
        set(abs "${CMAKE_CURRENT_SOURCE_DIR}/${file}")
    else()
        set(abs "${CMAKE_CURRENT_BINARY_DIR}/${file}")
        get_source_file_property(generated "${abs}" GENERATED)
        if(NOT generated)
            set(abs "${CMAKE_CURRENT_SOURCE_DIR}/${file}")
        endif()
    endif()
    cmake_path(NORMAL_PATH abs)
    get_source_file_property(generated "${abs}" GENERATED)
    if(EXISTS "${abs}" OR generated)
        set(${deps_var} ${${deps_var}} "${abs}" PARENT_SCOPE)
    else()
        set(untracked TRUE PARENT_SCOPE)
    endif()
    set(${path_var} "${abs}" PARENT_SCOPE)
endfunction()

# _zolt_stub_identity(<dir> <file name>): the command writing <dir>/identity.rc
# and <dir>/identity.bin for the identity options in the caller's
# opt_<option> variables (opt_ICON the icon's absolute path), setting those
# not given to their defaults; the files it reads are appended to the
# caller's identity_deps. <file name> is the launcher's output file name.
macro(_zolt_stub_identity dir file_name)
    if(NOT DEFINED opt_VERSION_TEXT)
        if(DEFINED opt_VERSION)
            set(opt_VERSION_TEXT "${opt_VERSION}")
        else()
            set(opt_VERSION_TEXT "7.2.0r169963")
        endif()
    endif()
    if(NOT DEFINED opt_ICON)
        set(opt_ICON "${ZOLT_STUB_ICON}")
        list(APPEND identity_deps "${opt_ICON}")
    endif()
    set(_identity_args)
    foreach(_default "PRODUCT_NAME=Marrowdale Installer" "COMPANY_NAME=Marrowdale" "COPYRIGHT=" "VERSION=7.2.0"
            "VERSION_TEXT=" "ICON=" "EXECUTION_LEVEL=requireAdministrator" "DPI_AWARE=OFF" "LONG_PATH_AWARE=OFF"
            "MUTEX_NAME=QuorStubInstaller")
        string(REGEX MATCH "^[A-Z_]+" _kw "${_default}")
        if(NOT DEFINED opt_${_kw})
            string(LENGTH "${_kw}=" _skip)
            string(SUBSTRING "${_default}" ${_skip} -1 opt_${_kw})
        endif()
        string(TOLOWER "${_kw}" _opt)
        string(REPLACE "_" "-" _opt "${_opt}")
        # One argument each, "--name=value": an empty value stays an argument.
        list(APPEND _identity_args "--${_opt}=${opt_${_kw}}")
    endforeach()
    set(_identity_tool ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/../tools/make-identity.py)
    set(_identity_template ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/../installer/stub.manifest.in)
    cmake_path(NORMAL_PATH _identity_tool)
    cmake_path(NORMAL_PATH _identity_template)
    list(APPEND identity_deps ${_identity_tool} ${_identity_template})
    add_custom_command(OUTPUT ${dir}/identity.rc ${dir}/identity.bin ${dir}/launcher.manifest
        ${mark_untracked}
        COMMAND ${Python3_EXECUTABLE} ${_identity_tool} --output-dir ${dir} --manifest-template ${_identity_template}
            --file-name ${file_name} ${_identity_args}
        DEPENDS ${identity_deps}
        COMMENT "Writing the launcher's identity into ${dir}"
        VERBATIM)
endmacro()

# _zolt_stub_default_identity(<dir>): <dir>/identity.bin with the default
# identity, for the unit tests of the launcher library.
function(_zolt_stub_default_identity dir)
    foreach(var ZOLT_STUB_ICON Python3_EXECUTABLE)
        if(NOT DEFINED ${var})
            get_property(${var} GLOBAL PROPERTY _${var}_DEFAULT)
        endif()
    endforeach()
    set(identity_deps)
    set(mark_untracked)
    _zolt_stub_identity(${dir} MarrowdaleInstaller.exe)
endfunction()

function(add_stub_installer target)
    foreach(var ZOLT_STUB_LIBRARY ZOLT_STUB_SOURCES ZOLT_STUB_ICON ZOLT_WARNINGS ZOLT_NO_EXCEPTIONS Python3_EXECUTABLE)
        if(NOT DEFINED ${var})
            get_property(${var} GLOBAL PROPERTY _${var}_DEFAULT)
        endif()
    endforeach()
    if(NOT ZOLT_STUB_LIBRARY OR NOT ZOLT_STUB_SOURCES)
        message(FATAL_ERROR "add_stub_installer(${target}): the launcher library is not known; add the "
            "launcher's source tree first (add_subdirectory) and build for Windows (its toolchain file)")
    endif()
    set(tools ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/../tools)
    cmake_path(NORMAL_PATH tools)
    set(dir ${CMAKE_CURRENT_BINARY_DIR}/${target}-container)

    # Arguments: packages as parallel lists (architecture, path, name);
    # single-value options by keyword.
    set(single_keywords CERTIFICATE SPLASH SIGN_PKCS12 SIGN_PASSWORD_FILE SIGN_KEY SIGN_CERT TIMESTAMP_URL
        SIGN_COMMAND SIGN_DESCRIPTION SIGN_URL PRODUCT_NAME COMPANY_NAME COPYRIGHT VERSION VERSION_TEXT ICON
        EXECUTION_LEVEL DPI_AWARE LONG_PATH_AWARE MUTEX_NAME)
    set(deps)          # the files the container's resource script pulls in
    set(identity_deps) # the files the identity's resource script pulls in
    set(order_deps)    # targets and files named by DEPENDS
    set(pkg_arch)
    set(pkg_file)
    set(pkg_name)
    set(certificates)
    set(splash)
    set(allow_empty)
    set(allow_misfits)
    set(sign_packages FALSE)
    set(untracked FALSE)
    foreach(kw IN LISTS single_keywords)
        set(opt_${kw})
    endforeach()
    set(mode "")
    foreach(a IN LISTS ARGN)
        if(a STREQUAL "PACKAGE")
            set(mode PACKAGE_ARCH)
        elseif(a STREQUAL "NAME" AND mode STREQUAL "PACKAGE_DONE")
            set(mode NAME)
        elseif(a IN_LIST single_keywords OR a STREQUAL "DEPENDS")
            set(mode ${a})
        elseif(a STREQUAL "ALLOW_EMPTY_PACKAGES")
            set(allow_empty --allow-empty-packages)
            set(mode "")
        elseif(a STREQUAL "ALLOW_MISFITS")
            set(allow_misfits --allow-misfits)
            set(mode "")
        elseif(a STREQUAL "SIGN_PACKAGES")
            set(sign_packages TRUE)
            set(mode "")
        elseif(mode STREQUAL "PACKAGE_ARCH")
            list(APPEND pkg_arch ${a})
            set(mode PACKAGE_FILE)
        elseif(mode STREQUAL "PACKAGE_FILE")
            _zolt_stub_input(deps path "${a}")
            list(APPEND pkg_file "${path}")
            # "*" (no Windows file name has one): the file's own name. A
            # list cannot hold an empty first element.
            list(APPEND pkg_name "*")
            set(mode PACKAGE_DONE)
        elseif(mode STREQUAL "NAME")
            list(POP_BACK pkg_name)
            list(APPEND pkg_name "${a}")
            set(mode "")
        elseif(mode STREQUAL "CERTIFICATE")
            _zolt_stub_input(deps path "${a}")
            list(APPEND certificates --certificate "${path}")
            set(mode "")
        elseif(mode STREQUAL "SPLASH")
            _zolt_stub_input(deps path "${a}")
            set(splash --splash "${path}")
            set(mode "")
        elseif(mode STREQUAL "ICON")
            _zolt_stub_input(identity_deps opt_ICON "${a}")
            set(mode "")
        elseif(mode IN_LIST single_keywords)
            set(opt_${mode} "${a}")
            set(mode "")
        elseif(mode STREQUAL "DEPENDS")
            list(APPEND order_deps ${a})
        else()
            message(FATAL_ERROR "add_stub_installer(${target}): unexpected argument '${a}'")
        endif()
    endforeach()
    if(mode MATCHES "^PACKAGE_(ARCH|FILE)$")
        message(FATAL_ERROR "add_stub_installer(${target}): PACKAGE needs an architecture and a file")
    endif()
    if(mode IN_LIST single_keywords OR mode STREQUAL "NAME")
        message(FATAL_ERROR "add_stub_installer(${target}): ${mode} needs a value")
    endif()

    # The signing key: a PKCS#12 file, a PEM key with its certificate, or
    # a command that signs with the certificate's key.
    set(key_args)
    set(key_deps)
    if(opt_SIGN_COMMAND)
        if(opt_SIGN_PKCS12 OR opt_SIGN_KEY OR opt_SIGN_PASSWORD_FILE OR NOT opt_SIGN_CERT)
            message(FATAL_ERROR "add_stub_installer(${target}): SIGN_COMMAND takes SIGN_CERT, the certificate it "
                "signs with, and no SIGN_PKCS12, SIGN_KEY or SIGN_PASSWORD_FILE (the command has the key)")
        endif()
        _zolt_stub_input(key_deps cert "${opt_SIGN_CERT}")
        list(APPEND key_args --command "${opt_SIGN_COMMAND}" --cert "${cert}")
    elseif(opt_SIGN_PKCS12 AND (opt_SIGN_KEY OR opt_SIGN_CERT))
        message(FATAL_ERROR "add_stub_installer(${target}): give SIGN_PKCS12 or SIGN_KEY with SIGN_CERT, not both")
    elseif(opt_SIGN_PKCS12)
        _zolt_stub_input(key_deps path "${opt_SIGN_PKCS12}")
        list(APPEND key_args --pkcs12 "${path}")
    elseif(opt_SIGN_KEY OR opt_SIGN_CERT)
        if(NOT opt_SIGN_KEY OR NOT opt_SIGN_CERT)
            message(FATAL_ERROR "add_stub_installer(${target}): SIGN_KEY and SIGN_CERT go together")
        endif()
        _zolt_stub_input(key_deps key "${opt_SIGN_KEY}")
        _zolt_stub_input(key_deps cert "${opt_SIGN_CERT}")
        list(APPEND key_args --key "${key}" --cert "${cert}")
    elseif(opt_SIGN_PASSWORD_FILE OR opt_TIMESTAMP_URL OR sign_packages OR opt_SIGN_DESCRIPTION OR opt_SIGN_URL)
        message(FATAL_ERROR "add_stub_installer(${target}): SIGN_PASSWORD_FILE, SIGN_DESCRIPTION, SIGN_URL, "
            "TIMESTAMP_URL and SIGN_PACKAGES need a key (SIGN_PKCS12, SIGN_KEY with SIGN_CERT, or SIGN_COMMAND "
            "with SIGN_CERT)")
    endif()
    if(key_args AND opt_SIGN_PASSWORD_FILE)
        _zolt_stub_input(key_deps path "${opt_SIGN_PASSWORD_FILE}")
        list(APPEND key_args --password-file "${path}")
    endif()
    # An input that was missing when the build was configured is no
    # dependency yet. Every step reading one touches a file the configure
    # step depends on, so the next build configures again and finds it.
    # (A missing file itself cannot be such a dependency: CMake drops it.)
    set(mark_untracked)
    if(untracked)
        set(untracked_stamp ${dir}/untracked-inputs.stamp)
        file(WRITE ${untracked_stamp} "")
        set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${untracked_stamp})
        set(mark_untracked COMMAND ${CMAKE_COMMAND} -E touch ${untracked_stamp})
    endif()

    # The identity, its options not given set to their defaults.
    # InternalName and OriginalFilename: the name the launcher is linked
    # under, OUTPUT_NAME set after this call included.
    _zolt_stub_identity(${dir} $<TARGET_FILE_NAME:${target}>)

    # The signing options. The program name the elevation prompt shows is
    # the product's, unless the signature is to say otherwise.
    set(sign_args ${key_args})
    set(sign_description "${opt_PRODUCT_NAME}")
    if(opt_SIGN_DESCRIPTION)
        set(sign_description "${opt_SIGN_DESCRIPTION}")
    endif()
    if(key_args)
        list(APPEND sign_args --description "${sign_description}")
    endif()
    if(opt_SIGN_URL)
        list(APPEND sign_args --url "${opt_SIGN_URL}")
    endif()
    if(opt_TIMESTAMP_URL)
        list(APPEND sign_args --timestamp-url "${opt_TIMESTAMP_URL}")
    endif()
    set(sign_tool ${tools}/sign-authenticode.py)
    set(signer)
    set(signed_deps)
    if(key_args)
        # Checked before anything is signed: a bad key stops the build
        # before the packages and the launcher are made. The check writes
        # the signer's certificates, which every signature is verified
        # against, only when they change.
        set(signer ${dir}/signer.pem)
        add_custom_command(OUTPUT ${signer}
            COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
            ${mark_untracked}
            COMMAND ${Python3_EXECUTABLE} ${sign_tool} ${sign_args} --check ${signer}
            DEPENDS ${sign_tool} ${key_deps}
            COMMENT "Checking the signing key of ${target}"
            VERBATIM)
        list(APPEND order_deps ${signer})
        # SOURCE_DATE_EPOCH is read when the build runs, which no rule's
        # command line shows: a step run by every build rewrites this stamp
        # when it or a signing option changes, and the signatures depend on
        # it, so they are made again exactly then.
        set(options_stamp ${dir}/signing-options.stamp)
        add_custom_target(${target}_signing_options
            COMMAND ${Python3_EXECUTABLE} ${sign_tool} ${sign_args} --options-stamp ${options_stamp}
            BYPRODUCTS ${options_stamp}
            COMMENT "Checking the signing options of ${target}"
            VERBATIM)
        set(signed_deps ${signer} ${options_stamp})
    endif()

    # The packages, each with the name it is extracted under; Windows
    # Installer packages signed first when asked.
    set(args)
    set(signed_packages)
    set(index 0)
    foreach(arch file name IN ZIP_LISTS pkg_arch pkg_file pkg_name)
        if(name STREQUAL "*")
            get_filename_component(name "${file}" NAME)
        endif()
        if(sign_packages AND name MATCHES "\\.[mM][sS][iI]$")
            set(signed ${dir}/signed/${index}/${name})
            list(FIND deps "${file}" tracked)
            if(tracked GREATER_EQUAL 0)
                set(file_dep "${file}")
            else()
                set(file_dep)
            endif()
            add_custom_command(OUTPUT ${signed}
                COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}/signed/${index}
                ${mark_untracked}
                COMMAND ${Python3_EXECUTABLE} ${sign_tool} ${sign_args} --signer ${signer} --in ${file} --out ${signed}
                DEPENDS ${sign_tool} ${file_dep} ${order_deps} ${signed_deps}
                COMMENT "Signing package ${name} of ${target}"
                VERBATIM)
            list(APPEND deps ${signed})
            list(APPEND signed_packages ${signed})
            # Messages about the package name the vendor's file.
            list(APPEND args --package ${arch} ${signed} --name ${name} --origin ${file})
        else()
            list(APPEND args --package ${arch} ${file} --name ${name})
        endif()
        math(EXPR index "${index} + 1")
    endforeach()
    list(APPEND args ${certificates} ${splash} ${allow_empty} ${allow_misfits})
    if(signer)
        list(APPEND args --signer ${signer})
    endif()

    add_custom_command(OUTPUT ${dir}/container.rc ${dir}/certs.bin
        ${mark_untracked}
        COMMAND ${Python3_EXECUTABLE} ${tools}/make-container.py --output-dir ${dir} ${args}
        DEPENDS ${tools}/make-container.py ${deps} ${order_deps}
        COMMENT "Writing the payload container of ${target}"
        VERBATIM)
    # The container, the identity, their checks and the signed packages are
    # made by a target of their own that waits for nothing the launcher
    # links: a bad input stops the build at its start, not after the
    # runtime is compiled.
    set(generated ${dir}/container.rc ${dir}/identity.rc)
    add_custom_target(${target}_container DEPENDS ${generated} ${dir}/certs.bin ${dir}/identity.bin)
    add_executable(${target} WIN32 ${ZOLT_STUB_SOURCES} ${generated})
    target_link_libraries(${target} PRIVATE ${ZOLT_STUB_LIBRARY})
    target_compile_options(${target} PRIVATE ${ZOLT_WARNINGS} ${ZOLT_NO_EXCEPTIONS})
    # The resource compiler does not track the files a .rc pulls in: a
    # changed package or icon must still rebuild the launcher.
    set_source_files_properties(${dir}/container.rc PROPERTIES OBJECT_DEPENDS "${deps};${dir}/certs.bin")
    # (An icon missing when the build was configured is left to the identity
    # step, which names it, as the other inputs.)
    set(identity_rc_deps ${dir}/launcher.manifest ${dir}/identity.bin)
    if(opt_ICON IN_LIST identity_deps)
        list(APPEND identity_rc_deps ${opt_ICON})
    endif()
    set_source_files_properties(${dir}/identity.rc PROPERTIES OBJECT_DEPENDS "${identity_rc_deps}")
    # The runtime's own process entry and compiler support instead of any C
    # runtime (zolt_nocrt_exe). Sections aligned to pages in the file too:
    # the package resources are then written straight from page-aligned
    # views of the image.
    target_link_libraries(${target} PRIVATE zolt_nocrt_exe)
    target_link_options(${target} PRIVATE -mwindows -Wl,--file-alignment=4096)
    # Hardening the loader sees in the PE header: a randomised base (with
    # the relocations it needs), data never executable, on x86-64 the whole
    # 64-bit address range for it; terminal-server aware (no per-user
    # compatibility redirections on a Remote Desktop host). A 32-bit image
    # declares that it has no SEH handlers (nothing here registers a frame,
    # so no handler in this image may ever be called: a forged frame on the
    # stack cannot name one); 64-bit images have table-based unwinding and
    # no such flag. The linker writes the image checksum itself.
    target_link_options(${target} PRIVATE LINKER:--dynamicbase LINKER:--nxcompat LINKER:--tsaware)
    if(CMAKE_SIZEOF_VOID_P EQUAL 8)
        target_link_options(${target} PRIVATE LINKER:--high-entropy-va)
    else()
        target_link_options(${target} PRIVATE LINKER:--no-seh)
    endif()

    add_dependencies(${target} ${target}_container)

    # Reproducible: no link time in the PE header; no build paths in
    # __FILE__ texts and debug information (the tree's own libraries get
    # the same maps from the top-level CMakeLists.txt); the release link
    # options also when the caller is another project, whose targets the
    # tree's directory options do not reach.
    target_link_options(${target} PRIVATE LINKER:--no-insert-timestamp
        $<$<CONFIG:MinSizeRel>:LINKER:--gc-sections> $<$<CONFIG:MinSizeRel>:-s>)
    # Equal options are merged, the first one kept: the source tree's map
    # must read exactly as the top-level one (no trailing slash) so that
    # the build folder's map still comes after it.
    get_filename_component(root ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/.. ABSOLUTE)
    target_compile_options(${target} PRIVATE -ffile-prefix-map=${root}=. -ffile-prefix-map=${CMAKE_BINARY_DIR}=.
        $<$<CONFIG:MinSizeRel>:-ffunction-sections>)
    if(key_args)
        # Signed in place once linked; a relink follows a changed signer,
        # signing option or SOURCE_DATE_EPOCH.
        set(unsigned ${dir}/unsigned/$<TARGET_FILE_NAME:${target}>)
        add_custom_command(TARGET ${target} POST_BUILD
            COMMAND ${Python3_EXECUTABLE} ${sign_tool} ${sign_args} --signer ${signer}
                --in-place $<TARGET_FILE:${target}> --keep-unsigned ${unsigned}
            COMMENT "Signing ${target}"
            VERBATIM)
        add_dependencies(${target}_container ${target}_signing_options)
        set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${signed_deps})
        set_target_properties(${target} PROPERTIES ZOLT_STUB_UNSIGNED_FILE ${unsigned}
            ZOLT_STUB_SIGNED_PACKAGES "${signed_packages}")
    endif()
endfunction()
