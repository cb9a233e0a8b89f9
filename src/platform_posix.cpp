// What is particular to POSIX systems: descriptors, the result file's lock, signals, the encoding and the pause.
#include <cerrno>
#include <cstddef>
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

// The ways a user or the system asks a console program to stop.
static const int stop_signals[] = {SIGINT, SIGTERM, SIGHUP};
// How long a stopped run waits for the console to take its line.
static const unsigned stop_grace_seconds = 1;
static const char pause_prompt[] = "Press any key to continue . . . ";

std::atomic<int> stop_signal;
const int file_newline_length = 1;

// The result file's descriptor, the run's hold on it to the end, and which
// standard descriptors are that file too.
static int claimed_fd = -1;
static bool is_claimed_file[STDERR_FILENO + 1];

// The terminal as the pause found it, as it switches it, and which of the
// two the terminal is in now.
static struct termios cooked, raw;
static volatile std::sig_atomic_t switched;

// An action whose handler runs alone: every other signal waits, but for a
// stop, which stops even a handler.
static struct sigaction
action_of(void (*handler)(int), int flags)
{
	struct sigaction action = {};
	action.sa_handler = handler;
	action.sa_flags = flags;
	sigfillset(&action.sa_mask);
	sigdelset(&action.sa_mask, SIGTSTP);
	return action;
}

// Sets the action of a signal that was not ignored at start: a parent's
// choice to ignore one, as nohup makes, holds with no moment in which it
// does not. Safe in a handler.
static void
set_action(int sig, const struct sigaction &action)
{
	struct sigaction old;
	if (sigaction(sig, nullptr, &old) == 0 && old.sa_handler != SIG_IGN)
		sigaction(sig, &action, nullptr);
}

template <std::size_t count>
static void
set_actions(const int (&sigs)[count], const struct sigaction &action)
{
	for (int sig : sigs)
		set_action(sig, action);
}

// What runs only on the way to an end by a signal is not counted in line
// coverage: gcov's counts are lost with the process.
// GCOVR_EXCL_START

void
end_as_interrupted()
{
	std::raise(stop_signal);
}

// The console has had its moment to take the line: the stop signal, whose
// default action is back, ends the run.
static void
end_by_stop_signal(int)
{
	end_as_interrupted();
}

static void
note_stop(int sig, siginfo_t *, void *context)
{
	int saved_errno = errno;
	// The first request is the one the run ends by.
	int none = 0;
	stop_signal.compare_exchange_strong(none, sig);
	// A second request is not noted but obeyed, and a console that is not
	// read can hold the last line back for a moment only. The alarm is the
	// program's own from here on, even if it was ignored or blocked; until
	// here, one from outside ends the run as it would any program.
	set_actions(stop_signals, action_of(SIG_DFL, 0));
	struct sigaction grace = action_of(end_by_stop_signal, 0);
	sigaction(SIGALRM, &grace, nullptr);
	// The mask in force once this returns.
	sigdelset(&static_cast<ucontext_t *>(context)->uc_sigmask, SIGALRM);
	alarm(stop_grace_seconds);
	errno = saved_errno;
}

// GCOVR_EXCL_STOP

void
catch_stop_signals()
{
	struct sigaction note = action_of(nullptr, SA_RESTART | SA_SIGINFO);
	note.sa_sigaction = note_stop;
	set_actions(stop_signals, note);
}

void
release_stop_signals()
{
	set_actions(stop_signals, action_of(SIG_DFL, 0));
}

// A closed standard descriptor would be the next one opened, and the result
// file would take the console's place. A console that goes away is, as on
// Windows, only a write that fails: the listing and the file go on; so is
// a file that reaches the size limit, as a full disk would be.
bool
guard_process()
{
	// Each lower one is open by then, so open() must hand out this one.
	for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; fd++) {
		if (fcntl(fd, F_GETFD) != -1 || errno != EBADF)
			continue;
		if (open("/dev/null", O_RDWR) != fd)
			return false;
		if (fd == STDOUT_FILENO)
			std::cout.setstate(std::ios::badbit);
	}
	sigset_t stops;
	sigemptyset(&stops);
	for (int sig : stop_signals)
		sigaddset(&stops, sig);
	sigprocmask(SIG_UNBLOCK, &stops, nullptr);
	std::signal(SIGPIPE, SIG_IGN);
	std::signal(SIGXFSZ, SIG_IGN);
	return true;
}

