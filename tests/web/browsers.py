"""Drives one web page the same way in Chromium, Firefox and WebKitGTK.

    with browsers.launch('firefox', env={'PULSE_SERVER': ...}) as b:
        b.open(url); b.press('ArrowDown'); b.evaluate('return document.title')

Chromium and WebKitGTK go through selenium and their WebDriver servers; Debian has
no geckodriver, so Firefox is driven over WebDriver BiDi, which it speaks itself.
Clicks and key presses are real WebDriver input, so they count as user gestures
(WebAudio needs one). Every browser gets its own temporary HOME and profile, so
nothing it writes outlives `launch`.
"""
import asyncio
import contextlib
import json
import os
import shutil
import signal
import socket
import subprocess
import tempfile
import time

from selenium import webdriver
from selenium.common.exceptions import JavascriptException
from selenium.webdriver.chrome.service import Service as ChromeService
from selenium.webdriver.common.actions.action_builder import ActionBuilder
from selenium.webdriver.remote.webdriver import WebDriver
from selenium.webdriver.webkitgtk.service import Service as WebKitService
import websockets

NAMES = ('chromium', 'firefox', 'webkit')
MINIBROWSER = '/usr/lib/x86_64-linux-gnu/webkit2gtk-4.1/MiniBrowser'
KEYS = {'ArrowUp': '\ue013', 'ArrowDown': '\ue015', 'ArrowLeft': '\ue012',
        'ArrowRight': '\ue014', 'Escape': '\ue00c', 'Enter': '\ue007',
        'Tab': '\ue004', 'Backspace': '\ue003', 'Shift': '\ue008'}

# Scrolls the element into view and returns its middle in viewport pixels.
CENTER_JS = '''const e = document.querySelector(arguments[0]);
if (!e) throw new Error('no element matches ' + arguments[0]);
e.scrollIntoView({block: 'center', inline: 'center'});
const r = e.getBoundingClientRect();
return [Math.round(r.left + r.width / 2), Math.round(r.top + r.height / 2)];'''

# WebKitWebDriver has no log endpoint and no BiDi, so on WebKit the page collects its
# own errors. It can only start after the load event: errors raised while the page
# loads are not seen there.
CAPTURE_JS = '''if (!window.__brelvoConsole) {
  const log = window.__brelvoConsole = [];
  const text = a => String(a);
  for (const [level, mark] of [['error', ''], ['warn', 'warning: ']]) {
    const original = console[level];
    console[level] = function (...args) {
      log.push(mark + args.map(text).join(' '));
      return original.apply(this, args);
    };
  }
  addEventListener('error', e => log.push(`Uncaught ${e.message} at ${e.filename}:${e.lineno}`));
  addEventListener('unhandledrejection', e => log.push('Uncaught (in promise) ' + text(e.reason)));
}'''


class PageError(Exception):
    """Script run by `evaluate` threw."""


def _key(name):
    if len(name) == 1:
        return name
    if name not in KEYS:
        raise ValueError(f'unknown key {name!r}')
    return KEYS[name]


def _free_port():
    with socket.socket() as s:
        s.bind(('127.0.0.1', 0))
        return s.getsockname()[1]


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
    """Ends a process started in its own session, and everything it started there."""
    if proc is None or proc.poll() is not None:
        return
    for sig, grace in ((signal.SIGTERM, 5), (signal.SIGKILL, 5)):
        with contextlib.suppress(ProcessLookupError):
            os.killpg(proc.pid, sig)
        try:
            proc.wait(grace)
            return
        except subprocess.TimeoutExpired:
            pass


class _Browser:
    name = None

    def resize(self, width, height):
        self._set_size(width, height)
        _wait(f'a {width}x{height} viewport', lambda: self.evaluate(
            'return [innerWidth, innerHeight]') == [width, height], timeout=5)

    def console_errors(self, warnings=False):
        """Messages since the last open/reload; warnings, if asked for, start 'warning: '."""
        return [m for m in self._messages() if warnings or not m.startswith('warning: ')]


