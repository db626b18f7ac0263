"""The network the remote play test (and the benchmark) makes in namespaces of this
machine, and its tools on it:
  Network      the router (this process's namespace) and a namespace for each side, the host
               and the guest, hung on it by veth pairs; links cut (both ways or one),
               addresses changed
  Site         the page served on the router, Debian's coturn there as the docs configure
               it, the slow and lossy way to it (SlowPath), and mosquitto as the
               rendezvous's broker (LIVE; DEAD: a broker that is down; OFF_LIST: the
               same broker at an address no list names)
  Spy          someone else on that broker, who hears every topic and publishes at will
  TurnClient   an allocation on the TURN server, made as a browser makes it
Nothing leaves the machine."""
import contextlib
import functools
import hashlib
import heapq
import hmac
import itertools
import json
import os
import random
import secrets
import selectors
import socket
import struct
import subprocess
import threading
import time

import browsers
from test_page import ROOT, Page, poll

ROUTER = "10.77.0.1"  # the router's own address, up whichever link is cut
SIDES = {"host": 1, "guest": 2}  # each at 10.77.N.2, its router at 10.77.N.1
TURN_PORT = 3478
# The TURN server's public address, where its relays are: a documentation range, on the
# router, outside every range the docs' lines deny.
RELAY = "198.51.100.1"
# The rendezvous's brokers: mosquitto's WebSocket listener, and an address where nothing
# listens (a broker that is down).
LIVE = "ws://%s:9001" % ROUTER
DEAD = "ws://%s:9" % ROUTER
# The same broker at another of the router's addresses (a private one: Firefox is kept to
# those), which no list of the tests names: a page that has read its list may not go there.
ASIDE = "10.77.0.2"
OFF_LIST = "ws://%s:9001/" % ASIDE


def run(*commands, netns=None):
    inside = ["nsenter", "--net=" + netns, "--"] if netns else []
    for command in commands:
        subprocess.run(inside + command.split(), check=True)


class Network:
    """The router (this process's namespace) and one namespace a side, each behind a veth
    pair whose router end is named after it. Gone with the processes in them."""

    def __init__(self, stack):
        # loopback is up: browsers.own_network
        run("ip addr add %s/32 dev lo" % ROUTER, "ip addr add %s/32 dev lo" % ASIDE)
        self.netns = {}
        own = os.readlink("/proc/self/ns/net")
        for side, n in SIDES.items():
            # Its first process: cat, which ends with this test (at the end of its input).
            holder = subprocess.Popen(["unshare", "--net", "cat"], stdin=subprocess.PIPE,
                                      start_new_session=True)
            stack.callback(browsers._stop, holder)
            path = "/proc/%d/ns/net" % holder.pid
            if not poll(lambda: os.readlink(path) != own, 5):
                raise RuntimeError("no namespace for the " + side)
            run("ip link add %s type veth peer name eth0 netns %d" % (side, holder.pid),
                "ip addr add 10.77.%d.1/24 dev %s" % (n, side), "ip link set %s up" % side)
            run("ip link set lo up", "ip addr add 10.77.%d.2/24 dev eth0" % n,
                "ip link set eth0 up", "ip route add default via 10.77.%d.1" % n, netns=path)
            self.netns[side] = path
        self.forwarding(True)

    @staticmethod
    def forwarding(on):
        """On: the sides reach each other directly. Off: only through the TURN server."""
        with open("/proc/sys/net/ipv4/ip_forward", "w") as f:
            f.write("1" if on else "0")

    @staticmethod
    def link(side, up):
        run("ip link set %s %s" % (side, "up" if up else "down"))

    @staticmethod
    def one_way(side, up):
        """What the side sends the other lost on the router (or no more), silently, as on
        a way that fails one way: the other's datagrams still reach it, and both still
        reach the router."""
        other = SIDES["guest" if side == "host" else "host"]
        run("ip rule %s from 10.77.%d.0/24 to 10.77.%d.0/24 blackhole"
            % ("del" if up else "add", SIDES[side], other))

    def move(self, side):
        """The side's device on a new address, as after a switch of network: the old one
        gone, with every way that used it."""
        n = SIDES[side]
        run("ip addr flush dev eth0", "ip addr add 10.77.%d.3/24 dev eth0" % n,
            "ip route add default via 10.77.%d.1" % n, netns=self.netns[side])


