# Strict warnings for every target of ours.
add_library(dravo_warnings INTERFACE)
target_compile_options(dravo_warnings INTERFACE -Wall -Wextra -Wpedantic -Werror)
