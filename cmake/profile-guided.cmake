# Profile-guided optimisation of the engine (clang): an instrumented copy of
# the engine is built from the same sources and flags, runs a short benchmark,
# and the profile it writes guides the compilation of the real core library
# (which branches are taken, what to inline). The code is the same: every
# build searches the same tree, only faster.
#
# Included by CMakeLists.txt after VANT_CORE_SOURCES and vant_core exist.

find_program(VANT_LLVM_PROFDATA NAMES llvm-profdata llvm-profdata-14 llvm-profdata-15 llvm-profdata-16)
if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang" OR NOT VANT_LLVM_PROFDATA OR CMAKE_CROSSCOMPILING)
  message(STATUS "Profile-guided optimisation off (needs clang and llvm-profdata on a native build)")
  return()
endif()

set(vant_profile_dir ${CMAKE_BINARY_DIR}/profile)
set(vant_profile_data ${vant_profile_dir}/vant.profdata)

# The instrumented engine.
add_library(vant_core_instrumented STATIC EXCLUDE_FROM_ALL ${VANT_CORE_SOURCES})
target_include_directories(vant_core_instrumented PUBLIC ${CMAKE_SOURCE_DIR}/Source)
target_link_libraries(vant_core_instrumented PUBLIC Threads::Threads)
target_compile_options(vant_core_instrumented PRIVATE -fprofile-instr-generate)
add_executable(vant_instrumented EXCLUDE_FROM_ALL Source/main.cpp)
target_link_libraries(vant_instrumented PRIVATE vant_core_instrumented)
target_link_options(vant_instrumented PRIVATE -fprofile-instr-generate)

# Its run: the benchmark positions to depth 13 on one thread, in a directory
# of its own (the engine reads vant.rc and writes its log where it runs).
add_custom_command(
  OUTPUT ${vant_profile_data}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${vant_profile_dir}/run
  COMMAND ${CMAKE_COMMAND} -E make_directory ${vant_profile_dir}/run
  COMMAND ${CMAKE_COMMAND} -E chdir ${vant_profile_dir}/run ${CMAKE_COMMAND} -E env
          LLVM_PROFILE_FILE=${vant_profile_dir}/run/vant.profraw $<TARGET_FILE:vant_instrumented> -nolog -bench -d 13
  COMMAND ${VANT_LLVM_PROFDATA} merge -o ${vant_profile_data} ${vant_profile_dir}/run/vant.profraw
  DEPENDS vant_instrumented
  COMMENT "Profiling the engine's benchmark for profile-guided optimisation"
  VERBATIM)
add_custom_target(vant_profile DEPENDS ${vant_profile_data})

# The real core library, compiled with the profile once it exists.
add_dependencies(vant_core vant_profile)
target_compile_options(vant_core PRIVATE -fprofile-instr-use=${vant_profile_data})