def udp(peer=None):
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sock.bind((ROUTER, 0))
    if peer:
        sock.connect(peer)
    return sock


class SlowPath(threading.Thread):
    """A UDP way to the TURN server as a poor net gives it: each datagram from a player
    waits 20 to 80 ms (so some overtake others) and one in fifty is lost; the server's
    replies come straight back. Each player gets a socket of its own towards the server,
    which takes nothing from anyone else. (The benchmark sets its own delay and loss.)"""

    def __init__(self, seed):
        super().__init__(daemon=True)
        self.delay, self.loss, self.back = (0.02, 0.08), 0.02, 0  # back: the replies' delay
        self.random, self.sock = random.Random(seed), udp()
        self.port = self.sock.getsockname()[1]
        self.passed = self.lost = 0
        self.running = True

    def run(self):
        select, ways, queue, order = selectors.DefaultSelector(), {}, [], itertools.count()
        select.register(self.sock, selectors.EVENT_READ)
        while self.running:
            wait = min(0.1, max(0, queue[0][0] - time.monotonic())) if queue else 0.1
            for key, _ in select.select(wait):
                data, sender = key.fileobj.recvfrom(65536)
                if key.data:  # the server's reply to the player key.data (if reachable)
                    heapq.heappush(queue, (time.monotonic() + self.back, next(order),
                                           functools.partial(self.sock.sendto, data), key.data))
                elif self.random.random() < self.loss:
                    self.lost += 1
                else:
                    if sender not in ways:
                        ways[sender] = udp((ROUTER, TURN_PORT))
                        select.register(ways[sender], selectors.EVENT_READ, sender)
                    heapq.heappush(queue, (time.monotonic() + self.random.uniform(*self.delay),
                                           next(order), ways[sender].send, data))
                    self.passed += 1
            while queue and queue[0][0] <= time.monotonic():
                _, _, send, what = heapq.heappop(queue)
                with contextlib.suppress(OSError):  # no one there: as a lost one
                    send(what)


def docs_turn_lines():
    """The lines of /etc/turnserver.conf as docs/hosting.md gives them, which the zip's
    README.txt must give alike."""
    with open(os.path.join(ROOT, "docs", "hosting.md")) as f:
        block = f.read().split("```ini\n", 1)[1].split("```", 1)[0]
    lines = [line.strip() for line in block.splitlines() if line.strip()]
    with open(os.path.join(ROOT, "data", "web", "README.txt.in")) as f:
        readme = {line.strip() for line in f}
    unlike = [line for line in lines if line not in readme]
    assert lines and not unlike, "README.txt's coturn lines are not the docs': %s" % unlike
    return lines


