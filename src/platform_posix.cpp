// What is particular to POSIX systems: the result file's hold, the one signal routine and the pause.
#include <cerrno>
#include <cstring>
#include <iostream>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include "partitions.h"

const int file_newline_length = 1;
// Past 2 GiB, a record must still open and be cut where its lines end.
static_assert(sizeof(off_t) >= 8, "64-bit file offsets");
static int claimed_fd = -1;
static struct termios cooked, raw;	// as the pause found it, and its own
static volatile sig_atomic_t pausing, switched;
static struct sigaction routine, by_default;	// the one signal routine's

// Whether fd is the claimed file, or with a path, the file that it names.
static bool
is_claimed(int fd, const char *path)
{
	struct stat a, b;
	return (path ? stat(path, &a) : fstat(claimed_fd, &a)) == 0 &&
	    fstat(fd, &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

void
find_file_streams(const char *path, bool is_file[3])
{
	for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; fd++)
		is_file[fd] = is_claimed(fd, claimed_fd < 0 ? path : nullptr);
}

// flock, not fcntl, whose lock goes when any descriptor of the file closes,
// as the stream's does. Where files cannot be locked, one run still works.
bool
claim_file(const char *path, bool &held)
{
	claimed_fd = open(path, O_WRONLY | O_CREAT | O_CLOEXEC | O_NOCTTY, 0666);
	held = claimed_fd >= 0 && flock(claimed_fd, LOCK_EX | LOCK_NB) != 0 &&
	    errno == EWOULDBLOCK;
	return claimed_fd >= 0;
}

// The stream's open() takes the lowest free descriptor, as every open() does:
// known beforehand, it must be the claimed file, whatever took the name since.
bool
open_stream(std::ofstream &stream, const char *path)
{
	int next = fcntl(STDIN_FILENO, F_DUPFD, 0);
	if (next < 0 || close(next) != 0)
		return false;
	stream.open(path, std::ios::out | std::ios::app);
	return stream.is_open() && is_claimed(next, nullptr);
}

// Never lengthens a file that was emptied meanwhile.
bool
cut_claimed_file()
{
	std::int64_t length = whole_length;
	struct stat file;
	return length < 0 || (fstat(claimed_fd, &file) == 0 &&
	    (!S_ISREG(file.st_mode) || file.st_size <= length)) ||
	    ftruncate(claimed_fd, static_cast<off_t>(length)) == 0;
}

void
release_file()
{
	whole_length = -1;
	if (claimed_fd >= 0)
		close(claimed_fd);
	claimed_fd = -1;
}

void
forget_last_error()
{
	errno = 0;
}

std::string
last_error_text(bool console)
{
	return console && errno == EPIPE ? "" : std::strerror(errno);
}

// Raw only in the foreground (false elsewhere: the routine switches it once
// continued there). A terminal that is not the controlling one has none.
static bool
set_terminal(bool to_raw, bool flush)
{
	pid_t foreground = tcgetpgrp(STDIN_FILENO);
	if (to_raw && foreground != -1 && foreground != getpgrp())
		return false;
	if (tcsetattr(STDIN_FILENO, TCSANOW, to_raw ? &raw : &cooked) == 0)
		switched = to_raw;
	if (flush)
		tcflush(STDIN_FILENO, TCIFLUSH);
	return true;
}

// The one routine for every signal whose default ends or stops the program,
// and for SIGCONT. The listing's first request is only noted; its grace is
// an alarm that is the run's own from then on. Anything else puts back what
// the run changed and lets the default action end or stop the program. A
// stop does not cut: the line just written may not be counted yet.
static void
on_signal(int sig)
{
	static_assert(stop_grace_ms >= 1000, "alarm(0) would cancel the grace");
	int saved_errno = errno, none = 0;
	bool request = sig == SIGINT || sig == SIGTERM || sig == SIGHUP;
	bool ends = sig != SIGTSTP && sig != SIGTTIN && sig != SIGTTOU;
	if (request && listing && stop_signal.compare_exchange_strong(none, sig)) {
		sigaction(SIGALRM, &routine, nullptr);	// even if it was ignored
		alarm(stop_grace_ms / 1000);
	} else if (sig != SIGCONT) {
		// GCOVR_EXCL_START: gcov's counts die with the process
		if (sig == SIGALRM && stop_signal != 0)	// the grace is over
			sig = stop_signal;
		if (switched)
			set_terminal(false, false);
		if (ends)
			cut_claimed_file();
		sigaction(sig, &by_default, nullptr);
		sigset_t only;
		sigemptyset(&only);
		sigaddset(&only, sig);
		sigprocmask(SIG_UNBLOCK, &only, nullptr);
		raise(sig);
		// Still here: continued, or not let end the program, as a
		// container's first process is not. exit() would have the stream
		// send again what the system refused it, after the cut.
		if (ends)
			_exit(128 + sig);
		sigaction(sig, &routine, nullptr);
		// GCOVR_EXCL_STOP
	}
	// Continued in the foreground, the pause switches the terminal again
	// whatever it believes: the shell may have put its own modes back.
	if (pausing)
		set_terminal(true, false);
	errno = saved_errno;
}

// A closed standard descriptor would be the next opened, and the file would
// take the console's place; the null device, read-only, fails its writes. A
// terminal left non-blocking is opened anew, to wait, and the flags that the
// shell shares stay. A console that goes away, or a size limit, fails writes.
bool
guard_process()
{
	for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; fd++) {
		int flags = fcntl(fd, F_GETFL);
		const char *tty = flags & O_NONBLOCK ? ttyname(fd) : nullptr;
		int own = tty ? open(tty, (flags & O_ACCMODE) | O_NOCTTY) : -1;
		// Each lower one is open by then, so open() must hand out this one.
		if ((flags == -1 && open("/dev/null", O_RDONLY) != fd) ||
		    (own >= 0 && (dup2(own, fd) != fd || close(own) != 0)))
			return false;
	}
	signal(SIGPIPE, SIG_IGN);
	signal(SIGXFSZ, SIG_IGN);
	// The routine runs alone, and a write that it interrupts goes on after
	// it: not every C++ library retries one. A signal ignored at start, as
	// under nohup, stays ignored; one that a parent held back is let through.
	struct sigaction old;
	by_default.sa_handler = SIG_DFL;
	routine.sa_handler = on_signal;
	routine.sa_flags = SA_RESTART;
	sigfillset(&routine.sa_mask);
	sigprocmask(SIG_UNBLOCK, &routine.sa_mask, nullptr);
	for (int sig = 1; sig < NSIG; sig++) {
		switch (sig) {	// those whose default leaves the program be
		case SIGCHLD: case SIGURG: case SIGWINCH:
#ifdef SIGINFO
		case SIGINFO:
#endif
			continue;
		}
		if (sigaction(sig, nullptr, &old) == 0 && old.sa_handler != SIG_IGN)
			sigaction(sig, &routine, nullptr);
	}
	return true;
}

