"""Drives one web page the same way in Chromium, Firefox and WebKitGTK.

    with browsers.launch('firefox', env={'PULSE_SERVER': ...}) as b:
        b.open(url); b.press('ArrowDown'); b.evaluate('return document.title')
        b.reopen(url)  # in a new tab, the old one closed
        old = b.tab(url); b.use(old)  # a new tab beside the old one, and back
        b.emulate(390, 844, 3)  # a phone's screen; b.emulate() puts the desktop back
        b.touch([('down', 50, 700), ('move', 90, 700, 100), ('up',)],  # two fingers at once
                [('down', 300, 700), ('pause', 100), ('up',)])

Chromium and WebKitGTK go through selenium and their WebDriver servers; Debian has
no geckodriver, so Firefox is driven over WebDriver BiDi, which it speaks itself.
Clicks, key presses and touches are real WebDriver input, so they count as user gestures
(WebAudio needs one). WebKitGTK's driver performs touch actions as one mouse (its GTK
build has no touch), so there touches are pointer events of type touch made by script:
the page sees them, but they are not gestures. Each browser gets a temporary HOME and profile, and `launch`
removes them and ends every process it started.

A browser can run in a network namespace of the caller's (launch(..., netns='/proc/PID/ns/net'))
while its driver stays out here: chromedriver speaks to Chromium over a pipe, and Firefox's
WebDriver BiDi port is carried out on a unix socket by socat.
"""
import asyncio
import base64
import contextlib
import io
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

from PIL import Image
from selenium import webdriver
from selenium.common.exceptions import JavascriptException
from selenium.webdriver.chrome.service import Service as ChromeService
from selenium.webdriver.common.actions.action_builder import ActionBuilder
from selenium.webdriver.remote.webdriver import WebDriver
from selenium.webdriver.webkitgtk.service import Service as WebKitService
import websockets

MINIBROWSER = '/usr/lib/x86_64-linux-gnu/webkit2gtk-4.1/MiniBrowser'
KEYS = {'ArrowUp': '\ue013', 'ArrowDown': '\ue015', 'ArrowLeft': '\ue012',
        'ArrowRight': '\ue014', 'Escape': '\ue00c', 'Enter': '\ue007', 'Tab': '\ue004'}

# Scrolls the element into view and returns its middle in viewport pixels.
CENTER_JS = '''const s = %s, e = document.querySelector(s);
if (!e) throw new Error('no element matches ' + s);
e.scrollIntoView({block: 'center', inline: 'center'});
const r = e.getBoundingClientRect();
return [Math.round(r.left + r.width / 2), Math.round(r.top + r.height / 2)];'''

# WebKitWebDriver has neither a log endpoint nor BiDi, so on WebKit the page collects
# its own errors. That can only start once the page has loaded: errors raised while
# it loads are not seen there.
CAPTURE_JS = '''if (!window.__brelvoConsole) {
  const log = window.__brelvoConsole = [];
  const original = console.error;
  console.error = function (...args) {
    log.push(args.map(String).join(' '));
    return original.apply(this, args);
  };
  addEventListener('error', e => log.push('Uncaught ' + e.message +
      (e.filename ? ` at ${e.filename}:${e.lineno}` : '')));
  addEventListener('unhandledrejection', e => log.push('Uncaught (in promise) ' + e.reason));
}'''


# WebDriver's touch actions played as the pointer events a touch screen gives: each
# finger's events go to the element it came down on, as a touch's do.
SYNTHETIC_TOUCH = '''const sources = %s, fingers = sources.map(() => ({x: 0, y: 0, target: null}));
const send = (type, finger, n) => finger.target.dispatchEvent(new PointerEvent(type, {
  pointerId: 100 + n, pointerType: 'touch', isPrimary: n === 0, clientX: finger.x,
  clientY: finger.y, buttons: type === 'pointerup' ? 0 : 1, width: 20, height: 20,
  bubbles: true, cancelable: true, composed: true}));
const ticks = Math.max(...sources.map((s) => s.actions.length));
for (let t = 0; t < ticks; t++) {
  let wait = 0;
  sources.forEach((source, n) => {
    const a = source.actions[t], finger = fingers[n];
    if (!a) return;
    wait = Math.max(wait, a.duration || 0);
    if (a.type === 'pointerMove') {
      finger.x = a.x; finger.y = a.y;
      if (finger.target) send('pointermove', finger, n);
    } else if (a.type === 'pointerDown') {
      finger.target = document.elementFromPoint(finger.x, finger.y) || document.body;
      send('pointerdown', finger, n);
    } else if (a.type === 'pointerUp') {
      send('pointerup', finger, n);
      finger.target = null;
    }
  });
  await new Promise((resolve) => setTimeout(resolve, wait));
}'''