class Site:
    """The page served on the router, and Debian's coturn there, configured as the docs
    say with a password of the test's own, which the page's ice-servers.json names by the
    slow path."""

    def __init__(self, stack, folder, tmp):
        self.password = password = secrets.token_hex(8)
        lines = docs_turn_lines()
        users = [n for n, line in enumerate(lines) if line.startswith("user=brelvo:")]
        assert len(users) == 1 and "listening-port=%d" % TURN_PORT in lines, lines
        lines[users[0]] = "user=brelvo:" + password
        with open(tmp + "/turnserver.conf", "w") as f:
            f.write("\n".join(lines) + "\n")
        run("ip addr add %s/32 dev lo" % RELAY)
        # Only where it runs and writes differs from the docs; no certificates, no TLS.
        turn = subprocess.Popen(
            # tools/web.sh names the one it unpacked
            [os.environ.get("BRELVO_TURNSERVER", "turnserver"), "-c", tmp + "/turnserver.conf",
             "--listening-ip", ROUTER, "--relay-ip", RELAY, "--no-tls", "--no-dtls",
             "--userdb", tmp + "/turn.db", "--pidfile", tmp + "/turn.pid", "--log-file",
             tmp + "/turn.log", "--simple-log"],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            start_new_session=True)
        stack.callback(browsers._stop, turn)

        def listening():
            with open("/proc/net/udp") as f:
                return turn.poll() is None and ":%04X " % TURN_PORT in f.read()
        if not poll(listening, 10):
            raise RuntimeError("no TURN server: see %s/turn.log" % tmp)
        self.slow = SlowPath(int(os.environ.get("BRELVO_SEED", secrets.randbelow(1000))))
        self.slow.start()
        stack.callback(setattr, self.slow, "running", False)
        servers = [{"urls": "turn:%s:%d?transport=udp" % (ROUTER, self.slow.port),
                    "username": "brelvo", "credential": password}]
        self.page = Page(folder, ROUTER, json.dumps(servers).encode())
        stack.callback(self.page.stop)
        self.url = self.page.url
        # The broker: WebSocket on every address, as mosquitto 2.0 has it, beside the plain
        # MQTT listener without which it does not start (the spy's, on loopback).
        with open(tmp + "/mosquitto.conf", "w") as f:
            f.write("user root\nlistener 1883 127.0.0.1\nlistener 9001\nprotocol websockets\n"
                    "allow_anonymous true\n")
        with open(tmp + "/mosquitto.log", "w") as log:
            broker = subprocess.Popen(
                [os.environ.get("BRELVO_MOSQUITTO", "mosquitto"), "-c", tmp + "/mosquitto.conf"],
                stdin=subprocess.DEVNULL, stdout=log, stderr=subprocess.STDOUT,
                start_new_session=True)
        stack.callback(browsers._stop, broker)

        def reachable(address):
            with contextlib.suppress(OSError), socket.create_connection(address, 1):
                return True
        if not poll(lambda: reachable((ROUTER, 9001)) and reachable(("127.0.0.1", 1883)), 10):
            raise RuntimeError("no broker: see %s/mosquitto.log" % tmp)


def mqtt_packet(head, body):
    length, out = len(body), bytearray([head])
    while True:
        out.append((length & 127) | (128 if length > 127 else 0))
        length >>= 7
        if not length:
            return bytes(out) + body


def mqtt_string(text):
    return len(text).to_bytes(2, "big") + text.encode()


class Spy(threading.Thread):
    """Someone on the broker who is not the guest: subscribed to every topic, it keeps
    what it hears, [(topic, payload)], its own messages too as the broker sends them back,
    and publishes what it likes, at once if `first(topic, payload)` does so at the first
    message it hears; `listening` while the broker keeps it."""

    def __init__(self):
        super().__init__(daemon=True)
        self.sock = socket.create_connection(("127.0.0.1", 1883), 5)
        # The spy may hear nothing and say nothing for minutes: no timeout on its reading,
        # which would end its listening, and no keep-alive, without which the broker drops
        # a client silent for one and a half times it (mosquitto, 90 s after 60).
        self.sock.settimeout(None)
        self.sock.sendall(mqtt_packet(0x10, mqtt_string("MQTT") + bytes([4, 2, 0, 0]) +
                                      mqtt_string("spy")))
        self.sock.sendall(mqtt_packet(0x82, b"\0\1" + mqtt_string("#") + b"\0"))
        self.heard, self.said, self.first = [], [], None
        self.listening = True
        self.start()

    def run(self):
        data = b""
        with contextlib.suppress(OSError):
            while chunk := self.sock.recv(65536):
                data += chunk
                while True:  # each whole packet: its head, length (7 bits a byte), body
                    length, at = 0, 1
                    while at < len(data) and data[at] & 128:
                        length |= (data[at] & 127) << (7 * (at - 1))
                        at += 1
                    if at >= len(data):
                        break
                    length |= data[at] << (7 * (at - 1))
                    if len(data) < at + 1 + length:
                        break
                    head, body = data[0], data[at + 1:at + 1 + length]
                    data = data[at + 1 + length:]
                    if head >> 4 == 3:  # PUBLISH at QoS 0: the topic, then the payload
                        size = int.from_bytes(body[:2], "big")
                        self.heard.append((body[2:2 + size].decode(), body[2 + size:]))
                        if len(self.heard) == 1 and self.first:
                            self.first(*self.heard[0])
        self.listening = False

    def publish(self, topic, payload):
        self.said.append((topic, payload))
        self.sock.sendall(mqtt_packet(0x30, mqtt_string(topic) + payload))

    def others(self):
        """What it heard from others: all but one of each message it published, once the
        broker has sent them all back (else None)."""
        left, heard = list(self.said), []
        for message in self.heard:
            if message in left:
                left.remove(message)
            else:
                heard.append(message)
        return None if left else heard

    def close(self):
        self.sock.close()


