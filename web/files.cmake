# The page's own files, named once: what the build copies, what the service worker keeps
# (with the game's files and the icons) and what the zip packs. The scripts in the order
# index.html runs them.
set(BRELVO_PAGE_SCRIPTS link.js qr.js protocol.js machine.js peer.js panels.js host.js guest.js
    page.js touch.js)
set(BRELVO_PAGE_FILES index.html style.css ${BRELVO_PAGE_SCRIPTS} manifest.webmanifest)
