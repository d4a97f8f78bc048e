# Run by cpack between the staging install and the Debian package (CPACK_PRE_BUILD_SCRIPTS).
# Splits the programs' debug information off into command-handler-dbgsym_<version>_<arch>.deb,
# as dh_strip and dh_gencontrol make a Debian package's dbgsym package: one
# /usr/lib/debug/.build-id/<xx>/<rest>.debug per program, found by gdb and debuginfod from the
# build id of a crashed binary, and the programs stripped with a link to their file. CPack's own
# split is not taken: it names the package .ddeb and writes its md5sums with the build host's
# paths, which dpkg and lintian refuse.
if(NOT CPACK_GENERATOR STREQUAL "DEB")
    return()
endif()

set(staging "${CPACK_TEMPORARY_INSTALL_DIRECTORY}")
set(package "${CPACK_PACKAGE_NAME}-dbgsym")
set(root "${CPACK_TOPLEVEL_DIRECTORY}/${package}")
file(REMOVE_RECURSE "${root}")

function(run)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE failed OUTPUT_VARIABLE output
                    ERROR_VARIABLE output)
    if(failed)
        message(FATAL_ERROR "${package}: ${ARGN} failed: ${output}")
    endif()
    set(output "${output}" PARENT_SCOPE)
endfunction()

# Empty for a program without debug information (a build without -g, or an install --strip).
function(debug_build_id file result)
    run(readelf --wide --section-headers --notes "${file}")
    if(output MATCHES " \\.debug_info " AND output MATCHES "Build ID: ([0-9a-f]+)")
        set(${result} "${CMAKE_MATCH_1}" PARENT_SCOPE)
    else()
        set(${result} "" PARENT_SCOPE)
    endif()
endfunction()

function(split_off file id)
    string(SUBSTRING "${id}" 0 2 head)
    string(SUBSTRING "${id}" 2 -1 rest)
    set(debug_file "${root}/usr/lib/debug/.build-id/${head}/${rest}.debug")
    get_filename_component(directory "${debug_file}" DIRECTORY)
    file(MAKE_DIRECTORY "${directory}")
    run(${CPACK_CH_OBJCOPY} --only-keep-debug --compress-debug-sections "${file}" "${debug_file}")
    file(CHMOD "${debug_file}" PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
    set(debug_file "${debug_file}" PARENT_SCOPE)
endfunction()

# Every program is stripped here: the install leaves them as built.
set(build_ids "")
file(GLOB_RECURSE files LIST_DIRECTORIES false "${staging}/*")
foreach(file IN LISTS files)
    file(READ "${file}" magic LIMIT 4 HEX)
    if(IS_SYMLINK "${file}" OR NOT magic STREQUAL "7f454c46")
        continue()
    endif()
    debug_build_id("${file}" id)
    if(id)
        split_off("${file}" "${id}")
    endif()
    run(${CPACK_CH_STRIP} --remove-section=.comment --remove-section=.note --strip-unneeded
        "${file}")
    if(id)
        run(${CPACK_CH_OBJCOPY} "--add-gnu-debuglink=${debug_file}" "${file}")
        list(APPEND build_ids "${id}")
    endif()
endforeach()
if(NOT build_ids)
    message(STATUS "${package}: no debug information to split off (a build without -g)")
    return()
endif()

# Debian's dbgsym packages leave their documentation to the package they belong to.
file(MAKE_DIRECTORY "${root}/usr/share/doc")
file(CREATE_LINK "${CPACK_PACKAGE_NAME}" "${root}/usr/share/doc/${package}" SYMBOLIC)

set(md5sums "")
file(GLOB_RECURSE debug_files LIST_DIRECTORIES false RELATIVE "${root}" "${root}/usr/*.debug")
foreach(file IN LISTS debug_files)
    file(MD5 "${root}/${file}" sum)
    string(APPEND md5sums "${sum}  ${file}\n")
endforeach()

# A cross build names its target; cpack asks dpkg otherwise, and so does this.
set(architecture "${CPACK_DEBIAN_PACKAGE_ARCHITECTURE}")
if(NOT architecture)
    run(dpkg --print-architecture)
    string(STRIP "${output}" architecture)
endif()
run(du --summarize --block-size=1024 "${root}/usr")
string(REGEX MATCH "^[0-9]+" size "${output}")
string(REPLACE ";" " " build_ids "${build_ids}")
set(version "${CPACK_PACKAGE_VERSION}")
file(MAKE_DIRECTORY "${root}/DEBIAN")
file(WRITE "${root}/DEBIAN/md5sums" "${md5sums}")
file(WRITE "${root}/DEBIAN/control" "Package: ${package}
Source: ${CPACK_PACKAGE_NAME}
Version: ${version}
Auto-Built-Package: debug-symbols
Architecture: ${architecture}
Maintainer: ${CPACK_PACKAGE_CONTACT}
Installed-Size: ${size}
Depends: ${CPACK_PACKAGE_NAME} (= ${version})
Section: debug
Priority: optional
Description: debug symbols for ${CPACK_PACKAGE_NAME}
Build-Ids: ${build_ids}
")
set(deb "${CPACK_OUTPUT_FILE_PREFIX}/${package}_${version}_${architecture}.deb")
run(dpkg-deb --root-owner-group --build "${root}" "${deb}")
message(STATUS "${package}: ${deb} generated.")
