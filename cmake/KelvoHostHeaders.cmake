# kelvo_host_headers(<target> <folder>): an imported interface target for a
# header-only library of the build machine. Natively the folder is an
# ordinary system include folder. A cross compiler searches it only after
# its own folders (-idirafter), so that the host's C and C++ library headers
# that lie beside the library never stand in for the target system's.
function(kelvo_host_headers target folder)
    add_library(${target} INTERFACE IMPORTED)
    if(CMAKE_CROSSCOMPILING)
        set_property(TARGET ${target} PROPERTY INTERFACE_COMPILE_OPTIONS "-idirafter;${folder}")
    else()
        set_property(TARGET ${target} PROPERTY INTERFACE_INCLUDE_DIRECTORIES ${folder})
    endif()
endfunction()
