#!/usr/bin/python3
"""kmxlink with real clients: pyserial (Debian's python3-serial) on the pseudo-terminal and over rfc2217://,
against a pair COM5:/COM6: whose far end COM6: the far_end helper drives, on a device of the test's own.

    kmxlink_test.py GROUP     GROUP: Cli, PseudoTerminal or Rfc2217

The programs come from the environment: KMXLINK, FAR_END, PAIR_ACTIVATOR, CEDEVICE.
"""

import os
import queue
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time
import unittest

try:
    import serial
except ImportError:
    sys.exit("kmxlink_test: pyserial is missing (Debian's python3-serial; scripts/install-deps installs it)")

KMXLINK = os.environ["KMXLINK"]
FAR_END = os.environ["FAR_END"]
PAIR_ACTIVATOR = os.environ["PAIR_ACTIVATOR"]
CEDEVICE = os.environ["CEDEVICE"]

WAIT = 30.0  # seconds for anything that should happen at once: generous, sanitizer builds are slow
EVERY_BYTE = bytes(range(256))


def wait_until(condition, what, timeout=WAIT):
    deadline = time.monotonic() + timeout
    while not condition():
        if time.monotonic() > deadline:
            raise AssertionError(f"not within {timeout} s: {what}")
        time.sleep(0.01)


class Device:
    """A device directory of our own, its host running the pair COM5:/COM6:."""

    def __init__(self):
        self.dir = tempfile.mkdtemp(prefix="kmxlink-test-")
        self.env = dict(os.environ, CE_DEVICE=self.dir)
        subprocess.run([PAIR_ACTIVATOR], env=self.env, check=True, timeout=WAIT)

    def close(self):
        subprocess.run([CEDEVICE, "stop"], env=self.env, timeout=WAIT, capture_output=True)
        shutil.rmtree(self.dir, ignore_errors=True)


class Lines:
    """What a program prints, line by line, read by a thread so that a test waits for a line with a timeout."""

    def __init__(self, stream):
        self.seen = []
        self._queue = queue.Queue()
        threading.Thread(target=self._read, args=(stream,), daemon=True).start()

    def _read(self, stream):
        with stream:
            for line in stream:
                self._queue.put(line.rstrip("\n"))
        self._queue.put(None)

    def rest(self):
        """Every line not yet waited for, up to the end of the stream (the program must be ending)."""
        lines = self.seen
        while (line := self._queue.get(timeout=WAIT)) is not None:
            lines.append(line)
        return lines

    def wait_for(self, text, timeout=WAIT):
        for line in self.seen:
            if text in line:
                self.seen.remove(line)
                return line
        deadline = time.monotonic() + timeout
        while True:
            try:
                line = self._queue.get(timeout=max(0.0, deadline - time.monotonic()))
            except queue.Empty:
                raise AssertionError(f"no line with {text!r}; seen: {self.seen}") from None
            if line is None:
                raise AssertionError(f"no line with {text!r} before the end; seen: {self.seen}")
            if text in line:
                return line
            self.seen.append(line)