class _Selenium(_Browser):
    def __init__(self, driver, service):
        self.driver, self.service = driver, service

    def open(self, url):
        self.driver.get(url)
        self._loaded()

    def reload(self):
        self.driver.refresh()
        self._loaded()

    def evaluate(self, js, *args):
        try:
            return self.driver.execute_script(js, *args)
        except JavascriptException as e:
            raise PageError(e.msg) from None

    def click(self, selector):
        x, y = self.evaluate(CENTER_JS, selector)
        actions = ActionBuilder(self.driver, duration=0)
        actions.pointer_action.move_to_location(x, y).click()
        actions.perform()

    def press(self, *keys):
        actions = ActionBuilder(self.driver, duration=0)
        for k in map(_key, keys):
            actions.key_action.key_down(k).key_up(k)
        actions.perform()

    def _set_size(self, width, height):
        # The window is bigger than the viewport by whatever frame the browser draws.
        for _ in range(3):
            inner = self.evaluate('return [innerWidth, innerHeight]')
            outer = self.driver.get_window_size()
            if inner == [width, height]:
                return
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

    def _loaded(self):
        self.log = []

    def _messages(self):
        for entry in self.driver.get_log('browser'):
            # Chromium asks every site for a favicon on its own; a 404 there is no fault of the page.
            if '/favicon.ico - Failed to load resource' in entry['message']:
                continue
            if entry['level'] in ('SEVERE', 'WARNING'):
                mark = 'warning: ' if entry['level'] == 'WARNING' else ''
                self.log.append(mark + entry['message'])
        return list(self.log)

    def open(self, url):
        self.driver.get_log('browser')  # drop what the previous page said
        super().open(url)

    def reload(self):
        self.driver.get_log('browser')
        super().reload()


class _WebKit(_Selenium):
    name = 'webkit'

    def _loaded(self):
        self.evaluate(CAPTURE_JS)

    def _messages(self):
        return self.evaluate('return window.__brelvoConsole || []')


class _Firefox(_Browser):
    name = 'firefox'

    def __init__(self, proc, port):
        self.proc, self.log, self.next_id = proc, [], 0
        self.loop = asyncio.new_event_loop()

        async def connect():
            return await websockets.connect(f'ws://127.0.0.1:{port}/session', max_size=None)

        def attempt():
            if proc.poll() is not None:
                raise RuntimeError(f'firefox exited with status {proc.returncode}')
            with contextlib.suppress(OSError, websockets.InvalidHandshake):
                return self.loop.run_until_complete(connect())
        self.ws = _wait('firefox to listen', attempt, timeout=30)
        self._call('session.new', {'capabilities': {}})
        self._call('session.subscribe', {'events': ['log.entryAdded']})
        self.context = self._call('browsingContext.getTree', {})['contexts'][0]['context']

    async def _roundtrip(self, message):
        await self.ws.send(json.dumps(message))
        while True:
            reply = json.loads(await self.ws.recv())
            if reply.get('type') == 'event':
                self._event(reply)
            elif reply.get('id') == message['id']:
                return reply

    def _call(self, method, params, timeout=60):
        self.next_id += 1
        reply = self.loop.run_until_complete(asyncio.wait_for(self._roundtrip(
            {'id': self.next_id, 'method': method, 'params': params}), timeout))
        if reply.get('type') == 'error':
            raise RuntimeError(f"{method}: {reply['error']}: {reply.get('message')}")
        return reply['result']

    def _event(self, event):
        if event.get('method') != 'log.entryAdded':
            return
        entry = event['params']
        if entry['level'] in ('error', 'warn'):
            mark = 'warning: ' if entry['level'] == 'warn' else ''
            text = entry.get('text') or ''
            if entry['type'] == 'javascript':  # an uncaught exception
                text = 'Uncaught ' + text
            self.log.append(mark + text)

    def open(self, url):
        self.log = []
        self._call('browsingContext.navigate',
                   {'context': self.context, 'url': url, 'wait': 'complete'})

    def reload(self):
        self.log = []
        self._call('browsingContext.reload', {'context': self.context, 'wait': 'complete'})

    def evaluate(self, js, *args):
        result = self._call('script.callFunction', {
            'functionDeclaration': 'function () {\n' + js + '\n}',
            'arguments': [_to_remote(a) for a in args],
            'target': {'context': self.context},
            'awaitPromise': True, 'resultOwnership': 'none'})
        if result['type'] == 'exception':
            raise PageError(result['exceptionDetails']['text'])
        return _from_remote(result['result'])

    def _actions(self, source):
        self._call('input.performActions', {'context': self.context, 'actions': [source]})

    def click(self, selector):
        x, y = self.evaluate(CENTER_JS, selector)
        self._actions({'type': 'pointer', 'id': 'mouse', 'parameters': {'pointerType': 'mouse'},
                       'actions': [{'type': 'pointerMove', 'x': x, 'y': y, 'duration': 0},
                                   {'type': 'pointerDown', 'button': 0},
                                   {'type': 'pointerUp', 'button': 0}]})

    def press(self, *keys):
        steps = []
        for k in map(_key, keys):
            steps += [{'type': 'keyDown', 'value': k}, {'type': 'keyUp', 'value': k}]
        self._actions({'type': 'key', 'id': 'keyboard', 'actions': steps})

    def _set_size(self, width, height):
        self._call('browsingContext.setViewport', {
            'context': self.context, 'viewport': {'width': width, 'height': height}})

    def _messages(self):
        # Log events trail the code that caused them: a round trip through the page
        # and a short wait let them arrive.
        self.evaluate('return new Promise(r => setTimeout(r, 50))')
        with contextlib.suppress(asyncio.TimeoutError):
            self.loop.run_until_complete(asyncio.wait_for(self._drain(), 0.1))
        return list(self.log)

    async def _drain(self):
        while True:
            self._event(json.loads(await self.ws.recv()))

    def close(self):
        try:
            with contextlib.suppress(Exception):
                self.loop.run_until_complete(asyncio.wait_for(self.ws.close(), 5))
            self.loop.close()
        finally:
            _stop(self.proc)


