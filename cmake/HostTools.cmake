# A cross build cannot run the generators it builds, so a native build of the same sources
# supplies them (scripts/test-windows.sh builds it first). The database compiler is imported
# under its target name, so the command that runs it stays as it is; the calibration module
# takes its curve generator from CAL_CURVEGEN_EXECUTABLE.
set(MPX_DBC_EXECUTABLE "" CACHE FILEPATH "The database compiler (dbc) built for the build machine")
set(CAL_CURVEGEN_EXECUTABLE "" CACHE FILEPATH "curvegen built for the build machine (cross builds)")

foreach(_variable MPX_DBC_EXECUTABLE CAL_CURVEGEN_EXECUTABLE)
  if(NOT ${_variable} OR NOT EXISTS "${${_variable}}")
    message(FATAL_ERROR "A cross build runs its generators on the build machine: build them "
                        "natively and name them with -D${_variable}=<path> (now '${${_variable}}').")
  endif()
endforeach()

add_executable(dbc IMPORTED GLOBAL)
set_target_properties(dbc PROPERTIES IMPORTED_LOCATION "${MPX_DBC_EXECUTABLE}")