static bool
same_file(const struct stat &a, int fd)
{
	struct stat b;
	return fstat(fd, &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// flock, not fcntl: a process loses an fcntl lock when it closes any
// descriptor of the file, as the stream does. A file system that cannot
// lock at all still lets a single run work.
claim_outcome
claim_file(const char *path)
{
	claimed_fd = open(path, O_WRONLY | O_CREAT | O_CLOEXEC | O_NOCTTY, 0666);
	struct stat file;
	if (claimed_fd < 0 || fstat(claimed_fd, &file) != 0)
		return claim_failed;
	for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; fd++)
		is_claimed_file[fd] = same_file(file, fd);
	if (flock(claimed_fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK)
		return claim_held;
	if (is_claimed_file[STDIN_FILENO])
		return claim_is_input;
	return is_claimed_file[STDOUT_FILENO] ? claim_is_console : claimed;
}

bool
standard_is_claimed_file(int fd)
{
	return is_claimed_file[fd];
}

bool
path_is_claimed_file(const char *path)
{
	struct stat named;
	return stat(path, &named) == 0 && same_file(named, claimed_fd);
}

bool
cut_claimed_file(std::int64_t length)
{
	struct stat file;
	if (fstat(claimed_fd, &file) != 0)
		return false;
	if (!S_ISREG(file.st_mode) || file.st_size <= length)
		return true;
	return ftruncate(claimed_fd, static_cast<off_t>(length)) == 0;
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

// A job that the shell has put in the background must leave the terminal
// to it. A terminal that is not the program's controlling one has no
// foreground. Safe in a handler.
static bool
in_background()
{
	pid_t foreground = tcgetpgrp(STDIN_FILENO);
	return foreground != -1 && foreground != getpgrp();
}

// Switches the terminal to raw, or gives it back. Safe in a handler.
static void
set_terminal(bool to_raw, int when)
{
	if (tcsetattr(STDIN_FILENO, when, to_raw ? &raw : &cooked) == 0)
		switched = to_raw;
}

// GCOVR_EXCL_START

// The terminal is put back before the program ends by the signal's default
// action, which SA_RESETHAND has restored: it is taken once this returns.
static void
give_back_and_end(int sig)
{
	if (switched)
		set_terminal(false, TCSANOW);
	std::raise(sig);
}

// GCOVR_EXCL_STOP

static bool
stops(int sig)
{
	return sig == SIGTSTP || sig == SIGTTIN || sig == SIGTTOU;
}

static struct sigaction
stop_action(int sig);

// Put back while the program is stopped; switched again by resume_pause.
static void
give_back_and_stop(int sig)
{
	int saved_errno = errno;
	if (switched)
		set_terminal(false, TCSANOW);
	std::raise(sig);
	set_action(sig, stop_action(sig));
	errno = saved_errno;
}

// The stop itself must reach the handler that raises it.
static struct sigaction
stop_action(int sig)
{
	struct sigaction action = action_of(give_back_and_stop,
	    SA_RESETHAND | SA_NODEFER);
	sigdelset(&action.sa_mask, sig);
	return action;
}

// Continued, the pause switches the terminal again only in the foreground;
// in the background its read stops it until the shell brings it back and
// continues it once more.
static void
resume_pause(int)
{
	int saved_errno = errno;
	if (!switched && !in_background())
		set_terminal(true, TCSANOW);
	errno = saved_errno;
}

// Every signal whose default action ends or stops the program and that can
// be caught, as the system numbers them: while the pause has the terminal
// switched, each gives it back first. One ignored at start stays ignored.
static void
set_pause_actions(bool pausing)
{
	for (int sig = 1; sig < NSIG; sig++) {
		switch (sig) {
		case SIGCHLD: case SIGCONT: case SIGURG: case SIGWINCH:
		case SIGKILL: case SIGSTOP:
#ifdef SIGINFO
		case SIGINFO:
#endif
			continue;
		}
		if (!pausing)
			set_action(sig, action_of(SIG_DFL, 0));
		else if (stops(sig))
			set_action(sig, stop_action(sig));
		else
			set_action(sig, action_of(give_back_and_end, SA_RESETHAND));
	}
	set_action(SIGCONT, action_of(pausing ? resume_pause : SIG_DFL, 0));
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
	// Handlers come and go, and the terminal switches, with every signal
	// held back: none can find the two out of step.
	sigset_t held, before;
	sigfillset(&held);
	sigprocmask(SIG_BLOCK, &held, &before);
	set_pause_actions(true);
	// Flushing drops keys typed during the listing, so the pause holds. The
	// terminal is switched before the prompt shows: a key pressed once it
	// is on the screen is never flushed away. In the background the
	// terminal is switched once the program is brought back.
	bool background = in_background();
	if (!background)
		set_terminal(true, TCSAFLUSH);
	bool waits = switched || background;
	sigprocmask(SIG_SETMASK, &before, nullptr);
	std::cout << pause_prompt << std::flush;
	// The key is read from the terminal itself: what a stream still holds
	// of N's line, or of anything typed before the flush, is no key.
	char key;
	while (waits && read(STDIN_FILENO, &key, 1) < 0 && errno == EINTR)
		;

	sigprocmask(SIG_BLOCK, &held, nullptr);
	// Flushing again drops the rest of a key that sends several bytes.
	if (switched)
		set_terminal(false, TCSAFLUSH);
	set_pause_actions(false);
	sigprocmask(SIG_SETMASK, &before, nullptr);
	std::cout << std::endl;
}