MAGIC = 0x2112A442  # STUN's magic cookie


def stun(kind, attributes, key=None):
    """A STUN message of type `kind` with [(type, value)], signed with `key` if given."""
    body = b"".join(struct.pack("!HH", t, len(v)) + v + bytes(-len(v) % 4)
                    for t, v in attributes)
    head = struct.pack("!HHI", kind, len(body) + (24 if key else 0), MAGIC)
    head += secrets.token_bytes(12)
    if key:
        body += struct.pack("!HH", 0x0008, 20) + hmac.new(key, head + body, hashlib.sha1).digest()
    return head + body


class TurnClient:
    """One allocation on the TURN server, made as a browser makes it, which then asks for
    permissions to send to peers."""

    def __init__(self, user, password):
        self.sock = udp((ROUTER, TURN_PORT))
        self.sock.settimeout(3)
        udp_relay = [(0x0019, b"\x11\0\0\0")]  # REQUESTED-TRANSPORT: UDP
        kind, attributes = self.ask(0x0003, udp_relay)
        assert kind == 0x0113 and self.code(attributes) == 401, (hex(kind), attributes)
        realm, nonce = attributes[0x0014], attributes[0x0015]
        self.auth = [(0x0006, user.encode()), (0x0014, realm), (0x0015, nonce)]
        self.key = hashlib.md5(user.encode() + b":" + realm + b":" + password.encode()).digest()
        kind, attributes = self.ask(0x0003, udp_relay + self.auth, self.key)
        assert kind == 0x0103, "no allocation: %d" % self.code(attributes)

    def ask(self, kind, attributes, key=None):
        self.sock.send(stun(kind, attributes, key))
        data = self.sock.recv(4096)
        kind, length = struct.unpack("!HH", data[:4])
        found, at = {}, 20
        while at < 20 + length:
            t, n = struct.unpack("!HH", data[at:at + 4])
            found.setdefault(t, data[at + 4:at + 4 + n])
            at += 4 + n + (-n % 4)
        return kind, found

    @staticmethod
    def code(attributes):
        value = attributes.get(0x0009, bytes(4))  # ERROR-CODE
        return (value[2] & 7) * 100 + value[3]

    def permit(self, address):
        """200 if the server lets this allocation send to `address`, else its error code."""
        packed = bytes(a ^ b for a, b in zip(socket.inet_aton(address), struct.pack("!I", MAGIC)))
        peer = struct.pack("!BBH", 0, 1, 5000 ^ (MAGIC >> 16)) + packed  # XOR-PEER-ADDRESS
        kind, attributes = self.ask(0x0008, [(0x0012, peer)] + self.auth, self.key)
        return 200 if kind == 0x0108 else self.code(attributes)

    def close(self):
        self.ask(0x0004, [(0x000D, bytes(4))] + self.auth, self.key)  # a lifetime of 0
        self.sock.close()
