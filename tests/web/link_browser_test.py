#!/usr/bin/python3
"""Links between real browsers: an offer made in one engine is packed there, unpacked in the
other and set as its remote description; the answer comes back the same way. Then each shows
a link's QR code on the page's black, under its policy, and zbarimg reads it off the screen.
   link_browser_test.py [ENGINE...]      (chromium firefox; both by default)
It runs in a network namespace with only loopback: nothing leaves the machine."""
import contextlib
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import browsers  # noqa: E402
from test_page import ROOT, Page  # noqa: E402

HTML = '''<!doctype html><meta charset="utf-8"><title>Links</title>
<meta http-equiv="Content-Security-Policy"
  content="default-src 'none'; script-src 'self'; img-src 'self'; style-src 'self'">
<link rel="stylesheet" href="style.css">
<script src="link.js"></script><script src="qr.js"></script>'''

# An offer, or the answer to the link `remote`, gathered for up to 2 s (there is nothing to
# gather with only loopback); gives its peer's number and its SDP.
SIDE = '''return (async () => {
  const remote = %s, pc = new RTCPeerConnection();
  (window.peers = window.peers || []).push(pc);
  if (remote) await pc.setRemoteDescription(brelvoLink.unpack(remote));
  else pc.createDataChannel('match');
  await pc.setLocalDescription(remote ? await pc.createAnswer() : await pc.createOffer());
  await new Promise((done) => {
    pc.onicegatheringstatechange = () => pc.iceGatheringState === 'complete' && done();
    setTimeout(done, pc.iceGatheringState === 'complete' ? 0 : 2000);
  });
  return [peers.length - 1, pc.localDescription.sdp];
})();'''

# Candidates as a browser behind NAT with a TURN server would add (n tells the sides apart).
ADDED = ['a=candidate:{n} 1 udp 2113937151 {n:08x}-1c2d-4e5f-8a9b-0c1d2e3f4a5b.local 5072 typ host',
         'a=candidate:{n}1 1 udp 2113939711 2001:db8::{n}:7 50724 typ host generation 0',
         'a=candidate:{n}2 1 udp 1677729535 203.0.113.{n} 50723 typ srflx raddr 0.0.0.0 rport 0',
         'a=candidate:{n}3 1 udp 33562623 198.51.100.{n} 61034 typ relay raddr 203.0.113.7 rport 5']


def attributes(sdp):
    """What the connection hangs on, as a browser tells it back."""
    found = {k: sorted(set(re.findall(rf'^a={k}:(.*?)\r?$', sdp, re.M)))
             for k in ('ice-ufrag', 'ice-pwd', 'fingerprint')}
    found['candidates'] = sorted(re.findall(r'^a=candidate:\S+ 1 udp \d+ (\S+) (\d+) typ (\w+)',
                                            sdp, re.M | re.I))
    return found


def side(browser, remote, n):
    peer, sdp = browser.evaluate(SIDE % json.dumps(remote))
    sdp = sdp.rstrip('\r\n') + ''.join('\r\n' + c.format(n=n) for c in ADDED) + '\r\n'
    kind = 'answer' if remote else 'offer'
    return peer, sdp, browser.evaluate('return brelvoLink.pack(%s)' % json.dumps(
        {'type': kind, 'sdp': sdp}))


def handshake(offerer, answerer):
    """An offer from `offerer`, answered by `answerer`, both through links."""
    first, offer, link = side(offerer, '', 1)
    second, answer, reply = side(answerer, link, 2)
    taken = answerer.evaluate('return peers[%d].remoteDescription.sdp' % second)
    assert attributes(taken) == attributes(offer), (attributes(taken), attributes(offer))
    state, taken = offerer.evaluate('''const pc = peers[%d];
        return pc.setRemoteDescription(brelvoLink.unpack(%s))
          .then(() => [pc.signalingState, pc.remoteDescription.sdp]);'''
                                    % (first, json.dumps(reply)))
    assert state == 'stable' and attributes(taken) == attributes(answer), (state, taken)
    assert len(attributes(taken)['candidates']) == 4
    return link


def shown_code(browser, text):
    """What zbarimg reads on the screen once the page shows `text` as a QR code."""
    browser.evaluate('document.body.append(brelvoQr.svg(%s, "the invite link"))' % json.dumps(text))
    label = browser.evaluate('const s = document.querySelector("svg"); '
                             'return s.getAttribute("role") + " " + s.getAttribute("aria-label")')
    assert label == 'img QR code of the invite link', label
    with tempfile.NamedTemporaryFile(suffix='.pgm') as f:
        browser.shot().convert('L').save(f.name)
        return subprocess.run(['zbarimg', '-q', '--raw', '--nodbus', f.name],
                              capture_output=True, text=True).stdout.rstrip('\n')


def main(engines):
    with tempfile.TemporaryDirectory(prefix='brelvo-links.') as site, \
            contextlib.ExitStack() as stack:
        for name in ('link.js', 'qr.js', 'style.css'):
            shutil.copy(os.path.join(ROOT, 'web', name), site)
        with open(os.path.join(site, 'index.html'), 'w') as f:
            f.write(HTML)
        page = Page(site)
        stack.callback(page.stop)
        running = [stack.enter_context(browsers.launch(name)) for name in engines]
        for b in running:
            b.open(page.url)
        for offerer in running:
            for answerer in running:
                link = handshake(offerer, answerer)
                print(f'{offerer.name} -> {answerer.name}: taken both ways, {len(link)} characters')
        for b in running:
            text = 'https://example.org/games/brelvo/#' + link
            assert shown_code(b, text) == text, b.name
            # Firefox says ICE failed, as it must here: the candidates are made up.
            errors = [e for e in b.console_errors() if 'WebRTC: ICE failed' not in e]
            assert errors == [], errors
            print(f'{b.name}: the QR code on the screen reads back')


if __name__ == '__main__':
    browsers.own_network()
    main(sys.argv[1:] or ['chromium', 'firefox'])