class PageError(Exception):
    """The script given to `evaluate` threw."""


def _key(name):
    key = KEYS.get(name, name)
    if len(key) != 1:
        raise ValueError(f'unknown key {name!r}')
    return key


def _wait(what, check, timeout=10.0):
    end = time.monotonic() + timeout
    while True:
        result = check()
        if result:
            return result
        if time.monotonic() > end:
            raise TimeoutError(f'timed out waiting for {what}')
        time.sleep(0.05)


def _stop(proc):
    """Ends a process started in a session of its own, and what it left there."""
    for sig in (signal.SIGTERM, signal.SIGKILL):
        with contextlib.suppress(ProcessLookupError):
            os.killpg(proc.pid, sig)
        with contextlib.suppress(subprocess.TimeoutExpired):
            proc.wait(5)
            return


class _Browser:
    def resize(self, width, height):
        self._set_size(width, height)
        _wait(f'a {width}x{height} viewport', lambda: self.evaluate(
            'return [innerWidth, innerHeight]') == [width, height], timeout=5)
        # The size changes before the page's resize listeners run: they run when the
        # next frame is drawn.
        self.evaluate('return new Promise(r => requestAnimationFrame(() => '
                      'requestAnimationFrame(r)))')

    def touch(self, *fingers):
        """Fingers on the screen together, in one go: each a list of steps ('down', x, y),
        ('move', x, y[, ms]), ('pause', ms), ('up',), in viewport pixels; the n-th steps of
        all fingers happen at once. Every finger must be up at the end."""
        self._touch([{'type': 'pointer', 'id': f'finger{n}',
                      'parameters': {'pointerType': 'touch'}, 'actions': _actions(steps)}
                     for n, steps in enumerate(fingers)])

    def tap(self, selector):
        x, y = self._middle(selector)
        self.touch([('down', x, y), ('up',)])

    def shot(self):
        """What the viewport shows, as an image (PIL), one pixel a device pixel."""
        return Image.open(io.BytesIO(self._png())).convert('RGB')

    def console_errors(self):
        """Errors since the last open/reload, each engine in its own words."""
        return self._messages()

    def _middle(self, selector):
        return self.evaluate(CENTER_JS % json.dumps(selector))


def _actions(steps):
    """WebDriver's actions for one finger's steps, two ticks a step so that the fingers'
    steps stay in line: a touch down is a move there, then the press."""
    actions = []
    for kind, *args in steps:
        pause = {'type': 'pause', 'duration': 0}
        if kind == 'down':
            actions += [{'type': 'pointerMove', 'x': args[0], 'y': args[1], 'duration': 0,
                         'origin': 'viewport'}, {'type': 'pointerDown', 'button': 0}]
        elif kind == 'move':
            actions += [{'type': 'pointerMove', 'x': args[0], 'y': args[1],
                         'duration': args[2] if len(args) > 2 else 0, 'origin': 'viewport'},
                        pause]
        elif kind == 'pause':
            actions += [{'type': 'pause', 'duration': args[0]}, pause]
        elif kind == 'up':
            actions += [{'type': 'pointerUp', 'button': 0}, pause]
        else:
            raise ValueError(f'unknown step {kind!r}')
    return actions