def _to_remote(value):
    """Python argument to a BiDi local value."""
    if value is None:
        return {'type': 'null'}
    if isinstance(value, bool):
        return {'type': 'boolean', 'value': value}
    if isinstance(value, (int, float)):
        return {'type': 'number', 'value': value}
    if isinstance(value, str):
        return {'type': 'string', 'value': value}
    if isinstance(value, (list, tuple)):
        return {'type': 'array', 'value': [_to_remote(v) for v in value]}
    if isinstance(value, dict):
        return {'type': 'object', 'value': [[str(k), _to_remote(v)] for k, v in value.items()]}
    raise TypeError(f'cannot pass {type(value).__name__} to the page')


def _from_remote(r):
    """BiDi remote value to plain Python; what has no plain form comes back as its type name."""
    kind, value = r['type'], r.get('value')
    if kind in ('undefined', 'null'):
        return None
    if kind == 'number':
        if isinstance(value, str):  # NaN, -0, Infinity, -Infinity
            return float(value.replace('Infinity', 'inf'))
        return value
    if kind in ('string', 'boolean', 'date'):
        return value
    if kind in ('array', 'set'):
        return [_from_remote(v) for v in value or []]
    if kind in ('object', 'map'):
        return {(k if isinstance(k, str) else str(_from_remote(k))): _from_remote(v)
                for k, v in value or []}
    return f'<{kind}>'


FIREFOX_PREFS = {
    'remote.active-protocols': 1,  # BiDi only
    'browser.shell.checkDefaultBrowser': False,
    'browser.startup.homepage_override.mstone': 'ignore',
    'browser.aboutwelcome.enabled': False,
    'datareporting.policy.dataSubmissionEnabled': False,
    'datareporting.healthreport.uploadEnabled': False,
    'toolkit.telemetry.enabled': False,
    'app.update.disabledForTesting': True,
    'app.normandy.enabled': False,
    'extensions.update.enabled': False,
    'browser.safebrowsing.malware.enabled': False,
    'browser.safebrowsing.phishing.enabled': False,
    'browser.search.update': False,
    'network.captive-portal-service.enabled': False,
    'network.connectivity-service.enabled': False,
    'services.settings.server': 'data:,',
}


