# Shell completion and manual pages, written at build time by the programs
# themselves from the definitions their --help comes from, so the two cannot
# drift apart.
#
# zentrova_docgen: the writers (tools/command_model, completion, manpage);
# they include CLI11 and no header of the library, so zentrova-sim links them
# as well as the zentrova command.
find_package(CLI11 REQUIRED CONFIG)
add_library(zentrova_docgen STATIC
  ${PROJECT_SOURCE_DIR}/tools/command_model.cpp
  ${PROJECT_SOURCE_DIR}/tools/completion.cpp
  ${PROJECT_SOURCE_DIR}/tools/manpage.cpp)
target_include_directories(zentrova_docgen PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(zentrova_docgen PUBLIC CLI11::CLI11)
zentrova_warnings(zentrova_docgen)

set(ZENTROVA_DOCS_DIR ${PROJECT_BINARY_DIR}/share)

# zentrova_generated_docs(TARGET PROGRAM COMPONENT FORMATS man bash zsh fish ARGS args...)
# Runs `TARGET ARGS... FORMAT` for each format, writes its output under
# ${ZENTROVA_DOCS_DIR} as installed below share/, and installs it with COMPONENT.
function(zentrova_generated_docs target program)
  cmake_parse_arguments(D "" "COMPONENT" "FORMATS;ARGS" ${ARGN})
  set(_outputs)
  foreach(format IN LISTS D_FORMATS)
    if(format STREQUAL "man")
      set(_dir man/man1)
      set(_file ${program}.1)
    elseif(format STREQUAL "bash")
      set(_dir bash-completion/completions)
      set(_file ${program})
    elseif(format STREQUAL "zsh")
      set(_dir zsh/vendor-completions)
      set(_file _${program})
    elseif(format STREQUAL "fish")
      set(_dir fish/vendor_completions.d)
      set(_file ${program}.fish)
    else()
      message(FATAL_ERROR "zentrova_generated_docs: unknown format ${format}")
    endif()
    set(_out ${ZENTROVA_DOCS_DIR}/${_dir}/${_file})
    add_custom_command(OUTPUT ${_out}
      COMMAND ${CMAKE_COMMAND} -DOUTPUT=${_out} -P ${PROJECT_SOURCE_DIR}/cmake/write_output.cmake
              -- $<TARGET_FILE:${target}> ${D_ARGS} ${format}
      DEPENDS ${target} ${PROJECT_SOURCE_DIR}/cmake/write_output.cmake
      COMMENT "Writing ${_dir}/${_file}"
      VERBATIM)
    install(FILES ${_out} DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/${_dir} COMPONENT ${D_COMPONENT})
    list(APPEND _outputs ${_out})
  endforeach()
  add_custom_target(${target}_docs ALL DEPENDS ${_outputs})
endfunction()
