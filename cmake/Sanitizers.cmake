# DRAVO_SANITIZE is a comma list handed to -fsanitize.
if(DRAVO_SANITIZE)
  add_compile_options(-fsanitize=${DRAVO_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${DRAVO_SANITIZE})
endif()