class _Selenium(_Browser):
    def __init__(self, driver, service):
        self.driver, self.service, self.log = driver, service, []

    def open(self, url):
        self._forget()
        self.driver.get(url)
        self._loaded()

    def reload(self):
        self._forget()
        self.driver.refresh()
        self._loaded()

    def reopen(self, url):
        old = self.driver.current_window_handle
        self.driver.switch_to.new_window('tab')
        fresh = self.driver.current_window_handle
        self.driver.switch_to.window(old)
        self.driver.close()
        self.driver.switch_to.window(fresh)
        self.open(url)

    def tab(self, url):
        """Opens `url` in a new tab, which the calls that follow drive; returns the tab
        that was driven (see `use`)."""
        old = self.driver.current_window_handle
        self.driver.switch_to.new_window('tab')
        self.open(url)
        return old

    def use(self, tab):
        """Brings `tab` to the front and drives it; returns the tab that was driven."""
        old = self.driver.current_window_handle
        self.driver.switch_to.window(tab)
        return old

    def _forget(self):  # before a page goes
        pass

    def _loaded(self):  # after one has come
        pass

    def evaluate(self, js):
        try:
            return self.driver.execute_script(js)
        except JavascriptException as e:
            raise PageError(e.msg.splitlines()[0]) from None

    def click(self, selector):
        x, y = self._middle(selector)
        actions = ActionBuilder(self.driver, duration=0)
        actions.pointer_action.move_to_location(x, y).click()
        actions.perform()

    def press(self, *keys):
        actions = ActionBuilder(self.driver, duration=0)
        for k in map(_key, keys):
            actions.key_action.key_down(k).key_up(k)
        actions.perform()

    def _png(self):
        return self.driver.get_screenshot_as_png()

    def _touch(self, sources):
        self.driver.execute('actions', {'actions': sources})
        self.driver.execute('clearActionState')

    def _set_size(self, width, height):
        # Only the window can be sized; it is bigger than the viewport by whatever
        # frame the browser draws around the page.
        for _ in range(3):
            inner = self.evaluate('return [innerWidth, innerHeight]')
            if inner == [width, height]:
                return
            outer = self.driver.get_window_size()
            self.driver.set_window_size(outer['width'] + width - inner[0],
                                        outer['height'] + height - inner[1])
            time.sleep(0.1)

    def close(self):
        try:
            self.driver.quit()
        finally:
            self.service.stop()
            _stop(self.service.process)


class _Chromium(_Selenium):
    name = 'chromium'

    def emulate(self, width=None, height=None, scale=1):
        """A touch screen of width x height CSS pixels, `scale` device pixels each, as
        DevTools' device mode makes one; no arguments: the desktop again."""
        if width is None:
            self.driver.execute_cdp_cmd('Emulation.clearDeviceMetricsOverride', {})
            self.driver.execute_cdp_cmd('Emulation.setTouchEmulationEnabled', {'enabled': False})
            return
        self.driver.execute_cdp_cmd('Emulation.setDeviceMetricsOverride', {
            'width': width, 'height': height, 'deviceScaleFactor': scale, 'mobile': True})
        self.driver.execute_cdp_cmd('Emulation.setTouchEmulationEnabled',
                                    {'enabled': True, 'maxTouchPoints': 5})

    def screenshot(self, path):
        """The viewport as a player sees it, one pixel a CSS pixel."""
        width, height = self.evaluate('return [innerWidth, innerHeight]')
        shot = self.driver.execute_cdp_cmd('Page.captureScreenshot', {
            'format': 'png', 'clip': {'x': 0, 'y': 0, 'width': width, 'height': height,
                                      'scale': 1 / self.evaluate('return devicePixelRatio')}})
        with open(path, 'wb') as f:
            f.write(base64.b64decode(shot['data']))

    def _forget(self):
        self.driver.get_log('browser')  # each read empties it
        self.log = []

    def _messages(self):
        for entry in self.driver.get_log('browser'):
            # Chromium asks every site for a favicon on its own: a 404 there is not the page's.
            if entry['level'] == 'SEVERE' and '/favicon.ico - Failed' not in entry['message']:
                self.log.append(entry['message'])
        return list(self.log)


class _WebKit(_Selenium):
    name = 'webkit'

    def emulate(self, width=None, height=None, scale=1):
        """Only the window's size, as near as the window goes (MiniBrowser's is at least
        about 450 pixels wide): WebKitGTK has no device emulation."""
        self._set_size(width or self.desktop[0], height or self.desktop[1])
        self.evaluate('return new Promise(r => requestAnimationFrame(() => '
                      'requestAnimationFrame(r)))')

    def _touch(self, sources):
        self.evaluate('return (async () => {' + SYNTHETIC_TOUCH % json.dumps(sources) + '})()')

    def tap(self, selector):
        # A made-up touch shows the page a finger; the click is the gesture.
        super().tap(selector)
        self.click(selector)

    def _loaded(self):
        self.evaluate(CAPTURE_JS)

    def _messages(self):
        return self.evaluate('return window.__brelvoConsole || []')


