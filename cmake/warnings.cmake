# Warnings as errors for everything we write (not for GoogleTest).
function(dorv_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
endfunction()
