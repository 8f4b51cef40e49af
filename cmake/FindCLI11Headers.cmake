# CLI11, header-only, for native and Windows builds alike: its package
# configuration names the host's include folder as a plain include folder,
# which would put the host's C library headers in front of a cross
# compiler's own. Gives CLI11Headers::headers.
find_path(CLI11Headers_INCLUDE_DIR CLI/CLI.hpp NO_CMAKE_FIND_ROOT_PATH)
include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(CLI11Headers REQUIRED_VARS CLI11Headers_INCLUDE_DIR
    REASON_FAILURE_MESSAGE "apt-get install libcli11-dev")
if(CLI11Headers_FOUND AND NOT TARGET CLI11Headers::headers)
    include(KelvoHostHeaders)
    kelvo_host_headers(CLI11Headers::headers ${CLI11Headers_INCLUDE_DIR})
endif()
