# The public headers with C functions (trelk/library.h, trelk/display.h, trelk/keys.h) compile
# as C: built with every other target, a failure is a build failure.
add_library(public_headers_c OBJECT ${CMAKE_CURRENT_LIST_DIR}/public_headers.c)
set_target_properties(public_headers_c PROPERTIES C_STANDARD 99 C_STANDARD_REQUIRED ON
                                                  C_EXTENSIONS OFF)
target_compile_options(public_headers_c PRIVATE -Wall -Wextra -pedantic-errors -Werror)
