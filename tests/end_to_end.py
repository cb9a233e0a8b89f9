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
import contextlib
import fcntl
import functools
import itertools
import os
import re
import pty
import resource
import select
import shutil
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
TIMEOUT = 10  # seconds; a broken rule fails, never hangs (60 under Wine)

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


def why(reason):  # the pattern of standard error's line that says why
    return re.escape(b"partitions: ../yorv-.txt: ") + reason + b"\r?\n"


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
        """Runs the program in top/work, so its result file is top/yorv-.txt,
        fed stdin; prepare(self) may set up the file, the console in
        self.stdout, a file in self.stdin to be fed instead, more of Popen's
        options, or self.during(self, proc) to act while the program runs."""
        with tempfile.TemporaryDirectory(dir=nobody_base()) as top, \
                contextlib.ExitStack() as self.closing:
            self.work = os.path.join(top, "work")
            os.mkdir(self.work)
            self.result = os.path.join(top, "yorv-.txt")
            self.stdout = self.errors = subprocess.PIPE
            self.stdin = self.during = None
            self.command, self.args, self.options = COMMAND, [], {}
            if prepare:
                prepare(self)
            if self.stdin is None:  # all there before the program starts
                self.stdin = self.closing.enter_context(tempfile.TemporaryFile())
                self.stdin.write(stdin)
                self.stdin.seek(0)
            proc = subprocess.Popen(self.command + self.args, cwd=self.work,
                                    stdin=self.stdin, stdout=self.stdout,
                                    stderr=self.errors, **self.options)
            self.closing.callback(end, proc)
            if self.during:
                self.during(self, proc)
            self.console, self.stderr = proc.communicate(timeout=TIMEOUT)
            self.status = proc.returncode
            self.file = None
            if os.path.isfile(self.result) and not os.path.islink(self.result):
                self.file = read(self.result)


def read(path):
    with open(path, "rb") as f:
        return f.read()


@functools.lru_cache()
def nobody_base():
    """Root's runs go where uid 65534 can reach, so that those of them that
    run as nobody can: the temporary folder may be root's alone."""
    if WINDOWS or os.geteuid() != 0:
        return None
    for base in (tempfile.gettempdir(), "/tmp", "/var/tmp", "/dev/shm"):
        if subprocess.run(["sh", "-c", 'cd "$1"', "sh", base], user=65534,
                          stderr=subprocess.DEVNULL).returncode == 0:
            return base
    return None


class Case(unittest.TestCase):
    maxDiff = 2000

    def assertEnds(self, run, console, status=0, stderr=b""):
        """The console holds exactly `console`, then the pause, if the run
        got as far as the prompt, standard error matches the pattern
        `stderr`, and the run ends with `status`.

        Redirected on Linux the pause must print nothing; on Windows the
        command processor words its own prompt, so only its presence counts.
        """
        self.assertEqual(run.status, status)
        self.assertRegex(run.stderr or b"", rb"\A" + (stderr or b"") + rb"\Z")
        self.assertEqual(run.console[:len(console)], console)
        tail = run.console[len(console):]
        if WINDOWS and console.startswith(PROMPT):
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


OLD_RESULT = b"left by an earlier run\n" * 1000


def old_result(run):
    with open(run.result, "wb") as f:
        f.write(OLD_RESULT)


def unopenable(run):
    os.mkdir(run.result)


def full_disk(run):
    os.symlink("/dev/full", run.result)


def full_console(run):
    run.stdout = run.closing.enter_context(open("/dev/full", "wb"))


def file_as_input(run):
    """An earlier result fed back to the program."""
    old_result(run)
    run.stdin = run.closing.enter_context(open(run.result, "rb"))


def folder_as_input(run):
    """An input that the system will not read, as `partitions < .` gives."""
    old_result(run)
    run.stdin = os.open(run.work, os.O_RDONLY)
    run.closing.callback(os.close, run.stdin)


def file_as_console(run):
    """Both output streams appended to the result file, as with
    `>> ../yorv-.txt 2>&1`."""
    old_result(run)
    run.stdout = run.errors = run.closing.enter_context(open(run.result, "ab"))


def with_argument(run):
    old_result(run)
    run.args = ["--help"]


def with_argument_errors_to_file(run):
    with_argument(run)
    run.errors = run.closing.enter_context(open(run.result, "ab"))


def as_a_user(run, mode):
    """The earlier record with mode, the run by a user whom that binds:
    root reads and writes any file, so root's run is nobody's."""
    old_result(run)
    os.chmod(run.result, mode)
    if os.geteuid() == 0:
        if nobody_base() is None:
            raise unittest.SkipTest("no folder here that uid 65534 can reach")
        top = os.path.dirname(run.work)
        os.chmod(top, 0o755)
        # A copy within nobody's reach, wherever the build is; a coverage
        # build's counts are root's, so nobody's go elsewhere.
        run.command = [shutil.copy(COMMAND[0], top)]
        counts = os.path.join(top, "counts")
        os.mkdir(counts)
        os.chmod(counts, 0o777)
        run.options = {"user": 65534,
                       "env": dict(os.environ, GCOV_PREFIX=counts)}


def write_only(run):
    as_a_user(run, 0o222)


def read_only_as_console(run):
    """Its claim fails, and standard output is the file, as with
    `exec 3>>../yorv-.txt; chmod 444 ../yorv-.txt; partitions >&3`."""
    as_a_user(run, 0o444)
    run.stdout = run.closing.enter_context(open(run.result, "ab"))


def read_only_as_errors(run):
    as_a_user(run, 0o444)
    run.errors = run.closing.enter_context(open(run.result, "ab"))


def held_by_another_run(run, env=None):
    """Another run in the same directory, waiting at its prompt: it has
    emptied the result file and holds it to its end, which comes once the
    rows's own run is over."""
    other = subprocess.Popen(COMMAND, cwd=run.work, stdin=subprocess.PIPE,
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                             env=env and dict(os.environ, **env))
    run.closing.callback(other.communicate, b"3\n", TIMEOUT)
    read_until(other.stdout.fileno(), b"", PROMPT)


def held_from_another_prefix(run):  # under a Wine of its own
    held_by_another_run(run, {"WINEPREFIX":
                              os.environ["WINEPREFIX"] + "-other"})


