# What a player's machine needs to build the game, and what the tests need besides (SDL2:
# the virtual gamepads of the tests that play over sdl12-compat).
# shellcheck shell=bash disable=SC2034
BUILD_PACKAGES=(g++ cmake make pkg-config python3 libsdl1.2-dev libsdl-mixer1.2-dev)
TEST_PACKAGES=(libgtest-dev xvfb x11-utils xdotool imagemagick
    desktop-file-utils appstream lintian dpkg-dev file valgrind libc6-dbg libbenchmark-dev
    pulseaudio pulseaudio-utils libvorbis-dev libsdl2-2.0-0)
# The browser's home: Emscripten and the headers the page's build compiles against,
# terser, which takes the comments out of the page's scripts, then
# the three engines the page is tested in and what drives them; zbarimg reads the QR codes
# of the links for play over the net, whose browser tests have networks of their own (ip,
# unshare, nsenter); remote matches there go through a TURN server, and socat carries
# Firefox's driver port out of its network. The TURN server is Debian's coturn, unpacked
# into build/tools by tools/web.sh rather than installed, since the package would start
# a TURN server on the machine's own network: here are only the libraries it needs.
WEB_PACKAGES=(emscripten libstb-dev python3 terser)
WEB_TEST_PACKAGES=(chromium chromium-driver python3-selenium firefox-esr python3-websockets
    python3-numpy python3-pil vorbis-tools
    webkit2gtk-driver xvfb pulseaudio pulseaudio-utils nodejs zbar-tools iproute2 util-linux
    socat libevent-core-2.1-7 libevent-extra-2.1-7 libevent-openssl-2.1-7
    libevent-pthreads-2.1-7 libhiredis0.14 libmariadb3 libpq5 libsqlite3-0 libssl3 libdlt2)