class Link:
    """A kmxlink serving COM5:."""

    def __init__(self, device, *args):
        self.process = subprocess.Popen([KMXLINK, "COM5:", *args], env=device.env, text=True,
                                        stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self.out = Lines(self.process.stdout)
        self.err = Lines(self.process.stderr)

    def stop(self):
        """Ends kmxlink as a person would; its exit status, and what it said on standard error (nothing in
        a run without errors: a sanitizer's report shows there)."""
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
        return self.process.wait(WAIT), self.err.rest()


class FarEnd:
    """COM6:, driven through the far_end helper (see far_end.cpp for its commands)."""

    def __init__(self, device, port="COM6:"):
        self.process = subprocess.Popen([FAR_END, port], env=device.env, text=True,
                                        stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        self.lock = threading.Lock()
        answer = self.process.stdout.readline().strip()
        if answer != "ready":
            raise AssertionError(f"far end: {answer}")

    def ask(self, command):
        with self.lock:
            self.process.stdin.write(command + "\n")
            self.process.stdin.flush()
            return self.process.stdout.readline().strip()

    def do(self, command):
        answer = self.ask(command)
        if answer != "ok":
            raise AssertionError(f"far end {command}: {answer}")

    def write(self, data):
        for start in range(0, len(data), 4096):
            piece = data[start:start + 4096]
            answer = self.ask("write " + piece.hex())
            if answer != f"ok {len(piece)}":
                raise AssertionError(f"far end wrote: {answer}")

    def read(self, count, ms=200):
        answer = self.ask(f"read {count} {ms}")
        return bytes.fromhex(answer[len("data"):].strip()) if answer.startswith("data") else b""

    def read_all(self, count, pause=0.0):
        data = b""
        deadline = time.monotonic() + WAIT
        while len(data) < count and time.monotonic() < deadline:
            data += self.read(min(4096, count - len(data)))
            time.sleep(pause)
        return data

    def lines(self):
        return set(self.ask("modem").split()[1:])

    def close(self):
        self.process.stdin.close()
        self.process.wait(WAIT)
        self.process.stdout.close()


IAC, SB, SE, WILL, WONT, DO, DONT = 255, 250, 240, 251, 252, 253, 254
COM_PORT_OPTION = 44


class TelnetClient:
    """A client that speaks Telnet byte by byte, to say what pyserial never would and see every answer."""

    def __init__(self, port):
        self.sock = socket.create_connection(("127.0.0.1", port), timeout=WAIT)
        self.data = b""
        self.negotiations = []     # (verb, option) the server sent
        self.subnegotiations = []  # (option, body) the server sent
        self._pending = b""

    def close(self):
        self.sock.close()

    def send(self, raw):
        self.sock.sendall(raw)

    def command(self, command, value=b""):
        body = bytes([COM_PORT_OPTION, command]) + value
        self.send(bytes([IAC, SB]) + body.replace(b"\xff", b"\xff\xff") + bytes([IAC, SE]))

    def _receive(self):
        chunk = self.sock.recv(65536)
        if not chunk:
            raise EOFError
        stream = self._pending + chunk
        i = 0
        while i < len(stream):
            if stream[i] != IAC:
                end = stream.find(bytes([IAC]), i)
                end = len(stream) if end < 0 else end
                self.data += stream[i:end]
                i = end
                continue
            if i + 1 >= len(stream):
                break
            verb = stream[i + 1]
            if verb == IAC:
                self.data += b"\xff"
                i += 2
            elif verb in (WILL, WONT, DO, DONT):
                if i + 2 >= len(stream):
                    break
                self.negotiations.append((verb, stream[i + 2]))
                i += 3
            elif verb == SB:
                end = i + 2
                while end + 1 < len(stream) and not (stream[end] == IAC and stream[end + 1] == SE):
                    end += 2 if stream[end] == IAC else 1
                if end + 1 >= len(stream):
                    break
                body = stream[i + 2:end].replace(b"\xff\xff", b"\xff")
                self.subnegotiations.append((body[0], body[1:]))
                i = end + 2
            else:
                i += 2
        self._pending = stream[i:]

    def wait(self, condition, what):
        deadline = time.monotonic() + WAIT
        while not condition():
            if time.monotonic() > deadline:
                raise AssertionError(f"no {what}; data {self.data[:80]!r}, sb {self.subnegotiations}")
            self._receive()

    def answer(self, code):
        """The value of the next COM-PORT-OPTION subnegotiation with this code."""
        def found():
            return any(option == COM_PORT_OPTION and body[:1] == bytes([code])
                       for option, body in self.subnegotiations)
        self.wait(found, f"answer {code}")
        for index, (option, body) in enumerate(self.subnegotiations):
            if option == COM_PORT_OPTION and body[:1] == bytes([code]):
                del self.subnegotiations[index]
                return body[1:]

    def modem_state(self, state):
        """Waits for this NOTIFY-MODEMSTATE; others before it (a change of the far end's own) are let pass."""
        while (value := self.answer(107)) != bytes([state]):
            pass
        return value

    def read(self, count):
        self.wait(lambda: len(self.data) >= count, f"{count} bytes")
        data, self.data = self.data[:count], self.data[count:]
        return data


class KmxlinkTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.device = Device()

    @classmethod
    def tearDownClass(cls):
        cls.device.close()

    def check_slow_readers(self, near, data):
        """With RTS/CTS at both ends, a reader that takes its time loses nothing, either way round."""
        writer = threading.Thread(target=self.far.write, args=(data,))
        writer.start()
        received = b""
        while len(received) < len(data):
            piece = near.read(min(4096, len(data) - len(received)))
            self.assertTrue(piece, "the near end stopped receiving")
            received += piece
            time.sleep(0.005)
        writer.join(WAIT)
        self.assertEqual(received, data)
        writer = threading.Thread(target=near.write, args=(data,))
        writer.start()
        self.assertEqual(self.far.read_all(len(data), pause=0.005), data)
        writer.join(WAIT)

    def run_kmxlink(self, *args):
        return subprocess.run([KMXLINK, *args], env=self.device.env, text=True, capture_output=True,
                              timeout=WAIT)


class Cli(KmxlinkTest):
    def test_help_says_what_it_serves_and_what_it_cannot(self):
        result = self.run_kmxlink("--help")
        self.assertEqual(result.returncode, 0)
        for promise in ["--rfc2217 [ADDRESS:]TCPPORT", "--pty PATH", "no authentication",
                        "Modem lines cannot cross", "SIGINT or SIGTERM"]:
            self.assertIn(promise, result.stdout)

    def test_bad_command_lines_exit_2_with_a_reason(self):
        for args in [[], ["COM5:"], ["COM5:", "--rfc2217"], ["COM5:", "--rfc2217", "70000"],
                     ["COM5:", "--rfc2217", "host:"], ["COM5:", "--pty", "/tmp/x", "--rfc2217", "0"],
                     ["COM5:", "COM6:", "--pty", "/tmp/x"], ["COM5:", "--bogus"]]:
            with self.subTest(args=args):
                result = self.run_kmxlink(*args)
                self.assertEqual(result.returncode, 2)
                self.assertIn("kmxlink --help", result.stderr)

    def test_a_missing_or_busy_port_is_named(self):
        result = self.run_kmxlink("COM9:", "--pty", os.path.join(self.device.dir, "tty9"))
        self.assertEqual(result.returncode, 1)
        self.assertIn("COM9: no such port", result.stderr)
        holder = FarEnd(self.device, "COM5:")
        try:
            result = self.run_kmxlink("COM5:", "--rfc2217", "0")
            self.assertEqual(result.returncode, 1)
            self.assertIn("COM5: is in use by another program", result.stderr)
        finally:
            holder.close()

    def test_a_taken_address_is_said(self):
        first = Link(self.device, "--rfc2217", "0")
        port = first.out.wait_for("COM5: on").rsplit(":", 1)[1]
        result = self.run_kmxlink("COM6:", "--rfc2217", port)
        self.assertEqual(result.returncode, 1)
        self.assertIn(f"127.0.0.1:{port}: address in use", result.stderr)
        self.assertEqual(first.stop(), (0, []))

    def test_the_link_replaces_only_what_kmxlink_left_behind(self):
        path = os.path.join(self.device.dir, "ttyCOM5")

        def write_file():
            with open(path, "w") as file:
                file.write("keep me")

        def contents():
            if os.path.islink(path):
                return os.readlink(path)
            with open(path) as file:
                return file.read()

        for name, make in {"a file": write_file, "a link elsewhere": lambda: os.symlink("/dev/null", path)}.items():
            with self.subTest(path_holds=name):
                make()
                before = contents()
                result = self.run_kmxlink("COM5:", "--pty", path)
                self.assertEqual(result.returncode, 1)
                self.assertIn("refusing to replace it", result.stderr)
                self.assertEqual(contents(), before)
                os.unlink(path)
        # A link into /dev/pts/ whose terminal is gone is what a killed kmxlink leaves: it is replaced, and
        # the new link goes when kmxlink ends. While it lives, a second kmxlink may not take PATH.
        os.symlink("/dev/pts/987654", path)
        link = Link(self.device, "--pty", path)
        terminal = link.out.wait_for("linked at").split(" on ")[1].split(",")[0]
        self.assertEqual(os.readlink(path), terminal)
        second = self.run_kmxlink("COM6:", "--pty", path)
        self.assertEqual(second.returncode, 1)
        self.assertIn("a terminal that exists", second.stderr)
        self.assertEqual(link.stop(), (0, []))
        self.assertFalse(os.path.lexists(path))


class Rfc2217(KmxlinkTest):
    def setUp(self):
        self.far = FarEnd(self.device)
        self.link = Link(self.device, "--rfc2217", "0")
        self.port = int(self.link.out.wait_for("COM5: on 127.0.0.1:").rsplit(":", 1)[1])
        self.url = f"rfc2217://127.0.0.1:{self.port}"

    def tearDown(self):
        self.far.close()
        self.assertEqual(self.link.stop(), (0, []))

    def connect(self, **settings):
        settings.setdefault("timeout", WAIT)
        client = serial.serial_for_url(self.url, **settings)
        self.link.out.wait_for("connected")
        return client

    def telnet(self, agree=False):
        client = TelnetClient(self.port)
        self.link.out.wait_for("connected")
        if agree:
            client.send(bytes([IAC, WILL, COM_PORT_OPTION]))
        return client

    def test_every_byte_value_crosses_both_ways_iac_too(self):
        data = EVERY_BYTE * 64
        with self.connect(rtscts=True) as client:
            self.far.do("flow rtscts")
            client.write(data)
            self.assertEqual(self.far.read_all(len(data)), data)
            self.far.write(data)
            self.assertEqual(client.read(len(data)), data)

    def test_a_client_that_never_negotiates_still_gets_its_data_through(self):
        client = self.telnet()
        client.send(b"plain text")
        self.assertEqual(self.far.read_all(10), b"plain text")
        self.far.write(b"and back")
        self.assertEqual(client.read(8), b"and back")
        client.close()

    def test_pyserial_settings_are_taken(self):
        # pyserial waits for each answer and fails when the value in effect is not the one it asked for.
        with self.connect(baudrate=9600) as client:
            for name, values in [("baudrate", [50, 19200, 115200]), ("bytesize", [5, 6, 7, 8]),
                                 ("parity", ["O", "E", "M", "S", "N"]), ("stopbits", [1.5, 2, 1]),
                                 ("xonxoff", [True, False]), ("rtscts", [True, False])]:
                for value in values:
                    with self.subTest(setting=name, value=value):
                        setattr(client, name, value)

    def test_every_command_is_answered_with_the_value_in_effect(self):
        client = self.telnet()
        baud = lambda rate: rate.to_bytes(4, "big")
        for command, value, answer in [
                (1, baud(19200), baud(19200)), (1, baud(0), baud(19200)), (1, baud(230400), baud(19200)),
                (2, b"\x07", b"\x07"), (2, b"\x00", b"\x07"), (2, b"\x09", b"\x07"),
                (3, b"\x03", b"\x03"), (3, b"\x05", b"\x05"), (3, b"\x09", b"\x05"), (3, b"\x00", b"\x05"),
                (4, b"\x02", b"\x02"), (4, b"\x03", b"\x03"), (4, b"\x07", b"\x03"), (4, b"\x01", b"\x01"),
                (5, b"\x03", b"\x03"), (5, b"\x0d", b"\x10"), (5, b"\x02", b"\x02"), (5, b"\x0d", b"\x0f"),
                (5, b"\x10", b"\x10"), (5, b"\x00", b"\x02"), (5, b"\x0e", b"\x0e"), (5, b"\x01", b"\x01"),
                (5, b"\x13", b"\x13"), (5, b"\x11", b"\x13"), (5, b"\x12", b"\x12"), (5, b"\x0d", b"\x12"),
                (5, b"\x01", b"\x01"), (5, b"\x0d", b"\x0e"),
                (5, b"\x05", b"\x05"), (5, b"\x04", b"\x05"), (5, b"\x06", b"\x06"),
                (5, b"\x09", b"\x09"), (5, b"\x07", b"\x09"), (5, b"\x08", b"\x08"),
                (5, b"\x0c", b"\x0c"), (5, b"\x0a", b"\x0c"), (5, b"\x0b", b"\x0b"),
                (10, b"\x10", b"\x10"), (11, b"\xff", b"\xff"), (12, b"\x03", b"\x03"),
                (0, b"", b"kmxlink COM5:")]:
            with self.subTest(command=command, value=value):
                client.command(command, value)
                self.assertEqual(client.answer(command + 100), answer)
        client.close()

    def test_lines_cross_both_ways(self):
        client = self.telnet(agree=True)
        client.answer(107)  # the lines at the start
        self.far.do("rts 1")
        client.modem_state(0xb1)  # DCD, DSR and CTS on, CTS changed
        for command, gone in [(9, {"DSR", "RLSD"}), (12, {"CTS"})]:
            client.command(5, bytes([command]))
            client.answer(105)
            wait_until(lambda: not self.far.lines() & gone, f"{gone} off at the far end")
        # Each change of the far end's lines is told at once, with its delta bit.
        for command, state in [("dtr 0", 0x1a), ("rts 0", 0x01), ("dtr 1", 0xaa)]:
            self.far.do(command)
            client.modem_state(state)
        # Through the client's mask: a change of CTS alone is not told, one of DCD is, without the others.
        client.command(11, b"\x08")
        client.answer(111)
        self.far.do("rts 1")
        self.far.do("dtr 0")
        self.assertEqual(client.answer(107), b"\x08")  # the first one told after the mask
        client.close()

    def test_a_purge_drops_what_waits_for_the_port(self):
        client = self.telnet()
        client.command(5, b"\x03")  # hardware flow control: the port's output waits for CTS
        client.answer(105)
        self.far.do("rts 0")
        client.send(b"old")
        client.command(12, b"\x02")
        self.assertEqual(client.answer(112), b"\x02")
        self.far.do("rts 1")
        client.send(b"new")
        self.assertEqual(self.far.read_all(3), b"new")
        client.close()

    def test_flowcontrol_suspend_holds_the_data_for_the_client(self):
        client = self.telnet()
        client.command(8)  # FLOWCONTROL-SUSPEND
        client.command(0)
        client.answer(100)  # commands are carried out in order: the suspend is in force
        self.far.write(b"later")
        client.sock.settimeout(0.3)
        self.assertRaises(TimeoutError, client.read, 1)
        client.sock.settimeout(WAIT)
        client.command(9)  # FLOWCONTROL-RESUME
        self.assertEqual(client.read(5), b"later")
        client.close()

    def test_one_client_at_a_time_and_the_next_one_gets_the_port(self):
        first = self.connect()
        wait_until(lambda: {"DSR", "CTS"} <= self.far.lines(), "the first client's lines")
        second = socket.create_connection(("127.0.0.1", self.port), timeout=WAIT)
        self.assertEqual(second.makefile("rb").readline(), b"kmxlink: COM5: is in use by another client\r\n")
        self.assertEqual(second.recv(1), b"")
        second.close()
        first.close()
        self.link.out.wait_for("closed")
        wait_until(lambda: not self.far.lines() & {"DSR", "CTS"}, "the lines dropped")
        with self.connect() as again:
            again.write(b"next")
            self.assertEqual(self.far.read_all(4), b"next")

    def test_malformed_telnet_is_dropped_whole(self):
        client = self.telnet()
        client.send(bytes([IAC, SB, COM_PORT_OPTION, 1]) + b"A" * 1000 + bytes([IAC, SE])  # too long
                    + bytes([IAC, SB, COM_PORT_OPTION, 1, 0, 0, IAC, WILL, 0])  # cut short by a command
                    + bytes([IAC, SB, 86, IAC, SE])  # COMPRESS2, never agreed
                    + bytes([IAC, SB, 39, 0, 0, 1, 2, 3, 255, 255, IAC, SE])  # NEW-ENVIRON nonsense
                    + bytes([IAC, SB, COM_PORT_OPTION, 1, IAC, SE])  # SET-BAUDRATE without its 4 bytes
                    + bytes([IAC, SB, COM_PORT_OPTION, 99, 1, IAC, SE])  # no such command
                    + bytes([IAC, 241, IAC, 246, IAC, SE, IAC, WILL, 200, IAC, DO, 31])
                    + b"data" + bytes([IAC, IAC]) + b"x")
        self.assertEqual(self.far.read_all(6), b"data\xffx")
        client.command(0)
        self.assertEqual(client.answer(100), b"kmxlink COM5:")
        client.wait(lambda: {(DONT, 200), (WONT, 31)} <= set(client.negotiations), "the refusals")
        self.assertEqual(client.data, b"")
        client.close()

    def test_slow_readers_lose_nothing(self):
        without_xon_xoff = bytes(b for b in EVERY_BYTE if b not in (0x11, 0x13))
        for flow, data in [("rtscts", EVERY_BYTE * 1024), ("xonxoff", without_xon_xoff * 1024)]:
            with self.subTest(flow=flow), self.connect(rtscts=flow == "rtscts", xonxoff=flow == "xonxoff") as client:
                self.far.do("flow " + flow)
                self.check_slow_readers(client, data)
            self.link.out.wait_for("COM5: closed")  # free for the next client


class PseudoTerminal(KmxlinkTest):
    def setUp(self):
        self.path = os.path.join(self.device.dir, "ttyCOM5")
        self.far = FarEnd(self.device)
        self.link = Link(self.device, "--pty", self.path)
        self.link.out.wait_for(f"linked at {self.path}")

    def tearDown(self):
        self.far.close()
        self.assertEqual(self.link.stop(), (0, []))
        self.assertFalse(os.path.lexists(self.path))

    def open(self, **settings):
        settings.setdefault("timeout", WAIT)
        terminal = serial.Serial(self.path, **settings)
        self.link.out.wait_for("COM5: open")
        return terminal

    def test_every_byte_value_crosses_both_ways(self):
        data = EVERY_BYTE * 64
        with self.open(rtscts=True) as terminal:
            self.far.do("flow rtscts")  # without flow control, bulk overruns the far end's ring, as on a line
            terminal.write(data)
            self.assertEqual(self.far.read_all(len(data)), data)
            self.far.write(data)
            self.assertEqual(terminal.read(len(data)), data)

    def test_settings_reach_the_port_and_a_refused_one_is_said(self):
        with self.open(baudrate=9600) as terminal:
            terminal.baudrate = 19200
            self.link.out.wait_for("COM5: 19200 8N1 none")
            terminal.stopbits = serial.STOPBITS_TWO
            self.link.out.wait_for("COM5: 19200 8N2 none")
            terminal.rtscts = True
            self.link.out.wait_for("COM5: 19200 8N2 rtscts")
            terminal.baudrate = 230400
            self.link.out.wait_for("COM5: refused 230400 baud (The parameter is incorrect.): kept 19200 8N2")
            # The port's output now waits for CTS, which is the far end's RTS.
            self.far.do("rts 0")
            terminal.write(b"held")
            self.assertEqual(self.far.read(4, 300), b"")
            self.far.do("rts 1")
            self.assertEqual(self.far.read_all(4), b"held")

    def test_xon_and_xoff_stay_with_the_terminal(self):
        with self.open(xonxoff=True, timeout=1) as terminal:
            terminal.baudrate = 19200  # still reaches the port while the terminal works on its input
            self.link.out.wait_for("COM5: 19200 8N1 none")
            self.far.write(b"\x13m")  # XOFF holds the program's output; the byte after it shows it arrived
            self.assertEqual(terminal.read(1), b"m")
            writer = threading.Thread(target=terminal.write, args=(b"held",))
            writer.start()
            self.assertEqual(self.far.read(4, 300), b"")
            self.far.write(b"\x11")
            self.assertEqual(self.far.read_all(4), b"held")
            writer.join(WAIT)

    def test_dtr_and_rts_are_on_while_a_program_has_the_terminal_open(self):
        on = {"DSR", "RLSD", "CTS"}
        self.assertEqual(self.far.lines() & on, set())
        first = self.open()
        wait_until(lambda: self.far.lines() >= on, "DTR and RTS on")
        second = serial.Serial(self.path)
        first.close()
        self.link.out.wait_for("a program closed")
        self.assertGreaterEqual(self.far.lines(), on)
        second.close()
        self.link.out.wait_for("COM5: closed")
        wait_until(lambda: not self.far.lines() & on, "DTR and RTS off")
        with self.open() as again:
            wait_until(lambda: self.far.lines() >= on, "DTR and RTS on again")
            again.write(b"again")
            self.assertEqual(self.far.read_all(5), b"again")

    def test_slow_readers_lose_nothing(self):
        with self.open(rtscts=True) as terminal:
            self.far.do("flow rtscts")
            self.check_slow_readers(terminal, EVERY_BYTE * 512)


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0], "-v", *sys.argv[1:]])