def paused_by_another_run(run):
    """Another run in the same directory, waiting at its pause: it has let
    the file go, and given its key it ends 0 without touching it again."""
    if WINDOWS:
        other = subprocess.Popen(COMMAND, cwd=run.work, stdin=subprocess.PIPE,
                                 stdout=subprocess.PIPE,
                                 stderr=subprocess.PIPE)
        run.closing.callback(end, other)
        other.stdin.write(b"3\n")
        other.stdin.flush()
        # The command processor's own pause prompt follows the listing.
        read_until(other.stdout.fileno(), b"", listing(3) + b"Press")
        press = functools.partial(other.communicate, b"x\n", TIMEOUT)
    else:
        term = Terminal(os.path.dirname(run.work))
        run.closing.callback(term.close)
        term.read_until(PROMPT)
        os.write(term.master, b"3\n")
        term.read_until(PAUSE_PROMPT)
        other, press = term.proc, functools.partial(os.write, term.master, b"x")

    def finish():
        with open(run.result, "rb") as f:
            before = f.read()
        press()
        status = other.wait(TIMEOUT)
        with open(run.result, "rb") as f:
            if (status, f.read()) != (0, before):
                raise AssertionError("the paused run ended %d" % status)
    run.closing.callback(finish)


def held_and_as_console(run):
    held_by_another_run(run)
    run.stdout = run.closing.enter_context(open(run.result, "ab"))


def traced(run, inject, during=None, also=""):
    """The program under strace, which makes one system call fail, or sends
    a signal when it returns, so that a moment comes on purpose; the calls
    named in also are logged too."""
    if not strace_works():
        raise unittest.SkipTest("no strace here that may trace the program")
    run.log = os.path.join(os.path.dirname(run.work), "strace")
    open(run.log, "wb").close()  # there to read before strace writes it
    run.command = ["strace", "-f", "-o", run.log,
                   "-e", "trace=" + also + inject.split(":")[0],
                   "-e", "inject=" + inject] + COMMAND
    run.during = during
    run.closing.callback(lambda: setattr(run, "trace", read(run.log)))
    # LeakSanitizer cannot work under a tracer.
    env = run.options.setdefault("env", dict(os.environ))
    env["ASAN_OPTIONS"] = env.get("ASAN_OPTIONS", "") + ":detect_leaks=0"


@functools.lru_cache()
def strace_works():
    return shutil.which("strace") and subprocess.run(
        ["strace", "-o", "/dev/null", "true"]
    ).returncode == 0


def stopped(run):
    """The traced program's pid, once the SIGSTOP that strace sent it has
    stopped it."""
    stop = re.compile(rb"^(\d+) +--- stopped by SIGSTOP ---$", re.M)
    return int(wait_for("a stop", lambda: stop.search(read(run.log))).group(1))


def lock_unsupported(run):  # as on NFS without locking
    traced(run, "flock:error=ENOLCK")


def emptying_refused(run):  # as for an append-only file
    old_result(run)
    traced(run, "ftruncate:error=EPERM", also="write,")


def replaced_at_the_stream_open(run):
    """Another file takes the name between the claim and the stream's open;
    the claimed one, renamed, is left as it was."""
    old_result(run)
    kept = run.result + ".kept"

    def swap(run, proc):
        pid = stopped(run)
        os.rename(run.result, kept)
        with open(run.result, "wb") as f:
            f.write(b"another file\n")
        os.kill(pid, signal.SIGCONT)
        run.closing.callback(lambda: read(kept) == OLD_RESULT or
                             fail("the claimed file changed"))
    traced(run, "flock:signal=SIGSTOP", swap)


def fail(what):
    raise AssertionError(what)


def refused_and_held_back(run):
    """Refused, the run lets the file go before it says why: while its
    message waits on a full console, another run may list."""
    if not hasattr(fcntl, "F_SETPIPE_SZ"):
        raise unittest.SkipTest("no F_SETPIPE_SZ here to size a pipe")
    file_as_input(run)
    out, run.stdout = os.pipe()
    run.closing.callback(os.close, out)
    run.closing.callback(os.close, run.stdout)
    os.write(run.stdout, b"-" * fcntl.fcntl(run.stdout, fcntl.F_SETPIPE_SZ, 4096))

    def another(run, proc):
        need_proc()
        wait_for("a full console", lambda: "pipe_write" in proc_wchan(proc.pid))
        other = subprocess.run(COMMAND, cwd=run.work, input=b"3\n",
                               capture_output=True, timeout=TIMEOUT)
        read_now(out)
        if other.returncode:
            fail("the other run was refused: %r" % other.stderr)
    run.during = another


def refused_and_ended(run):
    """Refused while another run holds the file, and ended before it lets
    its claim go: the other run's record is not its to cut."""
    old_result(run)
    held_by_another_run(run)

    def end_it(run, proc):
        pid = stopped(run)
        os.kill(pid, signal.SIGTERM)
        os.kill(pid, signal.SIGCONT)
    traced(run, "flock:signal=SIGSTOP", end_it)


def fifo_continued_at_the_claim(run):
    """A FIFO, whose open waits for a reader: a SIGCONT then is no error."""
    need_proc()
    os.mkfifo(run.result)

    def continue_then_read(run, proc):
        wait_for("a wait", lambda: proc_wchan(proc.pid) == "wait_for_partner")
        proc.send_signal(signal.SIGCONT)
        wait_for("a SIGCONT", lambda: signal_taken(proc.pid, signal.SIGCONT))
        fd = os.open(run.result, os.O_RDONLY | os.O_NONBLOCK)
        run.closing.callback(os.close, fd)
        run.closing.callback(lambda: read_now(fd) == listing(3) or
                             fail("the FIFO's reader got no whole listing"))
    run.during = continue_then_read


def stopped_mid_line(run):
    """A stop just after a line reached the file, before it is counted; the
    system discards it in a session of the run's own, and the run goes on."""
    run.options = {"start_new_session": True}
    traced(run, "write:signal=SIGTSTP:when=4")


def quit_before_the_cut(run):
    """A size limit cuts a line short, and SIGQUIT comes before the run's
    own cut, which the system skips."""
    old_result(run)
    run.options = {"preexec_fn": lambda: (
        resource.setrlimit(resource.RLIMIT_CORE, (0, 0)),
        resource.setrlimit(resource.RLIMIT_FSIZE, (4096, resource.RLIM_INFINITY)))}
    traced(run, "ftruncate:error=EINTR:signal=SIGQUIT:when=2")


