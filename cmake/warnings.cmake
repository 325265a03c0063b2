# Warnings for everything we write (not for GoogleTest). They are errors only
# where asked for (the presets and CI), so that a user's plain build succeeds
# with a compiler that warns about more than ours.
option(DORV_WARNINGS_AS_ERRORS "Treat compiler warnings in our own code as errors" OFF)

function(dorv_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  # GCC 12's optimiser reports std::string's own "text" + string as overlapping
  # copies (-Wrestrict, a known false positive): shown, but never an error.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_GREATER_EQUAL 12)
    target_compile_options(${target} PRIVATE -Wno-error=restrict)
  endif()
  if(DORV_WARNINGS_AS_ERRORS)
    set_target_properties(${target} PROPERTIES COMPILE_WARNING_AS_ERROR ON)
  endif()
endfunction()
