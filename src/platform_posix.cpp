// What is particular to POSIX systems: the result file's hold, the one signal routine and the pause.
#include <cerrno>
#include <csignal>
#include <cstring>
#include <iostream>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include "partitions.h"

// How long a stopped run waits for the console to take its line.
static const unsigned stop_grace_seconds = 1;
static const char pause_prompt[] = "Press any key to continue . . . ";
const int file_newline_length = 1;
// Past 2 GiB, a record must still open and be cut where its lines end.
static_assert(sizeof(off_t) >= 8, "64-bit file offsets");

static int claimed_fd = -1;
// The terminal as the pause found it and as it switches it; whether the
// pause waits for its key, and whether the terminal is switched.
static struct termios cooked, raw;
static volatile std::sig_atomic_t pausing, switched;

// Whether descriptor fd is the claimed file, or without a claim the file
// that path names.
static bool
is_claimed(int fd, const char *path = nullptr)
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

bool
claim_file(const char *path)
{
	claimed_fd = open(path, O_WRONLY | O_CREAT | O_CLOEXEC | O_NOCTTY, 0666);
	return claimed_fd >= 0;
}

// flock, not fcntl: a process loses an fcntl lock when it closes any
// descriptor of the file, as the stream does. A file system that cannot
// lock at all still lets a single run work.
bool
lock_claim()
{
	return flock(claimed_fd, LOCK_EX | LOCK_NB) == 0 || errno != EWOULDBLOCK;
}

// POSIX gives open() the lowest free descriptor, so the stream's is known
// before it opens the name, and must then be the claimed file, whatever
// took the name meanwhile; no /dev/fd is needed.
bool
open_stream(std::ofstream &stream, const char *path)
{
	int next = fcntl(STDIN_FILENO, F_DUPFD, 0);
	if (next < 0)
		return false;
	close(next);
	stream.open(path, std::ios::out | std::ios::app);
	return stream.is_open() && is_claimed(next);
}