def emptied_by_hand(run):
    """The record emptied by hand during the listing, then SIGQUIT: the cut
    must not lengthen it again."""
    def empty_and_quit(run, proc):
        pid = stopped(run)
        os.truncate(run.result, 0)
        os.kill(pid, signal.SIGQUIT)
        os.kill(pid, signal.SIGCONT)
    run.options = {"preexec_fn": lambda: resource.setrlimit(
        resource.RLIMIT_CORE, (0, 0))}
    traced(run, "write:signal=SIGSTOP:when=20", empty_and_quit)


def whole_lines(text, limit):
    text = text[:limit]
    return text[:text.rindex(eol()) + len(eol())]


class Outcomes(Case):
    """What the console and the result file hold, and the exit status, for
    each way a run can go: 0 only for a whole listing on both."""

    def test_each_way_a_run_ends(self):
        # Formatted extraction reads the leading number.
        read = [(b"+3", 3), (b" \t\n 7\n", 7), (b"5abc\n", 5), (b"2 9\n", 2)]
        # The last leaves libc++'s ERANGE behind, with the input at its end.
        unusable = [b"", b"abc\n", b"-1\n", b"201\n", b"2147483648\n",
                    b"+\n", b"99999999999999999999"]
        # stdin, prepare, console (None: not seen), file (None: none),
        # status, standard error's pattern
        rows = [(b"4\n", old_result, PROMPT + listing(4), listing(4), 0, b"")]
        rows += [(stdin, None, PROMPT + listing(n), listing(n), 0, b"")
                 for stdin, n in read]
        # A typo keeps the earlier record.
        rows += [(stdin, old_result, PROMPT + BAD_INPUT + eol(), OLD_RESULT, 1,
                  b"") for stdin in unusable]
        refused, held = message(OPEN_FAILED), why(b"in use by another run")
        rows += [
            (b"3\n", unopenable, refused, None, 1, why(b".+")),
            (b"3\n", full_disk, PROMPT + listing(3) + message(WRITE_FAILED),
             None, 1, why(b".+")),
            (b"3\n", full_console, None, listing(3), 1,
             b"partitions: standard output: No space left on device\r?\n"),
            (b"3\n", with_argument, b"", OLD_RESULT, 2,
             b"partitions: usage.+\n"),
            (b"3\n", with_argument_errors_to_file, b"", OLD_RESULT, 2, None),
            (b"4\n", paused_by_another_run, PROMPT + listing(4), listing(4),
             0, b""),
            # One run at a time owns the result file, and it is never the
            # run's own input or console: the other run's record is kept,
            # and no message goes into it.
            (b"3\n", held_and_as_console, None, b"", 1,
             re.escape(refused) + held),
            (None, file_as_input, refused, OLD_RESULT, 1, why(b"is .* input")),
            (b"3\n", file_as_console, None, OLD_RESULT, 1, None),
        ] + [(b"3\n", held_from_another_prefix, refused, b"", 1, held)
             ] * WINDOWS + [
            # Write permission is all the file needs; a claim that fails
            # writes no message into a standard stream that is the file.
            (b"3\n", write_only, PROMPT + listing(3), listing(3), 0, b""),
            (b"3\n", read_only_as_console, None, OLD_RESULT, 1,
             re.escape(refused) + why(b"Permission denied")),
            (b"3\n", read_only_as_errors, refused, OLD_RESULT, 1, None),
            # Moments made on purpose, and system calls that fail.
            (b"3\n", lock_unsupported, PROMPT + listing(3), listing(3), 0, b""),
            (b"3\n", emptying_refused, PROMPT + refused, OLD_RESULT, 1,
             why(b"Operation not permitted")),
            (None, folder_as_input, PROMPT, OLD_RESULT, 1,
             b"partitions: standard input: Is a directory\n"),
            (b"3\n", fifo_continued_at_the_claim, PROMPT + listing(3), None, 0,
             b""),
            (b"3\n", replaced_at_the_stream_open, refused, b"another file\n", 1,
             why(b"replaced while it was being opened")),
            (None, refused_and_held_back, None, listing(3), 1,
             why(b"is .* input")),
            (b"3\n", refused_and_ended, None, OLD_RESULT, -signal.SIGTERM, b""),
            (b"12\n", stopped_mid_line, PROMPT + listing(12), listing(12), 0,
             b""),
            (b"20\n", quit_before_the_cut, None,
             whole_lines(listing(20), 4096), -signal.SIGQUIT, b""),
            (b"20\n", emptied_by_hand, None, b"", -signal.SIGQUIT, b""),
        ] * (not WINDOWS)
        for stdin, prepare, console, file, status, stderr in rows:
            name = prepare.__name__ if prepare else None
            with self.subTest(stdin=stdin, prepare=name):
                if prepare in (full_disk, full_console) and \
                        not os.path.exists("/dev/full"):
                    self.skipTest("no /dev/full here")
                run = Run(stdin, prepare)
                self.assertEqual(run.file, file)
                # One write call for each message, where the writes are traced.
                writes = getattr(run, "trace", b"").count(b" write(2, ")
                self.assertIn(writes, (0, (run.stderr or b"").count(b"\n")))
                if console is None:
                    self.assertEqual(run.status, status)
                    self.assertRegex(run.stderr or b"",
                                     rb"\A" + (stderr or b"") + rb"\Z")
                else:
                    self.assertEnds(run, console, status, stderr)


def need_proc():
    """How far another process has got can only be seen in /proc."""
    if not os.path.exists("/proc/self/wchan"):
        raise unittest.SkipTest("no /proc here to see where the program waits")


def wait_for(what, condition):
    """Polls condition until it holds; returns what it gave then."""
    deadline = time.monotonic() + TIMEOUT
    while not (held := condition()):
        if time.monotonic() > deadline:
            raise AssertionError("never " + what)
        time.sleep(0.001)
    return held


def proc_status(pid, field):
    with open("/proc/%d/status" % pid) as f:
        return next(line.split()[1] for line in f if line.startswith(field))