class _Firefox(_Browser):
    name = 'firefox'

    def __init__(self, url, unix=None):
        self.log, self.next_id = [], 0
        self.loop = asyncio.new_event_loop()
        self.ws = self.loop.run_until_complete(self._connect(url, unix))
        self._call('session.new', {'capabilities': {}})
        self._call('session.subscribe', {'events': ['log.entryAdded']})
        self.context = self._call('browsingContext.getTree', {})['contexts'][0]['context']

    @staticmethod
    async def _connect(url, unix):  # websockets 10 binds to the loop it is created in
        if unix:
            return await websockets.unix_connect(unix, url, max_size=None)
        return await websockets.connect(url, max_size=None)

    def _call(self, method, params, timeout=60):
        self.next_id += 1
        message = {'id': self.next_id, 'method': method, 'params': params}
        reply = self.loop.run_until_complete(asyncio.wait_for(self._roundtrip(message), timeout))
        if reply.get('type') == 'error':
            raise RuntimeError(f"{method}: {reply['error']}: {reply.get('message')}")
        return reply['result']

    async def _roundtrip(self, message):
        await self.ws.send(json.dumps(message))
        while True:
            reply = json.loads(await self.ws.recv())
            if reply.get('id') == message['id']:
                return reply
            self._event(reply)

    def _event(self, event):
        if event.get('method') != 'log.entryAdded':
            return
        entry = event['params']
        if entry['level'] == 'error':
            uncaught = 'Uncaught ' if entry['type'] == 'javascript' else ''
            self.log.append(uncaught + (entry.get('text') or ''))

    def open(self, url):
        self.log = []
        self._call('browsingContext.navigate',
                   {'context': self.context, 'url': url, 'wait': 'complete'})

    def reload(self):
        self.log = []
        self._call('browsingContext.reload', {'context': self.context, 'wait': 'complete'})

    def reopen(self, url):
        old = self.context
        self.context = self._call('browsingContext.create', {'type': 'tab'})['context']
        self._call('browsingContext.close', {'context': old})
        self.open(url)

    def tab(self, url):
        old = self.context
        self.context = self._call('browsingContext.create', {'type': 'tab'})['context']
        self.open(url)
        return old

    def use(self, tab):
        old, self.context = self.context, tab
        self._call('browsingContext.activate', {'context': tab})
        return old

    def evaluate(self, js):
        result = self._call('script.callFunction', {
            'functionDeclaration': 'function () {\n' + js + '\n}',
            'target': {'context': self.context},
            'awaitPromise': True, 'resultOwnership': 'none'})
        if result['type'] == 'exception':
            raise PageError(result['exceptionDetails']['text'])
        return _plain(result['result'])

    def _perform(self, source):
        self._call('input.performActions', {'context': self.context, 'actions': [source]})

    def click(self, selector):
        x, y = self._middle(selector)
        self._perform({'type': 'pointer', 'id': 'mouse', 'parameters': {'pointerType': 'mouse'},
                       'actions': [{'type': 'pointerMove', 'x': x, 'y': y, 'duration': 0},
                                   {'type': 'pointerDown', 'button': 0},
                                   {'type': 'pointerUp', 'button': 0}]})

    def press(self, *keys):
        steps = []
        for k in map(_key, keys):
            steps += [{'type': 'keyDown', 'value': k}, {'type': 'keyUp', 'value': k}]
        self._perform({'type': 'key', 'id': 'keyboard', 'actions': steps})

    def _png(self):
        return base64.b64decode(self._call('browsingContext.captureScreenshot',
                                           {'context': self.context})['data'])

    def _touch(self, sources):
        self._call('input.performActions', {'context': self.context, 'actions': sources})
        self._call('input.releaseActions', {'context': self.context})

    def emulate(self, width=None, height=None, scale=1):
        """A screen of width x height CSS pixels, `scale` device pixels each."""
        width, height = width or self.desktop[0], height or self.desktop[1]
        self._call('browsingContext.setViewport', {
            'context': self.context, 'viewport': {'width': width, 'height': height},
            'devicePixelRatio': scale})

    def _set_size(self, width, height):
        self._call('browsingContext.setViewport', {
            'context': self.context, 'viewport': {'width': width, 'height': height}})

    def _messages(self):
        # Log events trail the code that caused them: let them arrive.
        self.evaluate('return new Promise(r => setTimeout(r, 50))')
        with contextlib.suppress(asyncio.TimeoutError):
            self.loop.run_until_complete(asyncio.wait_for(self._drain(), 0.1))
        return list(self.log)

    async def _drain(self):
        while True:
            self._event(json.loads(await self.ws.recv()))

    def close(self):
        with contextlib.suppress(Exception):
            self.loop.run_until_complete(asyncio.wait_for(self.ws.close(), 5))
        self.loop.close()


