# vemra_file_version(<target>): gives an executable or a shared/module library the version
# record that GetFileVersionText reads from the file: "VEMRA-FILE-VERSION:" and the
# project's four version numbers (missing ones are 0). Give it to final binaries only,
# never to a static library, so that each file carries exactly its own record.
include_guard(GLOBAL)

function(vemra_file_version target)
  set(numbers "")
  foreach(part MAJOR MINOR PATCH TWEAK)
    set(n "${PROJECT_VERSION_${part}}")
    if(n STREQUAL "")
      set(n 0)
    endif()
    list(APPEND numbers ${n})
  endforeach()
  list(JOIN numbers "." VEMRA_FILE_VERSION_NUMBERS)
  set(VEMRA_FILE_VERSION_TARGET ${target})
  set(out ${CMAKE_CURRENT_BINARY_DIR}/${target}_file_version.cpp)
  configure_file(${CMAKE_CURRENT_FUNCTION_LIST_DIR}/FileVersion.cpp.in ${out} @ONLY)
  target_sources(${target} PRIVATE ${out})
endfunction()