def signal_taken(pid, sig):
    """The process has ended, or sig no longer waits to be delivered."""
    bit = 1 << (sig - 1)
    try:
        return proc_status(pid, "State") == "Z" or (
            not int(proc_status(pid, "SigPnd"), 16) & bit and
            not int(proc_status(pid, "ShdPnd"), 16) & bit)
    except (OSError, StopIteration):  # reaped by a launcher
        return True


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
            raise AssertionError("no %r in %r" % (text and text[-200:],
                                                  seen[-200:]))
        got = os.read(fd, 65536)
        if not got and text is None:
            return seen
        if not got:
            raise AssertionError("no %r before the end in %r"
                                 % (text[-200:], seen[-200:]))
        seen += got
    return seen


def read_now(fd):
    """What fd has to give without waiting."""
    got = b""
    while select.select([fd], [], [], 0)[0]:
        chunk = os.read(fd, 65536)
        if not chunk:
            break
        got += chunk
    return got


def blocking(*sigs):
    """Starts the program with sigs blocked, as a parent may leave them
    (all with none named), and with no core file."""
    return lambda: (signal.pthread_sigmask(signal.SIG_BLOCK, sigs or
                                           signal.valid_signals()),
                    resource.setrlimit(resource.RLIMIT_CORE, (0, 0)))


def ignoring(sig):
    """Starts the program with sig ignored, as nohup leaves SIGHUP."""
    return lambda: signal.signal(sig, signal.SIG_IGN)


def lines_of(n, count):
    """The first count lines of the listing of n."""
    return b"".join("+".join(map(str, p)).encode() + eol()
                    for p in itertools.islice(partitions(n), count))


class Live(Case):
    """The program watched while it runs, its result file in a directory
    of each run's own."""

    def start(self, stdin=None, stdout=subprocess.PIPE, before=None,
              launcher=(), prepare=None):
        """Starts the program fed stdin, or else a pipe left open to it;
        prepare(self) sets up its directory, before() runs in the new
        process first."""
        top = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, top)
        work = os.path.join(top, "work")
        os.mkdir(work)
        self.result = os.path.join(top, "yorv-.txt")
        if prepare:
            prepare(self)
        feed = subprocess.PIPE
        if stdin is not None:
            with open(os.path.join(top, "input"), "wb") as f:
                f.write(stdin)
            feed = open(os.path.join(top, "input"), "rb")
            self.addCleanup(feed.close)
        proc = subprocess.Popen(list(launcher) + COMMAND, cwd=work,
                                stdin=feed, stdout=stdout,
                                stderr=subprocess.PIPE, preexec_fn=before)
        self.addCleanup(end, proc)
        return proc

    def file(self):
        with open(self.result, "rb") as f:
            return f.read()

    def size(self):
        try:
            return os.path.getsize(self.result)
        except FileNotFoundError:
            return 0


def end(proc):
    """Kills what a failed test left running and closes its pipes."""
    if proc.poll() is None:
        proc.kill()
    with contextlib.suppress(subprocess.TimeoutExpired):
        proc.communicate(timeout=TIMEOUT)


