# Compiler settings shared by every target of the tree.

add_compile_options(-ffp-contract=off)   # single-precision formulas must not be fused

if(ZENTROVA_SANITIZE AND ZENTROVA_TSAN)
  message(FATAL_ERROR "ZENTROVA_SANITIZE and ZENTROVA_TSAN exclude each other")
endif()
if(ZENTROVA_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()
if(ZENTROVA_TSAN)
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()

function(zentrova_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
endfunction()

if(ZENTROVA_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "ZENTROVA_FUZZ needs clang (CC=clang CXX=clang++)")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# Every directory below tests/ and bench/ with a CMakeLists.txt of its own is
# added; a subsystem's tests and benchmarks live in their own folder.
function(zentrova_add_child_directories)
  file(GLOB _children LIST_DIRECTORIES true ${CMAKE_CURRENT_SOURCE_DIR}/*)
  foreach(child IN LISTS _children)
    if(IS_DIRECTORY ${child} AND EXISTS ${child}/CMakeLists.txt)
      add_subdirectory(${child})
    endif()
  endforeach()
endfunction()
