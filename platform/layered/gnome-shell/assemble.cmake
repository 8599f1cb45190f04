# Puts one of the extension's entry files together with the shared body (flash.js) into an
# extension folder with its metadata:
#   cmake -DSOURCE_DIR=... -DENTRY=legacy|module -DSHELL_VERSIONS='"43", "44"' -DOUT=... -P
file(READ "${SOURCE_DIR}/extension-${ENTRY}.js" entry)
file(READ "${SOURCE_DIR}/flash.js" body)
file(MAKE_DIRECTORY "${OUT}")
file(WRITE "${OUT}/extension.js.tmp" "${entry}\n${body}")
file(RENAME "${OUT}/extension.js.tmp" "${OUT}/extension.js")
configure_file("${SOURCE_DIR}/metadata.json.in" "${OUT}/metadata.json" @ONLY)