class FailingStreams(Live):
    """A console that is missing, goes away or fails, and a result file
    that fails: the other stream goes on, the failed one holds whole lines
    up to where its device cut it, and the status tells."""

    def setUp(self):
        if WINDOWS and not re.search("failed_file|reader", self.id()):
            self.skipTest("POSIX descriptors: Wine waits on a pipe that "
                          "should not")

    def test_closed_console_and_no_null_device(self):
        # A closed descriptor is opened on /dev/null, or the result file
        # would take its place; without /dev/null the run ends untouched.
        hidden = "mount -t tmpfs tmpfs /dev && "
        # closed, /dev/null hidden, file, status, standard error
        closed_console = b"partitions: standard output: Bad file descriptor\n"
        rows = [((1,), False, listing(6), 1, closed_console),
                ((0, 1, 2), False, OLD_RESULT, 1, b""),
                ((1,), True, OLD_RESULT, 1, b"")]
        for closed, hide, file, status, errors in rows:
            with self.subTest(closed=closed, null_device_hidden=hide):
                launcher = ["sh", "-c", (hidden if hide else "") +
                            'exec "$@"' + "".join(" %d>&-" % fd
                                                  for fd in closed), "sh"]
                if hide:
                    launcher[:0] = NAMESPACE
                    if not namespaces_work():
                        self.skipTest("no mount namespace here to hide "
                                      "/dev/null in")
                proc = self.start(b"6\n", launcher=launcher,
                                  prepare=old_result)
                out, err = proc.communicate(timeout=TIMEOUT)
                self.assertEqual((proc.returncode, out, err),
                                 (status, b"", errors))
                self.assertEqual(self.file(), file)

    def test_reader_that_quits_does_not_stop_the_listing(self):
        # The listing fills the console long before its end, so it is still
        # writing when the reader goes. A terminal that hangs up says why:
        # through libc++, C's error flag alone tells of the refused lines.
        for terminal in (False, True) if not WINDOWS else (False,):
            with self.subTest(terminal=terminal):
                out, into = pty.openpty() if terminal else os.pipe()
                proc = self.start(b"40\n", stdout=into)
                os.close(into)
                read_until(out, b"", PROMPT + b"40")
                os.close(out)
                self.assertEqual(proc.wait(TIMEOUT), 1)
                self.assertEqual(self.file(), listing(40))
                self.assertEqual(proc.stderr.read(), b"partitions: standard "
                                 b"output: Input/output error\n" * terminal)

    def test_failed_console_gets_nothing_more(self):
        # A pipe that does not wait fails the console once full; drained,
        # it could take lines again, but must get none.
        if not hasattr(fcntl, "F_GETPIPE_SZ"):
            self.skipTest("no F_GETPIPE_SZ here to tell a pipe's room")
        out, into = os.pipe()
        self.addCleanup(os.close, out)
        os.set_blocking(into, False)
        proc = self.start(b"100\n", stdout=into)
        os.close(into)
        room = fcntl.fcntl(out, fcntl.F_GETPIPE_SZ)
        # The file is written first: once it is past the pipe's room,
        # the console has failed.
        wait_for("a failed console", lambda: self.size() > 2 * room)
        console = read_now(out)
        size = self.size()
        wait_for("more lines", lambda: self.size() > size + 2 * room)
        self.assertEqual(read_now(out), b"")
        proc.send_signal(signal.SIGTERM)
        self.assertEqual(proc.wait(TIMEOUT), -signal.SIGTERM)
        self.assertEqual(read_now(out), b"")
        self.assertTrue(console.endswith(b"\n"), console[-40:])
        self.assertEqual(console,
                         PROMPT + self.file()[:len(console) - len(PROMPT)])

    def test_summary_waits_for_a_console_that_holds_it_back(self):
        # The summary goes to the console first: while a full pipe holds
        # it back, the file has every line but the summary.
        need_proc()
        if not hasattr(fcntl, "F_SETPIPE_SZ"):
            self.skipTest("no F_SETPIPE_SZ here to size a pipe")
        out, into = os.pipe()
        self.addCleanup(os.close, out)
        room = fcntl.fcntl(into, fcntl.F_SETPIPE_SZ, 4096)
        lines = listing(3)[:listing(3).index(b"sum=")]
        os.write(into, b"-" * (room - len(PROMPT + lines)))
        proc = self.start(b"3\n", stdout=into)
        os.close(into)
        wait_for("a full console", lambda: "pipe_write" in proc_wchan(proc.pid))
        self.assertEqual(self.file(), lines)
        self.assertTrue(read_until(out, b"").endswith(PROMPT + listing(3)))
        self.assertEqual(proc.wait(TIMEOUT), 0)
        self.assertEqual(self.file(), listing(3))

    def test_failed_file_gets_nothing_more(self):
        # The file reaches a size limit, which is then lifted: it must end
        # with the last whole line before the limit, with neither what the
        # limit let in of the next one, nor later lines, nor the refused
        # one sent again. It is cut at once, through the run's own hold on
        # it: renamed at the prompt, it is still the one cut, and a new
        # file under its name is another run's, left alone. The program
        # ignores SIGXFSZ itself; Windows has none, so Wine must not die of
        # it. The reason is the cause, even where a write was cut short.
        limit = 16384
        hard = resource.getrlimit(resource.RLIMIT_FSIZE)[1]
        proc = self.start(before=lambda: (
            WINDOWS and signal.signal(signal.SIGXFSZ, signal.SIG_IGN),
            resource.setrlimit(resource.RLIMIT_FSIZE, (limit, hard))))
        seen = read_until(proc.stdout.fileno(), b"", PROMPT)
        kept = self.result + ".kept"
        os.rename(self.result, kept)
        old_result(self)
        proc.stdin.write(b"40\n")
        proc.stdin.close()  # Windows's pause reads on to its end
        proc.stdin = None
        # Read past the limit, the file has failed; the unread pipe holds
        # the listing back from its end.
        seen = read_until(proc.stdout.fileno(), seen,
                          PROMPT + listing(40)[:limit + 4096])
        cut = listing(40)[:limit]
        cut = cut[:cut.rindex(eol()) + len(eol())]
        with open(kept, "rb") as f:
            self.assertEqual(f.read(), cut)
        if hasattr(resource, "prlimit"):
            resource.prlimit(proc.pid, resource.RLIMIT_FSIZE, (hard, hard))
        seen = read_until(proc.stdout.fileno(), seen)
        self.assertEqual(proc.wait(TIMEOUT), 1)
        self.assertRegex(proc.stderr.read(),
                         rb"\A" + why(b"(?!Success|The operation|No error|"
                                       b"File (already )?exists).+") + rb"\Z")
        shown = PROMPT + listing(40) + message(WRITE_FAILED)
        # Windows's pause prompt follows.
        self.assertEqual(seen[:len(shown)] if WINDOWS else seen, shown)
        self.assertEqual(self.file(), OLD_RESULT)
        with open(kept, "rb") as f:
            self.assertEqual(f.read(), cut)


# Runs a command in a mount namespace of its own, where /dev can be hidden;
# or as the first process of a PID namespace, as a container runs it, and
# killed with unshare: a first process that ignores a test's signals would
# list on into a removed folder.
NAMESPACE = ["unshare", "--mount", "--map-root-user"]
PID_NAMESPACE = ["unshare", "--pid", "--fork", "--kill-child", "--mount-proc",
                 "--map-root-user"]


def child(proc):
    """The program that a launcher such as unshare runs as its child."""
    need_proc()
    path = "/proc/%d/task/%d/children" % (proc.pid, proc.pid)
    return int(wait_for("the program", lambda: read(path).split())[0])


@functools.lru_cache()
def pid_namespaces_work():
    return shutil.which(PID_NAMESPACE[0]) and subprocess.run(
        PID_NAMESPACE + ["true"], stderr=subprocess.DEVNULL).returncode == 0


@functools.lru_cache()
def namespaces_work():
    return shutil.which(NAMESPACE[0]) and subprocess.run(
        NAMESPACE + ["sh", "-c", "mount -t tmpfs tmpfs /dev"],
        stderr=subprocess.DEVNULL).returncode == 0