def _plain(r):
    """A BiDi remote value as plain Python; what has no plain form becomes '<type>'."""
    kind, value = r['type'], r.get('value')
    if kind in ('undefined', 'null'):
        return None
    if kind == 'number' and isinstance(value, str):
        # NaN and the infinities come back as None, as they do through selenium's JSON.
        return -0.0 if value == '-0' else None
    if kind in ('number', 'string', 'boolean'):
        return value
    if kind == 'array':
        return [_plain(v) for v in value or []]
    if kind == 'object':
        return {k if isinstance(k, str) else str(_plain(k)): _plain(v) for k, v in value or []}
    return f'<{kind}>'


# Firefox's remote agent sets its own quiet testing prefs, but only once it runs;
# these cover what a fresh profile would do before that: welcome pages, calling home.
FIREFOX_PREFS = {
    'remote.active-protocols': 1,  # BiDi only
    'browser.shell.checkDefaultBrowser': False,
    'browser.startup.homepage_override.mstone': 'ignore',
    'datareporting.policy.dataSubmissionEnabled': False,
    'app.update.disabledForTesting': True,
    'app.normandy.enabled': False,
    'messaging-system.rsexperimentloader.enabled': False,
    'network.captive-portal-service.enabled': False,
    'services.settings.server': 'data:,',
    # Made-up gamepads for the tests (navigator.requestGamepadServiceTest), which Firefox
    # offers only with its security off: this throwaway profile, no remote connections.
    'dom.gamepad.test.enabled': True,
    'security.turn_off_all_security_so_that_viruses_can_take_over_this_computer': True,
}


def _firefox(stack, env, tmp, netns, origin):
    profile = os.path.join(tmp, 'profile')
    os.mkdir(profile)
    prefs = dict(FIREFOX_PREFS)
    if origin:
        # The page's http origin as a secure one, yet its images not asked for over https
        # (nothing answers TLS there), and its own addresses shown to WebRTC.
        prefs.update({'dom.securecontext.allowlist': origin.split('//')[1].split(':')[0],
                      'security.mixed_content.upgrade_display_content': False,
                      'media.peerconnection.ice.obfuscate_host_addresses': False})
    with open(os.path.join(profile, 'user.js'), 'w') as f:
        for key, value in prefs.items():
            f.write(f'user_pref({json.dumps(key)}, {json.dumps(value)});\n')
    inside = ['nsenter', '--net=' + netns, '--'] if netns else []
    # Port 0: Firefox picks a free one and writes it into the profile.
    with open(os.path.join(tmp, 'firefox.log'), 'wb') as log:
        proc = subprocess.Popen(
            inside + ['firefox-esr', '--headless', '--no-remote', '--remote-debugging-port',
                      '0', '--profile', profile, 'about:blank'],
            env=dict(env, MOZ_DISABLE_NONLOCAL_CONNECTIONS='1'), stdin=subprocess.DEVNULL,
            stdout=log, stderr=log, start_new_session=True)
    stack.callback(_stop, proc)
    server = os.path.join(profile, 'WebDriverBiDiServer.json')

    def port():
        if proc.poll() is not None:
            raise RuntimeError(f'firefox exited with status {proc.returncode}')
        with contextlib.suppress(OSError, ValueError, KeyError):
            with open(server) as f:
                return json.load(f)['ws_port']
    url = f'ws://127.0.0.1:{_wait("firefox to listen", port, 30)}/session'
    if not netns:
        return _Firefox(url)
    unix = os.path.join(tmp, 'bidi.sock')
    bridge = subprocess.Popen(inside + ['socat', f'UNIX-LISTEN:{unix},fork',
                                        'TCP:' + url.split('/')[2]],
                              stdin=subprocess.DEVNULL, start_new_session=True)
    stack.callback(_stop, bridge)
    _wait('the bridge to firefox', lambda: os.path.exists(unix))
    return _Firefox(url, unix)


