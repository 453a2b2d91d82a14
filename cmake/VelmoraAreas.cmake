# Adds every subfolder of the current folder that holds a CMakeLists.txt and
# is not named in VELMORA_SKIP: each area of tests or benchmarks keeps its own.
function(velmora_add_areas)
  file(RELATIVE_PATH _here ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
  file(GLOB _areas LIST_DIRECTORIES true RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/*)
  foreach(_area IN LISTS _areas)
    if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${_area}/CMakeLists.txt AND NOT "${_here}/${_area}" IN_LIST VELMORA_SKIP)
      add_subdirectory(${_area})
    endif()
  endforeach()
endfunction()