// Waits for one key, as the Windows command processor's pause does. Only a
// person at a terminal can press it: scripted runs must never wait.
void
pause_or_end(int)
{
	if (stop_signal)
		on_signal(stop_signal);	// GCOVR_EXCL_LINE: counts die with it
	if (!isatty(STDOUT_FILENO) || tcgetattr(STDIN_FILENO, &cooked) != 0)
		return;
	raw = cooked;
	// Without ISIG, Ctrl-C is a key too and cannot leave echo switched off;
	// without IXON, so is Ctrl-S, which would otherwise stop the output.
	raw.c_lflag &= ~(ICANON | ECHO | ISIG);
	raw.c_iflag &= ~IXON;
	raw.c_cc[VMIN] = 1;
	raw.c_cc[VTIME] = 0;
	// Switched at once, with every signal held, so that the routine finds the
	// terminal as its flag says: waiting for the output to drain (XOFF) would
	// hold them too. The flush drops keys typed before the prompt.
	sigset_t before;
	sigprocmask(SIG_BLOCK, &routine.sa_mask, &before);
	std::atomic_signal_fence(std::memory_order_release);	// the modes first
	pausing = 1;
	bool waits = !set_terminal(true, true) || switched;
	sigprocmask(SIG_SETMASK, &before, nullptr);
	std::cout << "Press any key to continue . . . " << std::flush;
	char key;	// from the terminal: what cin holds of N's line is no key
	while (waits && read(STDIN_FILENO, &key, 1) < 0 && errno == EINTR)
		;
	sigprocmask(SIG_BLOCK, &routine.sa_mask, nullptr);
	pausing = 0;
	// The flush drops the rest of a key that sends several bytes.
	if (switched)
		set_terminal(false, true);
	sigprocmask(SIG_SETMASK, &before, nullptr);
	std::cout << std::endl;
}
