# Run by cpack's External generator for a project that called
# kelvo_add_setup() (KelvoConfig.cmake): turns the staged install tree into
# a Kelvo project file and builds the setup from it with kelvopack.
#
# In:  CPACK_TEMPORARY_DIRECTORY (the staged tree), CPACK_TOPLEVEL_DIRECTORY,
#      CPACK_PACKAGE_FILE_NAME, CPACK_KELVO_* (kelvo_add_setup's settings)
# Out: <CPACK_PACKAGE_FILE_NAME>.exe, which cpack copies to the build folder.

set(stage "${CPACK_TEMPORARY_DIRECTORY}")
if(CPACK_PACKAGING_INSTALL_PREFIX AND NOT CPACK_PACKAGING_INSTALL_PREFIX STREQUAL "/")
    string(APPEND stage "${CPACK_PACKAGING_INSTALL_PREFIX}")
endif()
set(work "${CPACK_TOPLEVEL_DIRECTORY}/kelvo")
set(project "${work}/setup.toml")
set(setup "${CPACK_TOPLEVEL_DIRECTORY}/${CPACK_PACKAGE_FILE_NAME}.exe")
file(REMOVE_RECURSE "${work}")
file(MAKE_DIRECTORY "${work}")

# `value` as a TOML basic string.
function(kelvo_toml_string out value)
    string(REPLACE "\\" "\\\\" value "${value}")
    string(REPLACE "\"" "\\\"" value "${value}")
    set(${out} "\"${value}\"" PARENT_SCOPE)
endfunction()

# A file pattern that matches exactly `path` (kelvopack's patterns: *, ?, [...]).
function(kelvo_literal_pattern out path)
    string(REGEX REPLACE "([[*?])" "[\\1]" path "${path}")
    set(${out} "${path}" PARENT_SCOPE)
endfunction()

# The wizard's display files: the project's own, or kelvopack init's stand-ins.
set(display BITMAP kelvo.bmp PRESENTATION pres.txt AGREEMENT licen.txt)
if(NOT CPACK_KELVO_BITMAP OR NOT CPACK_KELVO_PRESENTATION OR NOT CPACK_KELVO_AGREEMENT)
    execute_process(
        COMMAND "${CPACK_KELVO_KELVOPACK}" init "${stage}" -o "${work}/init/setup.toml" --name "${CPACK_KELVO_NAME}"
        RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
    while(display)
        list(POP_FRONT display setting name)
        if(NOT CPACK_KELVO_${setting})
            set(CPACK_KELVO_${setting} "${work}/init/${name}")
            if(NOT EXISTS "${CPACK_KELVO_${setting}}")
                message(FATAL_ERROR "kelvopack init made no ${name}:\n${output}")
            endif()
        endif()
    endwhile()
endif()

set(text "# Written by cpack (kelvo_add_setup) from the staged install tree.\n")
foreach(setting name:NAME version:VERSION publisher:PUBLISHER group:GROUP destination:DESTINATION_FOLDER
                level:LEVEL bitmap:BITMAP presentation:PRESENTATION agreement:AGREEMENT)
    string(REPLACE ":" ";" setting "${setting}")
    list(GET setting 0 key)
    list(GET setting 1 variable)
    kelvo_toml_string(value "${CPACK_KELVO_${variable}}")
    string(APPEND text "${key} = ${value}\n")
endforeach()
set(modes "")
foreach(mode IN LISTS CPACK_KELVO_MODES)
    kelvo_toml_string(value "${mode}")
    list(APPEND modes "${value}")
endforeach()
list(JOIN modes ", " modes)
string(APPEND text "modes = [${modes}]\n")

# The files with program items, then the rest of the tree.
set(items "${CPACK_KELVO_ITEMS}")
set(excludes "")
set(itemPaths "")
while(items)
    list(POP_FRONT items path title)
    if(NOT EXISTS "${stage}/${path}")
        message(FATAL_ERROR "kelvo_add_setup: ITEMS names ${path}, which the install tree lacks")
    endif()
    list(APPEND itemPaths "${path}")
    kelvo_toml_string(source "${stage}/${path}")
    kelvo_toml_string(destination "${path}")
    kelvo_toml_string(title "${title}")
    string(APPEND text "\n[[file]]\nsource = ${source}\npath = ${destination}\ntitle = ${title}\n")
    kelvo_literal_pattern(pattern "${path}")
    kelvo_toml_string(pattern "${pattern}")
    list(APPEND excludes "${pattern}")
endwhile()
# kelvopack leaves out names beginning with a dot, and refuses a folder
# without a file to install.
file(GLOB_RECURSE others RELATIVE "${stage}" "${stage}/*")
list(FILTER others EXCLUDE REGEX "(^|/)\\.")
list(REMOVE_ITEM others ${itemPaths})
if(others)
    kelvo_toml_string(source "${stage}")
    string(APPEND text "\n[[folder]]\nsource = ${source}\n")
    if(excludes)
        list(JOIN excludes ", " excludes)
        string(APPEND text "exclude = [${excludes}]\n")
    endif()
endif()
file(WRITE "${project}" "${text}")

set(stub "")
if(CPACK_KELVO_STUB)
    set(stub --stub "${CPACK_KELVO_STUB}")
endif()
execute_process(COMMAND "${CPACK_KELVO_KELVOPACK}" build "${project}" -o "${setup}" ${stub}
                RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "kelvopack build failed (${result}); the project file is ${project}")
endif()
execute_process(COMMAND "${CPACK_KELVO_KELVOPACK}" verify -q "${setup}" RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "kelvopack verify found the setup ${setup} damaged")
endif()
set(CPACK_EXTERNAL_BUILT_PACKAGES "${setup}")
