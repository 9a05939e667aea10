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
  # GCC 12 reports false overlaps and out-of-bounds accesses inside libstdc++'s string and
  # vector code once it inlines at -O2/-O3 (string appends, vector growth). Keep them visible
  # but not fatal; the sanitizer build checks real bounds.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    target_compile_options(mpx_warnings INTERFACE -Wno-error=restrict -Wno-error=array-bounds
                           -Wno-error=stringop-overflow -Wno-error=stringop-overread)
  endif()
endif()

# Wrap a target so every source of it compiles with the project warnings.
function(mpx_target_warnings target)
  target_link_libraries(${target} PRIVATE mpx_warnings)
endfunction()