class Stops(Live):
    """A stop request ends the run after the line it is writing, on both
    streams, without the summary, as an interrupted program ends."""

    def test_stop_finishes_the_line_on_both_streams(self):
        # The console is a file, so no write waits, and N = 200 lists for
        # ages, so the stop always comes mid-listing. A mask inherited from
        # the parent holds no signal off. An alarm that is not the program's
        # own, or a quit, ends it at once, as it would any program: then the
        # console may lack the line that the file has.
        # As a container's first process, whose own signals the system
        # ignores, a run ends as the system lets it: 128 + the signal.
        SIGINT, SIGTERM, SIGHUP = signal.SIGINT, signal.SIGTERM, signal.SIGHUP
        rows = [(SIGINT, None, False)]
        if not WINDOWS:
            rows += [(SIGINT, blocking(), False), (SIGTERM, None, True),
                     (signal.SIGUSR1, None, True), (signal.SIGALRM, None, False),
                     (signal.SIGQUIT, blocking(), False)]
        for sig, before, pid1 in rows:
            with self.subTest(sig=sig, blocked=before is not None, pid1=pid1):
                console = tempfile.TemporaryFile()
                self.addCleanup(console.close)
                if pid1 and not pid_namespaces_work():
                    self.skipTest("no PID namespace here")
                proc = self.start(b"200\n", stdout=console, before=before,
                                  launcher=PID_NAMESPACE if pid1 else ())
                wait_for("the first line or the end",
                         lambda: self.size() > 0 or proc.poll() is not None)
                pid = child(proc) if pid1 else proc.pid
                os.kill(pid, sig) if pid1 else proc.send_signal(sig)
                if not WINDOWS:
                    # Within a line of the request, not at the grace's end.
                    need_proc()
                    wait_for("the signal taken",
                             lambda: signal_taken(pid, sig))
                    most = self.file().count(eol()) + 1
                self.assertEqual(proc.wait(TIMEOUT),
                                 128 + sig if pid1 else interrupted(sig))
                file = self.file()
                console.seek(0)
                shown = console.read()
                if sig not in (SIGINT, SIGTERM, SIGHUP):
                    self.assertTrue((PROMPT + file).startswith(shown))
                else:
                    self.assertEqual(shown, PROMPT + file)
                    if not WINDOWS:
                        self.assertLessEqual(file.count(eol()), most)
                self.assertEqual(file, lines_of(200, file.count(eol())))

    def test_stop_does_not_wait_for_a_console_that_is_not_read(self):
        # The console is a full pipe: the run has put a line in the file and
        # waits to put it on the console. One request waits for that a
        # moment only, even if the parent left the alarm blocked; a second
        # is obeyed at once. Two are sent while the program is stopped, so
        # that the grace cannot end it between them; Linux then hands over
        # the lower-numbered first. One ignored at start, as under nohup,
        # stays ignored, and the alarm is taken over even then. Neither a
        # handler that returns nor a signal left alone fails the write.
        need_proc()
        SIGINT, SIGTERM, SIGHUP = signal.SIGINT, signal.SIGTERM, signal.SIGHUP
        # signals sent, what the program is started with, the signal it
        # ends by (None: it lists to its end), whether the console is read
        # at once: a request then lets the line end there too
        rows = [((SIGINT,), None, SIGINT, False)]
        if not WINDOWS:
            rows = [((SIGHUP,), None, SIGHUP, True),
                    ((SIGTERM,), blocking(signal.SIGALRM), SIGTERM, False),
                    ((SIGTERM, SIGINT), None, SIGTERM, False),
                    ((SIGTERM,), ignoring(signal.SIGALRM), SIGTERM, False),
                    ((SIGHUP,), ignoring(SIGHUP), None, False),
                    ((signal.SIGCONT, signal.SIGWINCH, signal.SIGURG,
                      signal.SIGCHLD), None, None, False)]
        for sigs, before, ends_by, read_at_once in rows:
            with self.subTest(sigs=sigs, alarm_blocked=before is not None):
                proc = self.start(b"40\n", before=before)
                pid = proc.pid
                wait_for("a full pipe", lambda: "pipe_write" in proc_wchan(pid))
                if len(sigs) > 1:
                    proc.send_signal(signal.SIGSTOP)
                    wait_for("a stop", lambda: proc_status(pid, "State") == "T")
                for sig in sigs:
                    proc.send_signal(sig)
                if len(sigs) > 1:
                    proc.send_signal(signal.SIGCONT)
                for sig in sigs:
                    wait_for("the signal taken", lambda: signal_taken(pid, sig))
                if ends_by is None:
                    out = read_until(proc.stdout.fileno(), b"")
                    self.assertEqual(proc.wait(TIMEOUT), 0)
                    self.assertEqual(out, PROMPT + listing(40))
                    self.assertEqual(self.file(), listing(40))
                    continue
                # Else ended with the pipe still full: nobody reads it till
                # then. The grace is a second; ten allow for a busy machine.
                out = read_at_once and read_until(proc.stdout.fileno(), b"")
                self.assertEqual(proc.wait(10), interrupted(ends_by))
                out = out or read_until(proc.stdout.fileno(), b"")
                shown, file = out[len(PROMPT):], self.file()
                # The file is written first, so it holds the line that the
                # console was waiting for, and only that one more.
                self.assertEqual(file[:len(shown)], shown)
                self.assertEqual(file[len(shown):].count(b"\n"),
                                 0 if read_at_once else 1)
                self.assertTrue(listing(40).startswith(file), file[-40:])

    def test_interrupt_at_the_prompt_or_the_windows_pause(self):
        # At the prompt it ends the run at once, the record kept, as PID 1
        # too; at the Windows pause it is a key, and the status the run's.
        for typed, pid1 in [(b"", False), (b"4\n", False) if WINDOWS else
                            (b"", True)]:
            with self.subTest(typed=typed, pid1=pid1):
                if pid1 and not pid_namespaces_work():
                    self.skipTest("no PID namespace here")
                proc = self.start(prepare=old_result,
                                  launcher=PID_NAMESPACE if pid1 else ())
                os.write(proc.stdin.fileno(), typed)
                read_until(proc.stdout.fileno(), b"",
                           PROMPT + (listing(4) + b"Press") * bool(typed))
                os.kill(child(proc) if pid1 else proc.pid, signal.SIGINT)
                self.assertEqual(proc.wait(TIMEOUT), 0 if typed else 128 +
                                 signal.SIGINT if pid1 else
                                 interrupted(signal.SIGINT))
                self.assertEqual(self.file(),
                                 listing(4) if typed else OLD_RESULT)


def interrupted(sig):
    """The status of a run ended by sig: on Windows, STATUS_CONTROL_C_EXIT,
    of which Wine keeps the low byte."""
    return 0xC000013A & 0xFF if WINDOWS else -sig


def own_group_no_core():
    """A process group of its own whose parent is in the same session, as a
    shell's job is, so that a stop signal is not discarded; and no core
    file when SIGQUIT ends it."""
    os.setpgid(0, 0)
    resource.setrlimit(resource.RLIMIT_CORE, (0, 0))


def pending(fd):
    """How many bytes a terminal holds for its next read."""
    return struct.unpack("i", fcntl.ioctl(fd, termios.FIONREAD, b"\0" * 4))[0]


def session_leader():
    """A session of its own, the terminal its controlling one, as script(1)
    starts a program: the system discards the stops sent to it."""
    os.setsid()
    fcntl.ioctl(0, termios.TIOCSCTTY, 0)


