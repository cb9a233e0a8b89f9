#!/usr/bin/env python3
"""End-to-end tests: runs the built program in throwaway directories and
compares the bytes it leaves on the console and in the result file.

usage: end_to_end.py [--windows] GROUP COMMAND...

COMMAND is the program, or a launcher such as wine followed by it. With
--windows the expectations are those of a Windows console: CR LF line ends,
Big5 messages, and the command processor's own pause text after the run.
Exits 77 when every test of GROUP was skipped, so CTest shows it as skipped.
"""
import argparse
import fcntl
import functools
import os
import pty
import select
import signal
import struct
import subprocess
import sys
import tempfile
import termios
import time
import unittest

COMMAND = []
WINDOWS = False
TIMEOUT = 60  # seconds; generous for a cold Wine prefix

PROMPT = b"Input N : "
PAUSE_PROMPT = b"Press any key to continue . . . "
BAD_INPUT = b"N must be an integer from 0 to 200."
RESULT_PATH = b"../yorv-.txt"
# "開檔失敗: " (opening the file failed) and "寫檔失敗: " (writing it failed).
OPEN_FAILED = {"big5": bytes.fromhex("b67dc0c9a5a2b1d13a20"),
               "utf8": "開檔失敗: ".encode()}
WRITE_FAILED = {"big5": bytes.fromhex("bc67c0c9a5a2b1d13a20"),
                "utf8": "寫檔失敗: ".encode()}


def eol():
    return b"\r\n" if WINDOWS else b"\n"


def message(texts):
    return texts["big5" if WINDOWS else "utf8"] + RESULT_PATH + eol()


