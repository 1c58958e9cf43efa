# Compares our DXVA parameter-buffer layouts with the Windows SDK headers that
# the mingw-w64 cross toolchain ships. Run as
#   cmake -DCOMPILER=<x86_64-w64-mingw32-g++ or empty> -DSOURCE_DIR=<repo>
#         -DWORK_DIR=<scratch dir> -P dxva_layout_check.cmake
# Prints "SKIPPED" (and succeeds) when no cross compiler is available.

if(NOT COMPILER OR NOT EXISTS "${COMPILER}")
  message("SKIPPED: x86_64-w64-mingw32-g++ not found")
  return()
endif()

set(check_source "${SOURCE_DIR}/tests/dxva/dxva_layout_check.cpp")
set(header "${SOURCE_DIR}/decoder/dxva/dxva_structures.h")
set(flags -std=c++20 -Wall -Wextra -Werror)

# include_dir: where "decoder/dxva/dxva_structures.h" is looked up first.
function(compile_check include_dir out_result out_log)
  # -fsyntax-only evaluates the static_asserts (sizes, offsets, field sizes);
  # the optimised compile folds the bit-field masks.
  execute_process(
    COMMAND "${COMPILER}" ${flags} -I${include_dir} -fsyntax-only "${check_source}"
    RESULT_VARIABLE syntax_result ERROR_VARIABLE syntax_log OUTPUT_QUIET)
  execute_process(
    COMMAND "${COMPILER}" ${flags} -O2 -I${include_dir} -c -o "${WORK_DIR}/layout_check.o" "${check_source}"
    RESULT_VARIABLE object_result ERROR_VARIABLE object_log OUTPUT_QUIET)
  if(syntax_result EQUAL 0 AND object_result EQUAL 0)
    set(${out_result} 0 PARENT_SCOPE)
  else()
    set(${out_result} 1 PARENT_SCOPE)
  endif()
  set(${out_log} "${syntax_log}${object_log}" PARENT_SCOPE)
endfunction()

file(MAKE_DIRECTORY "${WORK_DIR}")
compile_check("${SOURCE_DIR}" result log)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "layouts differ from the SDK headers:\n${log}")
endif()
message("layouts agree with the SDK headers")

# The check must also bite: a copy of the header with one mistake each must
# be refused. Swapping the names of two adjacent one-byte fields moves both
# offsets; swapping two one-bit flags moves only bit positions. Each name
# occurs once in the header.
file(READ "${header}" original)
set(mutations "ContinuationFlag|pic_init_qp_minus26" "IrapPicFlag|IdrPicFlag")
set(index 0)
foreach(mutation IN LISTS mutations)
  string(REPLACE "|" ";" pair "${mutation}")
  list(GET pair 0 first)
  list(GET pair 1 second)
  foreach(name IN ITEMS ${first} ${second})
    string(REGEX MATCHALL "${name}" occurrences "${original}")
    list(LENGTH occurrences count)
    if(NOT count EQUAL 1)
      message(FATAL_ERROR "mutation target '${name}' occurs ${count} times in the header")
    endif()
  endforeach()
  string(REPLACE "${first}" "@SWAP@" mutated "${original}")
  string(REPLACE "${second}" "${first}" mutated "${mutated}")
  string(REPLACE "@SWAP@" "${second}" mutated "${mutated}")
  set(mutant_dir "${WORK_DIR}/mutant${index}")
  file(WRITE "${mutant_dir}/decoder/dxva/dxva_structures.h" "${mutated}")
  compile_check("${mutant_dir}" result log)
  if(result EQUAL 0)
    message(FATAL_ERROR "the layout check accepted a header with '${first}' and '${second}' swapped")
  endif()
  message("refused as expected: '${first}' swapped with '${second}'")
  math(EXPR index "${index} + 1")
endforeach()
