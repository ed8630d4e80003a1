# orq_add_test(NAME SOURCES... [LIBS libs...] [LABELS labels...] [JACK])
# One GoogleTest executable registered with CTest under NAME. JACK: it runs against a JACK dummy
# server of its own (scripts/with-jack.sh), so that such tests can run side by side.
function(orq_add_test name)
  cmake_parse_arguments(T "JACK" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES} ${T_UNPARSED_ARGUMENTS})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main)
  if(T_JACK)
    add_test(NAME ${name} COMMAND ${PROJECT_SOURCE_DIR}/scripts/with-jack.sh $<TARGET_FILE:${name}>)
  else()
    add_test(NAME ${name} COMMAND ${name})
  endif()
  if(T_LABELS)
    set_tests_properties(${name} PROPERTIES LABELS "${T_LABELS}")
  endif()
endfunction()

# orq_embed(OUT_VAR SYMBOL FILE)
# Makes an assembler source that carries FILE as read-only data under SYMBOL (16-byte aligned)
# and SYMBOL_end, and appends it to OUT_VAR. Declare in C++ as
#   extern "C" const uint8_t SYMBOL[]; extern "C" const uint8_t SYMBOL_end[];
# ELF gets a read-only section and the note that keeps the stack non-executable; COFF (Windows)
# has neither that note nor the @progbits syntax, and names its read-only data .rdata.
function(orq_embed out_var symbol file)
  set(asm ${CMAKE_CURRENT_BINARY_DIR}/embed_${symbol}.S)
  if(WIN32)
    set(section "    .section .rdata,\"dr\"\n")
    set(tail "")
  else()
    set(section "    .section .rodata\n")
    set(tail "    .section .note.GNU-stack,\"\",@progbits\n")
  endif()
  file(WRITE ${asm}.in
    "${section}"
    "    .balign 16\n"
    "    .global ${symbol}\n"
    "${symbol}:\n"
    "    .incbin \"${file}\"\n"
    "    .global ${symbol}_end\n"
    "${symbol}_end:\n"
    "    .byte 0\n"
    "${tail}")
  configure_file(${asm}.in ${asm} COPYONLY)
  set_source_files_properties(${asm} PROPERTIES OBJECT_DEPENDS ${file} GENERATED TRUE)
  set(${out_var} ${${out_var}} ${asm} PARENT_SCOPE)
endfunction()

# Adds every immediate subfolder of the current folder that has a CMakeLists.txt.
macro(orq_add_subfolders)
  file(GLOB _orq_subs LIST_DIRECTORIES true ${CMAKE_CURRENT_SOURCE_DIR}/*)
  list(SORT _orq_subs)
  foreach(_d ${_orq_subs})
    if(IS_DIRECTORY ${_d} AND EXISTS ${_d}/CMakeLists.txt)
      add_subdirectory(${_d})
    endif()
  endforeach()
endmacro()