def _firefox(stack, env, tmp):
    profile = os.path.join(tmp, 'profile')
    os.mkdir(profile)
    with open(os.path.join(profile, 'user.js'), 'w') as f:
        for key, value in FIREFOX_PREFS.items():
            f.write(f'user_pref({json.dumps(key)}, {json.dumps(value)});\n')
    port = _free_port()
    with open(os.path.join(tmp, 'firefox.log'), 'wb') as log:
        proc = subprocess.Popen(
            ['firefox-esr', '--headless', '--no-remote', '--remote-debugging-port', str(port),
             '--profile', profile, 'about:blank'],
            env=env, stdin=subprocess.DEVNULL, stdout=log, stderr=log, start_new_session=True)
    stack.callback(_stop, proc)
    browser = _Firefox(proc, port)
    stack.callback(browser.close)
    return browser


def _chromium(stack, env, tmp):
    options = webdriver.ChromeOptions()
    options.binary_location = '/usr/bin/chromium'
    for arg in ('--no-sandbox', '--headless=new', '--disable-gpu', '--disable-quic',
                '--no-first-run', '--disable-background-networking',
                '--disable-component-update', '--disable-sync',
                '--user-data-dir=' + os.path.join(tmp, 'profile')):
        options.add_argument(arg)
    options.set_capability('goog:loggingPrefs', {'browser': 'ALL'})
    service = ChromeService(
        '/usr/bin/chromedriver', env=env, log_path=os.path.join(tmp, 'chromedriver.log'),
        popen_kw={'start_new_session': True})
    return _selenium(stack, _Chromium, webdriver.Chrome(service=service, options=options))


def _webkit(stack, env, tmp):
    if 'DISPLAY' not in env:
        env['DISPLAY'] = _xvfb(stack)
    options = webdriver.WebKitGTKOptions()
    options.binary_location = MINIBROWSER
    options.add_argument('--automation')
    # selenium's WebKitGTK class cannot hand an environment to the driver, so the
    # service is started here and the session opened on it.
    service = WebKitService(
        '/usr/bin/WebKitWebDriver', env=env, log_path=os.path.join(tmp, 'webkitdriver.log'),
        popen_kw={'start_new_session': True})
    service.start()
    stack.callback(_stop, service.process)
    return _selenium(stack, _WebKit, WebDriver(command_executor=service.service_url,
                                               options=options), service)


def _selenium(stack, cls, driver, service=None):
    browser = cls(driver, service or driver.service)
    stack.callback(browser.close)
    return browser


def _xvfb(stack):
    """Starts a private X server; Xvfb picks a free display number and tells it on a pipe."""
    read, write = os.pipe()
    proc = subprocess.Popen(['Xvfb', '-displayfd', str(write), '-nolisten', 'tcp',
                             '-screen', '0', '1920x1200x24', '-noreset'],
                            pass_fds=[write], stdin=subprocess.DEVNULL,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                            start_new_session=True)
    os.close(write)
    stack.callback(_stop, proc)
    with os.fdopen(read) as f:
        number = f.readline().strip()
    if not number:
        raise RuntimeError('Xvfb did not start')
    return ':' + number


@contextlib.contextmanager
def launch(name, env=None, width=900, height=700):
    """Starts browser `name` with a width x height viewport; `env` is added to ours."""
    starters = {'chromium': _chromium, 'firefox': _firefox, 'webkit': _webkit}
    if name not in starters:
        raise ValueError(f'unknown browser {name!r}; one of {NAMES}')
    with contextlib.ExitStack() as stack:
        tmp = tempfile.mkdtemp(prefix=f'brelvo-{name}.')
        stack.callback(shutil.rmtree, tmp, ignore_errors=True)
        # A HOME of its own keeps caches and settings out of the real one.
        home = {'HOME': tmp, 'XDG_CONFIG_HOME': tmp + '/config',
                'XDG_CACHE_HOME': tmp + '/cache', 'XDG_DATA_HOME': tmp + '/data',
                'NO_AT_BRIDGE': '1'}
        browser = starters[name](stack, {**os.environ, **home, **(env or {})}, tmp)
        browser.resize(width, height)
        yield browser
