# page.cmake - writes the site's index.html from web/index.html with the
# version and the sizes of the files the page downloads, which it shows and
# checks what arrives against.
#   cmake -DPAGE_IN=... -DSITE_DIR=... -DDEMO_VERSION=... -P page.cmake
foreach(var PAGE_IN SITE_DIR DEMO_VERSION)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "page.cmake needs ${var}")
  endif()
endforeach()
file(SIZE ${SITE_DIR}/demo.js DEMO_JS_BYTES)
file(SIZE ${SITE_DIR}/demo.wasm DEMO_WASM_BYTES)
file(SIZE ${SITE_DIR}/demo.data.gz DEMO_DATA_BYTES)
math(EXPR DEMO_DOWNLOAD_BYTES "${DEMO_JS_BYTES} + ${DEMO_WASM_BYTES} + ${DEMO_DATA_BYTES}")
configure_file(${PAGE_IN} ${SITE_DIR}/index.html.tmp @ONLY)
file(RENAME ${SITE_DIR}/index.html.tmp ${SITE_DIR}/index.html)