def with_default(action):
    """The catchable signals whose default action here is to "end" or to
    "stop" a program, as a child that sends each to itself shows."""
    found = []
    for sig in sorted(signal.valid_signals() -
                      {signal.SIGKILL, signal.SIGSTOP}):
        pid = os.fork()
        if pid == 0:
            own_group_no_core()
            signal.signal(sig, signal.SIG_DFL)
            signal.pthread_sigmask(signal.SIG_UNBLOCK, [sig])
            os._exit(os.kill(os.getpid(), sig) or 0)
        status = os.waitpid(pid, os.WUNTRACED)[1]
        if os.WIFSTOPPED(status):
            os.kill(pid, signal.SIGKILL)
            os.waitpid(pid, 0)
        if (os.WIFSTOPPED if action == "stop" else os.WIFSIGNALED)(status):
            found.append(sig)
    return found


class Terminal:
    """The program on a pseudo-terminal, its result file in top/."""

    def __init__(self, top, stdout_too=True, spawn=True, leader=False):
        self.top = top
        self.work = os.path.join(top, "work")
        os.makedirs(self.work, exist_ok=True)
        self.master, self.slave = pty.openpty()
        # Left non-blocking, as some programs leave a terminal: the run opens
        # its own, which waits, and leaves this one's flags alone.
        os.set_blocking(self.slave, False)
        self.settings = termios.tcgetattr(self.slave)
        self.seen = b""
        if not spawn:
            return
        out = self.slave if stdout_too else subprocess.PIPE
        self.proc = subprocess.Popen(COMMAND, cwd=self.work, stdin=self.slave,
                                     stdout=out, stderr=self.slave,
                                     preexec_fn=session_leader if leader
                                     else own_group_no_core)

    def read_until(self, text):
        self.seen = read_until(self.master, self.seen, text)
        return self.seen

    def result(self):
        with open(os.path.join(self.top, "yorv-.txt"), "rb") as f:
            return f.read()

    def close(self):
        if self.__class__ is Terminal:
            end(self.proc)
        for fd in (self.master, self.slave):
            try:
                os.close(fd)
            except OSError:
                pass


class Job(Terminal):
    """The program as the job of a shell of the test's own, which leads a
    session with the pseudo-terminal as its controlling terminal and, told
    "fg" or "bg", gives the terminal's foreground to the job or takes it."""

    def __init__(self, top):
        super().__init__(top, spawn=False)
        orders, self.orders = os.pipe()
        self.replies, replies = os.pipe()
        self.shell = os.fork()
        if self.shell == 0:
            status = 1
            try:
                os.close(self.orders)
                status = self.run_shell(orders, replies)
            finally:
                os._exit(status)
        os.close(orders)
        os.close(replies)
        self.pid = int(read_until(self.replies, b"", b"\n"))

    def run_shell(self, orders, replies):
        os.setsid()
        fcntl.ioctl(self.slave, termios.TIOCSCTTY, 0)
        # A shell takes the foreground back while in the background.
        signal.signal(signal.SIGTTOU, signal.SIG_IGN)

        def as_job():  # with every signal blocked: the program lets them in
            os.setpgid(0, 0)
            os.tcsetpgrp(0, os.getpid())
            signal.signal(signal.SIGTTOU, signal.SIG_DFL)
            blocking()()

        proc = subprocess.Popen(COMMAND, cwd=self.work, stdin=self.slave,
                                stdout=self.slave, stderr=self.slave,
                                preexec_fn=as_job)
        os.write(replies, b"%d\n" % proc.pid)
        for order in iter(lambda: os.read(orders, 2), b""):
            os.tcsetpgrp(self.slave,
                         proc.pid if order == b"fg" else os.getpgrp())
            os.write(replies, order)
        try:
            return proc.wait(TIMEOUT) & 0xFF
        finally:
            end(proc)

    def order(self, what):
        os.write(self.orders, what)
        read_until(self.replies, b"", what)

    def wait(self):
        """The job's status, once the shell is told no more."""
        os.close(self.orders)
        self.orders = None

        def reaped():
            pid, status = os.waitpid(self.shell, os.WNOHANG)
            return pid and (status,)
        return os.waitstatus_to_exitcode(wait_for("the job's end", reaped)[0])

    def close(self):
        if self.orders is not None:
            with contextlib.suppress(ProcessLookupError):
                os.kill(self.pid, signal.SIGKILL)
            self.wait()
        os.close(self.replies)
        super().close()


