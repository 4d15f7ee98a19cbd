# Writes the site: the page and the module under names that carry a hash of
# their content, so that a browser's cache never pairs the files of two
# builds, and index.html (never cached) naming them. Run by the build:
#   cmake -DMODULE_DIR=... -DPAGE_DIR=... -DSCREENSHOT=... -DSITE=... -P make-site.cmake
file(REMOVE_RECURSE ${SITE})
file(MAKE_DIRECTORY ${SITE})

# Copies a file into the site as NAME.HASH.EXTENSION and sets VARIABLE to that name.
function(hashed variable path)
  file(SHA256 ${path} hash)
  string(SUBSTRING ${hash} 0 12 hash)
  get_filename_component(name ${path} NAME)
  string(REGEX REPLACE "^([^.]+)\\.(.*)$" "\\1.${hash}.\\2" name ${name})
  file(COPY_FILE ${path} ${SITE}/${name})
  set(${variable} ${name} PARENT_SCOPE)
endfunction()

hashed(MODULE_JS ${MODULE_DIR}/vimbel-demo.js)
hashed(MODULE_WASM ${MODULE_DIR}/vimbel-demo.wasm)
hashed(PAGE_JS ${PAGE_DIR}/page.js)
hashed(STYLE_CSS ${PAGE_DIR}/style.css)
# The module's size as it is decoded, for the loading progress in percent
# whatever encoding the server chooses.
file(SIZE ${MODULE_DIR}/vimbel-demo.wasm MODULE_WASM_SIZE)
configure_file(${PAGE_DIR}/index.html ${SITE}/index.html @ONLY)
# The preview shown where the page's link is shared.
file(COPY_FILE ${SCREENSHOT} ${SITE}/screenshot.png)