def _chromium(stack, env, tmp, netns, origin):
    options = webdriver.ChromeOptions()
    options.binary_location = '/usr/bin/chromium'
    for arg in ('--no-sandbox', '--headless=new', '--disable-gpu', '--disable-quic',
                '--no-first-run', '--disable-background-networking',
                '--disable-component-update', '--disable-sync',
                '--user-data-dir=' + os.path.join(tmp, 'profile')):
        options.add_argument(arg)
    if netns:
        options.binary_location = os.path.join(tmp, 'chromium')
        with open(options.binary_location, 'w') as f:
            f.write(f'#!/bin/sh\nexec nsenter --net={netns} -- /usr/bin/chromium "$@"\n')
        os.chmod(options.binary_location, 0o755)
        options.add_argument('--remote-debugging-pipe')
    if origin:
        # Host candidates as plain addresses: nobody here answers for mDNS names.
        options.add_argument('--unsafely-treat-insecure-origin-as-secure=' + origin)
        options.add_argument('--disable-features=WebRtcHideLocalIpsWithMdns')
    options.set_capability('goog:loggingPrefs', {'browser': 'ALL'})
    service = ChromeService('/usr/bin/chromedriver', env=env,
                            log_path=os.path.join(tmp, 'chromedriver.log'),
                            popen_kw={'start_new_session': True})
    return _Chromium(webdriver.Chrome(service=service, options=options), service)


def _webkit(stack, env, tmp, netns, origin):
    if netns or origin:
        raise ValueError('WebKitGTK plays in no network of its own')
    if 'DISPLAY' not in env:
        env['DISPLAY'] = _xvfb(stack)
    options = webdriver.WebKitGTKOptions()
    options.binary_location = MINIBROWSER
    options.add_argument('--automation')
    # selenium's WebKitGTK class cannot hand the driver an environment, so the
    # service is started here and the session opened on it.
    service = WebKitService('/usr/bin/WebKitWebDriver', env=env,
                            log_path=os.path.join(tmp, 'webkitdriver.log'),
                            popen_kw={'start_new_session': True})
    service.start()
    stack.callback(_stop, service.process)
    return _WebKit(WebDriver(command_executor=service.service_url, options=options), service)


def _xvfb(stack):
    """Starts a private X server; Xvfb picks a free display and tells it on a pipe."""
    read, write = os.pipe()
    proc = subprocess.Popen(
        ['Xvfb', '-displayfd', str(write), '-nolisten', 'tcp', '-screen', '0', '1920x1200x24'],
        pass_fds=[write], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
        stderr=subprocess.DEVNULL, start_new_session=True)
    os.close(write)
    stack.callback(_stop, proc)
    with os.fdopen(read) as f:
        number = f.readline().strip()
    if not number:
        raise RuntimeError('Xvfb did not start')
    return ':' + number


def own_network():
    """Runs this script again in a network namespace of its own, loopback up (a user
    namespace too, without root): whatever its browsers do stays on this machine, and
    the networks it makes are its own. Returns once it is there."""
    if os.environ.get('BRELVO_OWN_NETWORK') == '1':
        return
    unshare = ['unshare', '--net'] + ([] if os.geteuid() == 0 else ['--map-root-user'])
    os.execvpe(unshare[0], unshare + ['sh', '-c', 'ip link set lo up && exec "$@"', 'sh',
                                      sys.executable] + sys.argv,
               dict(os.environ, BRELVO_OWN_NETWORK='1'))


@contextlib.contextmanager
def launch(name, env=None, width=900, height=700, netns=None, origin=None):
    """Starts browser `name` with a width x height viewport; `env` is added to ours.
    `netns`: the network namespace it runs in; `origin`: a page's http origin it treats as
    secure (WebRTC wants one), showing its own addresses to WebRTC as they are.

    WebKit needs an X display: it gets a private Xvfb unless `env` gives a DISPLAY."""
    starters = {'chromium': _chromium, 'firefox': _firefox, 'webkit': _webkit}
    if name not in starters:
        raise ValueError(f'unknown browser {name!r}')
    with contextlib.ExitStack() as stack:
        tmp = tempfile.mkdtemp(prefix=f'brelvo-{name}.')
        stack.callback(shutil.rmtree, tmp, ignore_errors=True)
        # A HOME of its own keeps the browser's caches and settings out of the real one;
        # and no window opens on a desktop unless the caller names its display.
        full = {k: v for k, v in os.environ.items() if k not in ('DISPLAY', 'WAYLAND_DISPLAY')}
        full.update(HOME=tmp, XDG_CONFIG_HOME=tmp + '/config', XDG_CACHE_HOME=tmp + '/cache',
                    XDG_DATA_HOME=tmp + '/data', NO_AT_BRIDGE='1', **(env or {}))
        browser = starters[name](stack, full, tmp, netns, origin)
        stack.callback(browser.close)
        browser.resize(width, height)
        browser.desktop = (width, height)
        yield browser