class Pause(Case):
    def setUp(self):
        if WINDOWS:
            self.skipTest("under Wine the program gets no terminal of its "
                          "own; the pause there is the command processor's")
        self.dir = tempfile.TemporaryDirectory()
        self.addCleanup(self.dir.cleanup)

    def paused(self, typed=b"3\n", leader=False):
        """The program at its pause after N was typed, or what was typed
        instead was turned down."""
        term = Terminal(tempfile.mkdtemp(dir=self.dir.name), leader=leader)
        self.addCleanup(term.close)
        term.read_until(PROMPT)
        os.write(term.master, typed)
        shown = term.read_until(PAUSE_PROMPT)
        file = listing(3) if typed.startswith(b"3\n") else b""
        # A terminal turns each \n into \r\n on the way out.
        self.assertTrue(shown.endswith(
            (file or BAD_INPUT + b"\n").replace(b"\n", b"\r\n") +
            PAUSE_PROMPT), shown)
        self.assertEqual(term.result(), file)
        # One key, not echoed; Ctrl-C is a key too.
        self.assertFalse(termios.tcgetattr(term.slave)[3] & (
            termios.ECHO | termios.ICANON | termios.ISIG))
        # Waiting for it: nothing typed before the pause has ended it.
        if os.path.exists("/proc/self/wchan"):
            wait_for("a wait for a key", lambda: term.proc.poll() is not None
                     or proc_wchan(term.proc.pid) in ("wait_woken",
                                                      "n_tty_read"))
            self.assertIsNone(term.proc.poll())
        return term

    def test_one_key_ends_the_pause_and_the_terminal_is_restored(self):
        # An arrow key and a UTF-8 letter each send several bytes at once;
        # a turned-down N must not end the pause either.
        for typed, key, status in [
                (b"3\n", b"x", 0), (b"3\n", b"\x03", 0),
                (b"3\n", b"\x1b[A", 0), (b"3\n", "\u00e9".encode(), 0),
                (b"3\n", b"\x13", 0),  # Ctrl-S, not a stop of the output
                (b"3\nx", b"y", 0),  # x, typed during the listing, is no key
                (b"abc\n", b"x", 1)]:
            with self.subTest(typed=typed, key=key):
                term = self.paused(typed)
                os.write(term.master, key)
                self.assertEqual(term.proc.wait(TIMEOUT), status)
                self.assertEqual(termios.tcgetattr(term.slave), term.settings)
                # The key is not echoed; the pause only ends its line.
                term.read_until(PAUSE_PROMPT + b"\r\n")
                # The whole key is used up: none of it is left for the shell.
                self.assertEqual(pending(term.slave), 0)
                self.assertFalse(os.get_blocking(term.slave))

    def test_signal_in_the_pause_gives_the_terminal_back(self):
        # Any signal whose default action ends the program; an alarm also
        # after a turned-down N, when no stop has made it the program's own.
        # The program ignores SIGPIPE and SIGXFSZ itself: a console that
        # goes away, or a file-size limit, is a write that fails.
        rows = [(b"3\n", sig) for sig in with_default("end")
                if sig not in (signal.SIGPIPE, signal.SIGXFSZ)]
        rows.append((b"abc\n", signal.SIGALRM))
        # Only the listing notes a request: here a key after it is too late.
        need_proc()
        for typed, sig in rows:
            with self.subTest(typed=typed, sig=sig):
                term = self.paused(typed)
                term.proc.send_signal(sig)
                wait_for("the signal taken",
                         lambda: signal_taken(term.proc.pid, sig))
                os.write(term.master, b"x")
                self.assertEqual(term.proc.wait(TIMEOUT), -sig)
                self.assertEqual(termios.tcgetattr(term.slave), term.settings)

    def test_pause_of_a_session_leader_takes_a_key_after_a_stop(self):
        # A stop the system discards leaves the terminal switched; after a
        # real one, the shell puts its own modes back before it continues
        # the program, which switches the terminal again.
        need_proc()
        switched = lambda: not (  # noqa: E731
            termios.tcgetattr(term.slave)[3] & termios.ECHO)
        for sig in (signal.SIGTSTP, signal.SIGTTOU, signal.SIGSTOP):
            with self.subTest(sig=sig):
                term = self.paused(leader=True)
                pid = term.proc.pid
                term.proc.send_signal(sig)
                if sig == signal.SIGSTOP:
                    wait_for("a stop", lambda: proc_status(pid, "State") == "T")
                    termios.tcsetattr(term.slave, termios.TCSANOW,
                                      term.settings)
                    term.proc.send_signal(signal.SIGCONT)
                else:
                    wait_for("the signal taken", lambda: signal_taken(pid, sig))
                wait_for("the terminal switched", switched)
                os.write(term.master, b"x")
                self.assertEqual(term.proc.wait(TIMEOUT), 0)
                self.assertEqual(termios.tcgetattr(term.slave), term.settings)

    def test_job_control_at_the_pause(self):
        # Stopped at the pause, the program gives the terminal back; stopped
        # in the listing, it has not switched it yet. Continued in the
        # background, or reaching its pause there, it leaves the terminal to
        # the shell and stops at its next read; brought back, it takes a key.
        # At the pause, every stop signal gives the terminal back, and each
        # continue switches it again, stop after stop, the same one twice;
        # continued in the listing, it leaves the terminal as it is.
        need_proc()
        for n, stopped_in, first in ((3, "pause", with_default("stop") +
                                      [signal.SIGTTIN]),
                                     (40, "listing", [signal.SIGTSTP])):
            with self.subTest(stopped_in=stopped_in):
                job = Job(tempfile.mkdtemp(dir=self.dir.name))
                self.addCleanup(job.close)
                job.read_until(PROMPT)
                os.write(job.master, b"%d\n" % n)
                # The echo, then the first line; unread, the listing of 40
                # cannot reach its end.
                job.read_until(PAUSE_PROMPT if n == 3 else b"40\r\n40\r\n")
                state = functools.partial(proc_status, job.pid, "State")
                switched = lambda: not (  # noqa: E731
                    termios.tcgetattr(job.slave)[3] & termios.ECHO)
                for sig in first:
                    os.kill(job.pid, sig)
                    wait_for("a stop", lambda: state() == "T")
                    self.assertEqual(termios.tcgetattr(job.slave), job.settings)
                    os.kill(job.pid, signal.SIGCONT)
                    if n == 3:
                        wait_for("the terminal switched", switched)
                        continue
                    # On past the routine: well past what was read before.
                    job.read_until(lines_of(40, 3000)[-40:].replace(
                        b"\n", b"\r\n"))
                    self.assertEqual(termios.tcgetattr(job.slave), job.settings)
                os.kill(job.pid, signal.SIGTSTP)
                wait_for("a stop", lambda: state() == "T")
                self.assertEqual(termios.tcgetattr(job.slave), job.settings)
                # The shell's own modes, and a line typed for it: in the
                # background, neither is the program's to change.
                shell = job.settings[:6] + [list(job.settings[6])]
                shell[6][termios.VINTR] = b"\x01"
                termios.tcsetattr(job.slave, termios.TCSANOW, shell)
                os.write(job.master, b"y\n")
                job.order(b"bg")
                os.kill(job.pid, signal.SIGCONT)
                job.read_until(PAUSE_PROMPT)
                wait_for("a stop on reading in the background",
                         lambda: state() == "T")
                self.assertEqual(termios.tcgetattr(job.slave), shell)
                self.assertEqual(pending(job.slave), 2)
                # Brought back, the line typed ahead is its key.
                job.order(b"fg")
                os.kill(job.pid, signal.SIGCONT)
                self.assertEqual(job.wait(), 0)
                self.assertEqual(termios.tcgetattr(job.slave),
                                 job.settings if n == 3 else shell)

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
    global COMMAND, WINDOWS, TIMEOUT
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("group")
    parser.add_argument("--windows", action="store_true")
    parser.add_argument("command", nargs=argparse.REMAINDER)
    args = parser.parse_args()
    COMMAND, WINDOWS = args.command, args.windows
    if WINDOWS:
        TIMEOUT = 60  # a cold Wine prefix is slow to start
    suite = unittest.defaultTestLoader.loadTestsFromName(
        args.group, sys.modules[__name__])
    result = unittest.TextTestRunner(verbosity=2).run(suite)
    if not result.wasSuccessful():
        return 1
    return 77 if len(result.skipped) == result.testsRun else 0


if __name__ == "__main__":
    sys.exit(main())
