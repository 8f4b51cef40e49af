# toml++, used header-only (TOML_HEADER_ONLY, its default): the package's own
# configuration links its shared library instead, and exists for the host's
# architecture only. Gives TomlPlusPlus::headers.
find_path(TomlPlusPlus_INCLUDE_DIR toml++/toml.h NO_CMAKE_FIND_ROOT_PATH)
include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(TomlPlusPlus REQUIRED_VARS TomlPlusPlus_INCLUDE_DIR
    REASON_FAILURE_MESSAGE "apt-get install libtomlplusplus-dev")
if(TomlPlusPlus_FOUND AND NOT TARGET TomlPlusPlus::headers)
    include(KelvoHostHeaders)
    kelvo_host_headers(TomlPlusPlus::headers ${TomlPlusPlus_INCLUDE_DIR})
endif()
