# Warnings for our own targets only; third-party headers come in as SYSTEM.
function(quillmend_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor
                                           -Wold-style-cast -Wcast-align -Wunused -Woverloaded-virtual
                                           -Wdouble-promotion -Wformat=2)
endfunction()
