# The page's own files, named once: what the build copies, what the service worker keeps
# (with the game's files and the icons) and what the zip packs. The scripts in the order
# index.html runs them; then the ones remote play loads once a player invites or opens an
# invite (panels.js), which the service worker keeps only from then on: the start screen's
# first visit stays small.
set(BRELVO_PAGE_SCRIPTS link.js protocol.js machine.js peer.js panels.js host.js guest.js
    page.js touch.js)
set(BRELVO_PAGE_LATER qr.js rendezvous.js)
set(BRELVO_PAGE_FILES index.html style.css ${BRELVO_PAGE_SCRIPTS} ${BRELVO_PAGE_LATER}
    manifest.webmanifest)