// Never lengthens a file that was emptied meanwhile.
bool
cut_claimed_file()
{
	std::int64_t length = whole_length;
	struct stat file;
	if (length < 0 || (fstat(claimed_fd, &file) == 0 &&
	    (!S_ISREG(file.st_mode) || file.st_size <= length)))
		return true;
	return ftruncate(claimed_fd, static_cast<off_t>(length)) == 0;
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
last_error_text()
{
	return std::strerror(errno);
}

bool
console_takes_utf8()
{
	return true;
}

std::string
console_failure()
{
	return errno == EPIPE ? "" : std::strerror(errno);
}

// A job in the background leaves the terminal to the shell; a terminal
// that is not the controlling one has no foreground. Safe in a handler.
static bool
in_background()
{
	pid_t foreground = tcgetpgrp(STDIN_FILENO);
	return foreground != -1 && foreground != getpgrp();
}

static void
set_terminal(bool to_raw, int when)
{
	if (tcsetattr(STDIN_FILENO, when, to_raw ? &raw : &cooked) == 0)
		switched = to_raw;
}

static void on_signal(int sig, siginfo_t *, void *context);

// The routine runs alone, and a write that it interrupts goes on after it:
// not every C++ library retries one. A signal ignored at start, as nohup
// leaves some, stays ignored, but for the alarm once the run owns it.
static void
take(int sig, bool even_if_ignored = false)
{
	struct sigaction old, action = {};
	action.sa_sigaction = on_signal;
	action.sa_flags = SA_SIGINFO | SA_RESTART;
	sigfillset(&action.sa_mask);
	if (even_if_ignored ||
	    (sigaction(sig, nullptr, &old) == 0 && old.sa_handler != SIG_IGN))
		sigaction(sig, &action, nullptr);
}

// What runs only on the way to an end by a signal is not counted in line
// coverage: gcov's counts are lost with the process.
// GCOVR_EXCL_START

// Puts back what the run changed, then lets the signal's default action end
// or stop the program. A stop does not cut: the run goes on, and the line
// just written may not be counted yet.
static void
end_or_stop(int sig)
{
	if (sig == SIGALRM && stop_signal != 0)	// the grace is over
		sig = stop_signal;
	if (switched)
		set_terminal(false, TCSANOW);
	bool ends = sig != SIGTSTP && sig != SIGTTIN && sig != SIGTTOU;
	if (ends)
		cut_claimed_file();
	struct sigaction action = {};
	action.sa_handler = SIG_DFL;
	sigaction(sig, &action, nullptr);
	sigset_t only;
	sigemptyset(&only);
	sigaddset(&only, sig);
	sigprocmask(SIG_UNBLOCK, &only, nullptr);
	raise(sig);
	// Still here: continued, or a signal the system would not let end or
	// stop the program, as for a container's first process. The file is
	// cut already, and exit() would have the stream send again what the
	// system refused it.
	if (ends)
		_exit(128 + sig);
	take(sig);
}

// GCOVR_EXCL_STOP

// The one routine for every signal whose default ends or stops the program,
// and for SIGCONT. The first request while the listing runs is only noted:
// the loop ends the run once the line is out, and the console has the
// grace to take it, by an alarm that is the run's own from then on, even
// if it was ignored or blocked. Continued, the pause switches the terminal
// again in the foreground, whatever it believes: the shell may have put its
// own modes back. In the background, its read stops it until brought back.
static void
on_signal(int sig, siginfo_t *, void *context)
{
	int saved_errno = errno, none = 0;
	bool request = sig == SIGINT || sig == SIGTERM || sig == SIGHUP;
	if (request && listing && stop_signal.compare_exchange_strong(none, sig)) {
		take(SIGALRM, true);
		// Unblocked once the routine returns.
		sigdelset(&static_cast<ucontext_t *>(context)->uc_sigmask, SIGALRM);
		alarm(stop_grace_seconds);
	} else if (sig != SIGCONT) {
		end_or_stop(sig);
	}
	if (pausing && !in_background())
		set_terminal(true, TCSANOW);
	errno = saved_errno;
}

void
end_as_interrupted()
{
	end_or_stop(stop_signal);	// GCOVR_EXCL_LINE
}

// A closed standard descriptor would be the next one opened, and the result
// file would take the console's place; read-only, the null device refuses
// what is written to it. A console that goes away, or a file at the size
// limit, is only a write that fails, as on Windows.
bool
guard_process()
{
	// Each lower one is open by then, so open() must hand out this one.
	for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; fd++)
		if (fcntl(fd, F_GETFD) == -1 && errno == EBADF &&
		    open("/dev/null", O_RDONLY) != fd)
			return false;
	sigset_t requests;
	sigemptyset(&requests);
	for (int sig : {SIGINT, SIGTERM, SIGHUP})
		sigaddset(&requests, sig);
	sigprocmask(SIG_UNBLOCK, &requests, nullptr);
	std::signal(SIGPIPE, SIG_IGN);
	std::signal(SIGXFSZ, SIG_IGN);
	for (int sig = 1; sig < NSIG; sig++) {
		switch (sig) {	// those whose default leaves the program be
		case SIGCHLD: case SIGURG: case SIGWINCH:
#ifdef SIGINFO
		case SIGINFO:
#endif
			continue;
		}
		take(sig);
	}
	return true;
}

// Waits for one key, as the Windows command processor's pause does. Only a
// person at a terminal can press it: scripted runs must never wait.
void
pause_console()
{
	if (!isatty(STDIN_FILENO) || !isatty(STDOUT_FILENO) ||
	    tcgetattr(STDIN_FILENO, &cooked) != 0)
		return;
	raw = cooked;
	// Without ISIG, Ctrl-C is a key too and cannot leave echo switched off;
	// without IXON, so is Ctrl-S, which would otherwise stop the output.
	raw.c_lflag &= ~(ICANON | ECHO | ISIG);
	raw.c_iflag &= ~IXON;
	raw.c_cc[VMIN] = 1;
	raw.c_cc[VTIME] = 0;
	// Switched with every signal held, so the routine never finds the
	// terminal out of step with what it is told. The flush drops keys typed
	// during the listing, before the prompt shows; in the background, the
	// routine switches the terminal once the program is brought back.
	sigset_t held, before;
	sigfillset(&held);
	sigprocmask(SIG_BLOCK, &held, &before);
	pausing = 1;
	bool background = in_background();
	if (!background)
		set_terminal(true, TCSAFLUSH);
	bool waits = switched || background;
	sigprocmask(SIG_SETMASK, &before, nullptr);
	std::cout << pause_prompt << std::flush;
	// Read from the terminal itself: what a stream still holds of N's line
	// is no key.
	char key;
	while (waits && read(STDIN_FILENO, &key, 1) < 0 && errno == EINTR)
		;
	sigprocmask(SIG_BLOCK, &held, nullptr);
	pausing = 0;
	// The flush drops the rest of a key that sends several bytes.
	if (switched)
		set_terminal(false, TCSAFLUSH);
	sigprocmask(SIG_SETMASK, &before, nullptr);
	std::cout << std::endl;
}
