# ribbons as one web page: build/.../ribbons.html holds the page, the
# loader and the WebAssembly (SINGLE_FILE), so it opens from disk, where a
# browser refuses to load a separate .wasm file. The page itself is
# web/shell.html. Minifying the page's HTML would need a tool that Debian's
# emscripten lacks.
set_target_properties(ribbons PROPERTIES SUFFIX .html
  LINK_DEPENDS "${CMAKE_SOURCE_DIR}/web/shell.html")
target_link_options(ribbons PRIVATE --shell-file "${CMAKE_SOURCE_DIR}/web/shell.html"
  -sSINGLE_FILE=1 -sMINIFY_HTML=0 -sENVIRONMENT=web
  # The page starts main and ends the program when it returns.
  -sEXPORTED_FUNCTIONS=_main,_exit -sEXPORTED_RUNTIME_METHODS=ccall)
