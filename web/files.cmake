# The page's own files, named once: what the build copies, what the service worker keeps
# (with the game's files and the icons) and what the zip packs. The scripts in the order
# index.html runs them; then remote play's and the big screen's own, which panels.js loads
# in this order once a player invites, opens the big screen or opens a link, and the service
# worker keeps only from then on: the start
# screen's first visit does without them.
set(BRELVO_PAGE_SCRIPTS machine.js view.js panels.js touch.js page.js)
set(BRELVO_PAGE_LATER link.js protocol.js peer.js pace.js host.js guest.js qr.js rendezvous.js
    screen.js seat.js seats.js party.css)
set(BRELVO_PAGE_FILES index.html style.css ${BRELVO_PAGE_SCRIPTS} ${BRELVO_PAGE_LATER}
    manifest.webmanifest)
