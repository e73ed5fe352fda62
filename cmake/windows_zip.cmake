# The Windows ZIP (see install.cmake): `cpack` in the build directory, or
# `cpack --config <build>/CPackConfig.cmake`. The manual pages are rendered on the build host
# with groff; every text file gets CR LF line ends.
find_program(QUILL_GROFF groff REQUIRED)

set(QUILL_WINDOWS_TEXT_DIR ${PROJECT_BINARY_DIR}/windows-text)
set(QUILL_WINDOWS_TEXT_FILES)
# quill_windows_text(<output name> <source> <command ...>): what the command writes for the
# source, with CR LF line ends.
function(quill_windows_text name source)
  set(output ${QUILL_WINDOWS_TEXT_DIR}/${name})
  list(JOIN ARGN " " command)
  add_custom_command(OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${QUILL_WINDOWS_TEXT_DIR}
    COMMAND sh -c "${command} \"$0\" >\"$1.lf\" && sed 's/\\r*$/\\r/' \"$1.lf\" >\"$1\""
            ${source} ${output}
    COMMAND ${CMAKE_COMMAND} -E rm ${output}.lf
    DEPENDS ${source}
    COMMENT "Windows text ${name}"
    VERBATIM)
  set(QUILL_WINDOWS_TEXT_FILES ${QUILL_WINDOWS_TEXT_FILES} ${output} PARENT_SCOPE)
endfunction()

# Plain ASCII text: no escape sequences, no overstriking for bold or underlining.
foreach(page quillin quillout)
  quill_windows_text(${page}.txt ${PROJECT_SOURCE_DIR}/man/${page}.1
    ${QUILL_GROFF} -man -Tascii -P-cbou)
endforeach()
quill_windows_text(README.txt ${PROJECT_SOURCE_DIR}/README.md cat)
add_custom_target(windows_text ALL DEPENDS ${QUILL_WINDOWS_TEXT_FILES})

install(TARGETS quillin quillout RUNTIME DESTINATION .)
install(FILES ${QUILL_WINDOWS_TEXT_FILES} DESTINATION .)

set(CPACK_PACKAGE_NAME quill)
set(CPACK_PACKAGE_VENDOR "quill developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "Converters between Wavefront OBJ text and the binary .msh mesh format")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_GENERATOR ZIP)
set(CPACK_SOURCE_GENERATOR "")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
include(CPack)
