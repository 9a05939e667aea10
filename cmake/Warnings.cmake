# Warnings are errors everywhere in the project.
add_library(mpx_warnings INTERFACE)
if(MSVC)
  target_compile_options(mpx_warnings INTERFACE /W4 /WX)
else()
  target_compile_options(mpx_warnings INTERFACE
    -Wall -Wextra -Wpedantic -Werror
    -Wconversion -Wsign-conversion -Wshadow -Wcast-qual -Wold-style-cast
    $<$<COMPILE_LANGUAGE:CXX>:-Wnon-virtual-dtor>
    -Wno-error=deprecated-declarations)
endif()

# Wrap a target so every source of it compiles with the project warnings.
function(mpx_target_warnings target)
  target_link_libraries(${target} PRIVATE mpx_warnings)
endfunction()
