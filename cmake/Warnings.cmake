# Applied to every target of ours through nb_target_defaults().
function(nb_target_defaults target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic
                                           -Wno-missing-field-initializers)
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    target_compile_options(${target} PRIVATE -Wshadow=local)
  else()
    target_compile_options(${target} PRIVATE -Wshadow-uncaptured-local)
  endif()
  if(NB_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

if(NB_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer
                      -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
