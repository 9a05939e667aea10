# The fuzz targets: their sources and libraries. Included by fuzz/CMakeLists.txt (the
# libFuzzer build) and by tests/reliability/CMakeLists.txt (the corpus replay of the test
# suite), so both build each target from the same list.
set(MPX_FUZZ_DIR ${CMAKE_CURRENT_LIST_DIR})
set(MPX_FUZZ_CORPUS_DIR ${MPX_FUZZ_DIR}/corpus)

set(MPX_FUZZ_TARGETS dbc_source image_eval exports calibration table_records)

set(MPX_FUZZ_dbc_source_SOURCES ${MPX_FUZZ_DIR}/dbc_source_fuzz.cpp)
set(MPX_FUZZ_dbc_source_LIBS dbc_lib mdb_core mpx_platform_test)

set(MPX_FUZZ_image_eval_SOURCES ${MPX_FUZZ_DIR}/image_eval_fuzz.cpp)
set(MPX_FUZZ_image_eval_LIBS dbc_lib mdb_core mpx_platform_test)

# The real export functions, on the fault-injecting backend (fixed clock, printers in
# memory, every block counted).
set(MPX_FUZZ_exports_SOURCES ${MPX_FUZZ_DIR}/exports_fuzz.cpp
    ${PROJECT_SOURCE_DIR}/src/mpx/mpxapi/modeldb/exports.cpp)
set(MPX_FUZZ_exports_LIBS mdb_shipped_image mdb_core mpx_platform_test)

set(MPX_FUZZ_calibration_SOURCES ${MPX_FUZZ_DIR}/calibration_fuzz.cpp
    ${PROJECT_SOURCE_DIR}/src/dump/qx_cal/calibmod/exports.cpp)
set(MPX_FUZZ_calibration_LIBS cal_core mpx_platform_test)

set(MPX_FUZZ_table_records_SOURCES ${MPX_FUZZ_DIR}/table_records_fuzz.cpp)
set(MPX_FUZZ_table_records_LIBS cal_core cal_sample mpx_platform_test)

# mpx_add_fuzz_executable(<executable> <target> [extra sources...])
function(mpx_add_fuzz_executable exe target)
  add_executable(${exe} ${MPX_FUZZ_${target}_SOURCES} ${ARGN})
  target_include_directories(${exe} PRIVATE ${MPX_FUZZ_DIR})
  target_link_libraries(${exe} PRIVATE ${MPX_FUZZ_${target}_LIBS})
  mpx_target_warnings(${exe})
endfunction()