def partition_count(n):
    """p(n) from Euler's pentagonal number recurrence."""
    p = [1] + [0] * n
    for m in range(1, n + 1):
        k = 1
        while k * (3 * k - 1) // 2 <= m:
            sign = 1 if k % 2 else -1
            for pent in (k * (3 * k - 1) // 2, k * (3 * k + 1) // 2):
                if pent <= m:
                    p[m] += sign * p[m - pent]
            k += 1
    return p[n]


def partitions(n, largest=None):
    """Partitions of n, parts non-increasing, in reverse lexicographic order."""
    largest = n if largest is None else largest
    if n == 0:
        yield []
    for first in range(min(n, largest), 0, -1):
        for rest in partitions(n - first, first):
            yield [first] + rest


@functools.lru_cache()
def listing(n):
    """The result file's expected bytes; the empty partition of 0 shows as 0."""
    lines = ["+".join(map(str, p)) or "0" for p in partitions(n)]
    lines.append("sum=%d" % len(lines))
    return b"".join(line.encode() + eol() for line in lines)


class Run:
    def __init__(self, stdin, prepare=None):
        """Runs the program in top/work, so its result file is top/yorv-.txt."""
        with tempfile.TemporaryDirectory() as top:
            work = os.path.join(top, "work")
            os.mkdir(work)
            result = os.path.join(top, "yorv-.txt")
            if prepare:
                prepare(result)
            proc = subprocess.run(COMMAND, cwd=work, input=stdin,
                                  stdout=subprocess.PIPE,
                                  stderr=subprocess.PIPE, timeout=TIMEOUT)
            self.status = proc.returncode
            self.console = proc.stdout
            self.stderr = proc.stderr
            self.file = None
            if os.path.isfile(result) and not os.path.islink(result):
                with open(result, "rb") as f:
                    self.file = f.read()


class Case(unittest.TestCase):
    maxDiff = 2000

    def assertEnds(self, run, console, paused=True):
        """The console holds exactly `console`, then the pause, and status 0.

        Redirected on Linux the pause must print nothing; on Windows the
        command processor words its own prompt, so only its presence counts.
        """
        self.assertEqual(run.status, 0)
        self.assertEqual(run.stderr, b"")
        self.assertEqual(run.console[:len(console)], console)
        tail = run.console[len(console):]
        if WINDOWS and paused:
            self.assertNotEqual(tail.strip(), b"", "no pause text")
        else:
            self.assertEqual(tail, b"")


class Listing(Case):
    def test_every_partition_once_in_reverse_lexicographic_order(self):
        for n in range(21):
            with self.subTest(n=n):
                run = Run(b"%d\n" % n)
                self.assertIsNotNone(run.file)
                self.assertEnds(run, PROMPT + run.file)
                self.assertTrue(run.file.endswith(eol()))
                lines = run.file[:-len(eol())].split(eol())
                self.assertEqual(lines[-1], b"sum=%d" % partition_count(n))
                seen = [self.parts(line, n) for line in lines[:-1]]
                self.assertEqual(len(seen), partition_count(n))
                for earlier, later in zip(seen, seen[1:]):
                    self.assertGreater(earlier, later)

    def parts(self, line, n):
        self.assertRegex(line, rb"^(0|[1-9][0-9]*)(\+[1-9][0-9]*)*$")
        parts = [int(p) for p in line.split(b"+")]
        self.assertEqual(parts, sorted(parts, reverse=True), line)
        self.assertEqual(sum(parts), n, line)
        return parts


def old_result(path):
    with open(path, "wb") as f:
        f.write(b"left by an earlier run\n" * 1000)


class ResultFile(Case):
    def test_earlier_result_is_replaced(self):
        run = Run(b"4\n", old_result)
        self.assertEqual(run.file, listing(4))
        self.assertEnds(run, PROMPT + listing(4))


class Input(Case):
    def test_formatted_extraction_reads_the_leading_number(self):
        for stdin, n in [(b"+3", 3), (b" \t\n 7\n", 7), (b"5abc\n", 5),
                         (b"2 9\n", 2), (b"-0\n", 0)]:
            with self.subTest(stdin=stdin):
                run = Run(stdin)
                self.assertEqual(run.file, listing(n))
                self.assertEnds(run, PROMPT + listing(n))

    def test_unusable_input_gets_one_line_and_an_empty_file(self):
        for stdin in [b"", b"\n  \n", b"abc\n", b"-1\n", b"-5\n", b"201\n",
                      b"2147483647\n", b"2147483648\n", b"-2147483649\n",
                      b"99999999999999999999\n", b"+\n", b"x5\n"]:
            with self.subTest(stdin=stdin):
                run = Run(stdin, old_result)
                self.assertEqual(run.file, b"")
                self.assertEnds(run, PROMPT + BAD_INPUT + eol())


class OpenFailure(Case):
    def test_unopenable_result_file_ends_the_run_at_once(self):
        run = Run(b"3\n", os.mkdir)
        self.assertEnds(run, message(OPEN_FAILED), paused=False)


class WriteFailure(Case):
    def test_full_disk_is_reported_after_the_listing(self):
        run = Run(b"3\n", lambda path: os.symlink("/dev/full", path))
        self.assertEnds(run, PROMPT + listing(3) + message(WRITE_FAILED))


class AbruptEnds(Case):
    """A console that is closed or goes away, and a run stopped by a signal,
    still leave a result file of whole, true lines."""

    def setUp(self):
        if WINDOWS:
            self.skipTest("POSIX descriptors and signals; Wine here cannot "
                          "send a program Ctrl-C")
        top = tempfile.TemporaryDirectory()
        self.addCleanup(top.cleanup)
        self.work = os.path.join(top.name, "work")
        os.mkdir(self.work)
        self.result = os.path.join(top.name, "yorv-.txt")

    def start(self, closed=(), ignored=()):
        def prepare():
            for fd in closed:
                os.close(fd)
            for sig in ignored:
                signal.signal(sig, signal.SIG_IGN)
        proc = subprocess.Popen(
            COMMAND, cwd=self.work, stdin=subprocess.PIPE,
            stdout=subprocess.PIPE, stderr=subprocess.PIPE,
            preexec_fn=prepare)
        for pipe in (proc.stdin, proc.stdout, proc.stderr):
            self.addCleanup(pipe.close)
        return proc

    def file(self):
        with open(self.result, "rb") as f:
            return f.read()

    def test_closed_console_leaves_the_file_true(self):
        for closed, stdin, file in [((1,), b"6\n", listing(6)),
                                    ((0, 1, 2), b"6\n", b"")]:
            with self.subTest(closed=closed):
                proc = self.start(closed)
                out, err = proc.communicate(stdin, TIMEOUT)
                self.assertEqual((proc.returncode, out, err), (0, b"", b""))
                self.assertEqual(self.file(), file)

    def test_reader_that_quits_does_not_stop_the_listing(self):
        # The listing fills the pipe long before its end, so it is still
        # writing when the reader goes.
        proc = self.start()
        proc.stdin.write(b"40\n")
        proc.stdin.close()
        read_until(proc.stdout.fileno(), b"", PROMPT + b"40\n")
        proc.stdout.close()
        self.assertEqual(proc.wait(TIMEOUT), 0)
        self.assertEqual(self.file(), listing(40))

    def test_signal_ends_the_listing_after_a_whole_line(self):
        # Started with SIGHUP ignored, as by nohup, the run ignores it.
        for sig, ignored in [(signal.SIGINT, ()), (signal.SIGTERM, ()),
                             (signal.SIGHUP, ()),
                             (signal.SIGHUP, (signal.SIGHUP,))]:
            with self.subTest(sig=sig, ignored=ignored):
                proc = self.start(ignored=ignored)
                proc.stdin.write(b"40\n")
                proc.stdin.close()
                # Stopped by the full pipe, the run has just written a line
                # to the file and is writing it to the console; the signal
                # comes there, and is taken before the pipe drains.
                pid = proc.pid
                wait_for("a full pipe", lambda: "pipe_write" in proc_wchan(pid))
                proc.send_signal(sig)
                wait_for("the signal taken", lambda: signal_taken(pid))
                out = read_until(proc.stdout.fileno(), b"")
                file = self.file()
                self.assertEqual(out, PROMPT + file)
                if ignored:
                    self.assertEqual(proc.wait(TIMEOUT), 0)
                    self.assertEqual(file, listing(40))
                    continue
                self.assertEqual(proc.wait(TIMEOUT), -sig)
                self.assertTrue(file.endswith(b"\n"), file[-40:])
                self.assertTrue(listing(40).startswith(file), file[-40:])

    def test_interrupt_at_the_prompt_ends_the_run_at_once(self):
        proc = self.start()
        read_until(proc.stdout.fileno(), b"", PROMPT)
        proc.send_signal(signal.SIGINT)
        self.assertEqual(proc.wait(TIMEOUT), -signal.SIGINT)
        self.assertEqual(self.file(), b"")


def wait_for(what, condition):
    """Polls condition until it holds: how far another process has got can
    only be seen in /proc."""
    deadline = time.monotonic() + TIMEOUT
    while not condition():
        if time.monotonic() > deadline:
            raise AssertionError("never " + what)
        time.sleep(0.001)


def proc_status(pid, field):
    with open("/proc/%d/status" % pid) as f:
        return next(line.split()[1] for line in f if line.startswith(field))


def signal_taken(pid):
    """The process has ended, or has no signal waiting to be delivered."""
    return proc_status(pid, "State") == "Z" or int(
        proc_status(pid, "SigPnd") + proc_status(pid, "ShdPnd"), 16) == 0


def proc_wchan(pid):
    with open("/proc/%d/wchan" % pid) as f:
        return f.read()


def read_until(fd, seen, text=None):
    """Reads fd onto seen until text is in it, or with no text to the end;
    returns what was seen."""
    deadline = time.monotonic() + TIMEOUT
    while text is None or text not in seen:
        left = deadline - time.monotonic()
        if left <= 0 or not select.select([fd], [], [], left)[0]:
            raise AssertionError("no %r in %r" % (text, seen[-200:]))
        got = os.read(fd, 65536)
        if not got and text is None:
            return seen
        if not got:
            raise AssertionError("no %r before the end in %r" % (text, seen))
        seen += got
    return seen


class Terminal:
    """The program on a pseudo-terminal, its result file in top/."""

    def __init__(self, top, stdout_too=True):
        self.top = top
        work = os.path.join(top, "work")
        os.makedirs(work, exist_ok=True)
        self.master, self.slave = pty.openpty()
        self.settings = termios.tcgetattr(self.slave)
        out = self.slave if stdout_too else subprocess.PIPE
        self.proc = subprocess.Popen(COMMAND, cwd=work, stdin=self.slave,
                                     stdout=out, stderr=self.slave)
        self.seen = b""

    def read_until(self, text):
        self.seen = read_until(self.master, self.seen, text)
        return self.seen

    def result(self):
        with open(os.path.join(self.top, "yorv-.txt"), "rb") as f:
            return f.read()

    def close(self):
        for fd in (self.master, self.slave):
            try:
                os.close(fd)
            except OSError:
                pass


class Pause(Case):
    def setUp(self):
        if WINDOWS:
            self.skipTest("under Wine the program gets no terminal of its "
                          "own; the pause there is the command processor's")
        self.dir = tempfile.TemporaryDirectory()
        self.addCleanup(self.dir.cleanup)

    def paused(self):
        term = Terminal(self.dir.name)
        self.addCleanup(term.close)
        term.read_until(PROMPT)
        os.write(term.master, b"3\n")
        shown = term.read_until(PAUSE_PROMPT)
        # A terminal turns each \n into \r\n on the way out.
        self.assertTrue(shown.endswith(
            listing(3).replace(b"\n", b"\r\n") + PAUSE_PROMPT), shown)
        self.assertEqual(term.result(), listing(3))
        self.assertFalse(termios.tcgetattr(term.slave)[3] & termios.ECHO)
        return term

    def test_one_key_ends_the_pause_and_the_terminal_is_restored(self):
        # An arrow key and a UTF-8 letter each send several bytes at once.
        for key in [b"x", b"\x1b[A", "\u00e9".encode()]:
            with self.subTest(key=key):
                term = self.paused()
                os.write(term.master, key)
                self.assertEqual(term.proc.wait(TIMEOUT), 0)
                self.assertEqual(termios.tcgetattr(term.slave), term.settings)
                # The key is not echoed; the pause only ends its line.
                term.read_until(PAUSE_PROMPT + b"\r\n")
                # The whole key is used up: none of it is left for the shell.
                pending = fcntl.ioctl(term.slave, termios.FIONREAD, b"\0" * 4)
                self.assertEqual(struct.unpack("i", pending)[0], 0)

    def test_terminal_hanging_up_in_the_pause_ends_the_run(self):
        term = self.paused()
        os.close(term.master)
        self.assertEqual(term.proc.wait(TIMEOUT), 0)

    def test_no_pause_when_only_the_input_is_a_terminal(self):
        term = Terminal(self.dir.name, stdout_too=False)
        self.addCleanup(term.close)
        os.write(term.master, b"2\n")
        out, _ = term.proc.communicate(timeout=TIMEOUT)
        self.assertEqual(term.proc.returncode, 0)
        self.assertEqual(out, PROMPT + listing(2))


def main():
    global COMMAND, WINDOWS
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("group")
    parser.add_argument("--windows", action="store_true")
    parser.add_argument("command", nargs=argparse.REMAINDER)
    args = parser.parse_args()
    COMMAND, WINDOWS = args.command, args.windows
    suite = unittest.defaultTestLoader.loadTestsFromName(
        args.group, sys.modules[__name__])
    result = unittest.TextTestRunner(verbosity=2).run(suite)
    if not result.wasSuccessful():
        return 1
    return 77 if len(result.skipped) == result.testsRun else 0


if __name__ == "__main__":
    sys.exit(main())
