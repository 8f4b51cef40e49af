# What `cmake --install` puts under the prefix, and how `cpack` packs it.
#
# Native build (a Debian package, `cpack -G DEB`):
#   bin/kelvopack
#   share/man/man1/kelvopack.1.gz
#   share/doc/kelvo/README.md                the builder's manual, which the
#                                            manual page points to
#   share/kelvo/kelvo.exe, kelvo-admin.exe   the 32-bit setup program, from
#                                            the tree in KELVO_WIN32_DIR
#   share/kelvo/kelvo64.exe,                 its 64-bit build, from the tree
#               kelvo64-admin.exe            in KELVO_WIN64_DIR
#   lib/cmake/Kelvo/                         find_package(Kelvo), kelvo_add_setup()
#
# Windows builds (a zip, `cpack -G ZIP`), all side by side, since kelvopack
# looks for its setup program beside itself:
#   kelvopack.exe, kelvo.exe, kelvo-admin.exe, kelvopack.txt (the manual),
#   cmake/ (find_package(Kelvo) with Kelvo_DIR pointing there)
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

if(WIN32)
    set(KELVO_INSTALL_BINDIR .)
    set(KELVO_INSTALL_STUBDIR .)
    set(KELVO_INSTALL_CMAKEDIR cmake)
    install(TARGETS kelvopack kelvo kelvo-admin RUNTIME DESTINATION .)
    install(FILES ${PROJECT_SOURCE_DIR}/tools/kelvopack/README.md DESTINATION . RENAME kelvopack.txt)
else()
    set(KELVO_INSTALL_BINDIR ${CMAKE_INSTALL_BINDIR})
    set(KELVO_INSTALL_STUBDIR ${CMAKE_INSTALL_DATADIR}/kelvo)
    set(KELVO_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/Kelvo)
    install(TARGETS kelvopack RUNTIME DESTINATION ${KELVO_INSTALL_BINDIR})

    # The manual page, compressed as Debian keeps them (-n: no name or time
    # stamp, so that the same page gives the same bytes).
    set(manual ${CMAKE_CURRENT_BINARY_DIR}/kelvopack.1.gz)
    add_custom_command(OUTPUT ${manual}
        COMMAND gzip -9 -n -c ${PROJECT_SOURCE_DIR}/tools/kelvopack/kelvopack.1 > ${manual}
        DEPENDS ${PROJECT_SOURCE_DIR}/tools/kelvopack/kelvopack.1
        COMMENT "Compressing the manual page")
    add_custom_target(kelvopack_manual ALL DEPENDS ${manual})
    install(FILES ${manual} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    install(FILES ${PROJECT_SOURCE_DIR}/tools/kelvopack/README.md DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/kelvo)

    # The setup program comes from the Windows builds, each installed when
    # its tree exists, which must then have been built: the 32-bit build
    # under its own names, the 64-bit one as kelvo64*.exe (StubLocator.h).
    foreach(bits 32 64)
        if(bits EQUAL 32)
            set(tree "${KELVO_WIN32_DIR}")
            set(variable KELVO_WIN32_DIR)
            set(preset mingw-i686)
            set(suffix "")
        else()
            set(tree "${KELVO_WIN64_DIR}")
            set(variable KELVO_WIN64_DIR)
            set(preset mingw-x86_64)
            set(suffix 64)
        endif()
        if(NOT EXISTS "${tree}/CMakeCache.txt")
            message(WARNING "No ${bits}-bit Windows build in ${variable} (${tree}): cmake --install and the "
                            "Debian package will lack its setup program. Build it first: cmake --preset ${preset} "
                            "&& cmake --build --preset ${preset}")
            continue()
        endif()
        set(stubs_built TRUE)
        foreach(program kelvo kelvo-admin)
            string(REPLACE "kelvo" "kelvo${suffix}" installed "${program}.exe")
            install(FILES "${tree}/app/${program}.exe" DESTINATION ${KELVO_INSTALL_STUBDIR} RENAME "${installed}")
            if(NOT EXISTS "${tree}/app/${program}.exe")
                set(stubs_built FALSE)
            endif()
        endforeach()
        if(stubs_built)
            message(STATUS "The ${bits}-bit setup program is installed from ${tree}/app")
        else()
            message(WARNING "The ${bits}-bit Windows build in ${variable} (${tree}) has no setup program yet: "
                            "cmake --install and cpack fail until it is built (cmake --build ${tree})")
        endif()
    endforeach()
endif()

# find_package(Kelvo): kelvopack and kelvo_add_setup(), which lets cpack make
# a setup of a project's install tree.
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/KelvoConfig.cmake.in
    ${CMAKE_CURRENT_BINARY_DIR}/KelvoConfig.cmake
    INSTALL_DESTINATION ${KELVO_INSTALL_CMAKEDIR}
    PATH_VARS KELVO_INSTALL_BINDIR
    NO_CHECK_REQUIRED_COMPONENTS_MACRO)
# A program, not a library: any project may use it, whatever it builds for.
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/KelvoConfigVersion.cmake
    COMPATIBILITY SameMinorVersion ARCH_INDEPENDENT)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/KelvoConfig.cmake ${CMAKE_CURRENT_BINARY_DIR}/KelvoConfigVersion.cmake
              ${PROJECT_SOURCE_DIR}/cmake/KelvoCPackSetup.cmake
        DESTINATION ${KELVO_INSTALL_CMAKEDIR})

set(CPACK_PACKAGE_NAME kelvo)
set(CPACK_PACKAGE_VENDOR "Kelvo")
set(CPACK_PACKAGE_CONTACT "Kelvo maintainers <kelvo@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "builder of self-extracting setup wizards for Windows")
# The long description, in lines of at most 72 characters.
set(CPACK_PACKAGE_DESCRIPTION
    "kelvopack makes Kelvo setups: single 32-bit Windows executables that\n"
    "carry an application's files, show a setup wizard, install the files,\n"
    "make a program group and uninstall the application again. It writes a\n"
    "first project file for a folder, builds setups from project files, warns\n"
    "about what a setup would show wrongly, and lists, verifies and extracts\n"
    "finished setups, signed ones included. The package holds the setup\n"
    "program itself, and a CMake package with which cpack makes a setup of a\n"
    "project's install tree."
)
string(CONCAT CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
if(WIN32)
    # The setup program is shipped as built (and tested); kelvopack.exe is
    # linked stripped.
    set(CPACK_GENERATOR ZIP)
else()
    set(CPACK_GENERATOR DEB)
    set(CPACK_STRIP_FILES ON)
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
    set(CPACK_DEBIAN_PACKAGE_SECTION devel)
    # The libraries kelvopack links to, as dpkg-shlibdeps finds them; toml++
    # and CLI11 are headers only, the codec is linked in.
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
    set(CPACK_DEBIAN_PACKAGE_SUGGESTS "osslsigncode, wine")
endif()
include(CPack)
