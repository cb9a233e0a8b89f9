// What is particular to POSIX systems: descriptors, the result file's lock, signals, the encoding and the pause.
#include <cerrno>
#include <cstddef>
#include <csignal>
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
// Every signal that can be caught and whose default action ends the
// program, but for the real-time ones, which all do: while the pause has
// the terminal switched, each gives it back first.
static const int ending_signals[] = {SIGABRT, SIGALRM, SIGBUS, SIGFPE,
    SIGHUP, SIGILL, SIGINT, SIGPIPE, SIGPROF, SIGQUIT, SIGSEGV, SIGSYS,
    SIGTERM, SIGTRAP, SIGUSR1, SIGUSR2, SIGVTALRM, SIGXCPU, SIGXFSZ};
// How long a stopped run waits for the console to take its line.
static const unsigned stop_grace_seconds = 1;
static const char pause_prompt[] = "Press any key to continue . . . ";

std::atomic<int> stop_signal;
const int file_newline_length = 1;

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

static void
set_ending_actions(const struct sigaction &action)
{
	set_actions(ending_signals, action);
#ifdef SIGRTMIN
	for (int sig = SIGRTMIN; sig <= SIGRTMAX; sig++)
		set_action(sig, action);
#endif
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
	for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; fd++)
		if (fcntl(fd, F_GETFD) == -1 && errno == EBADF &&
		    open("/dev/null", O_RDWR) != fd)
			return false;
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
// lock at all still lets a single run work. The descriptor stays open, and
// the lock with it, until the process ends.
bool
claim_result_file(const char *path)
{
	int fd = open(path, O_WRONLY | O_CREAT | O_CLOEXEC | O_NOCTTY, 0666);
	struct stat file;
	if (fd < 0 || fstat(fd, &file) != 0)
		return false;
	if (flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK)
		return false;
	return !same_file(file, STDIN_FILENO) && !same_file(file, STDOUT_FILENO);
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

// Put back while the program is stopped; switched again by resume_pause.
static void
give_back_and_suspend(int)
{
	int saved_errno = errno;
	if (switched)
		set_terminal(false, TCSANOW);
	std::raise(SIGTSTP);
	set_action(SIGTSTP, action_of(give_back_and_suspend,
	    SA_RESETHAND | SA_NODEFER));
	errno = saved_errno;
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
	set_ending_actions(action_of(give_back_and_end, SA_RESETHAND));
	set_action(SIGTSTP, action_of(give_back_and_suspend,
	    SA_RESETHAND | SA_NODEFER));
	set_action(SIGCONT, action_of(resume_pause, 0));
	// The key comes through cin, which may have failed on N and may still
	// hold the rest of its line; neither is a key. Only what is at hand is
	// dropped: nothing here waits.
	std::cin.clear();
	char rest[64];
	while (std::cin.readsome(rest, sizeof rest) > 0)
		;
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
	if (waits)
		std::cin.get();

	sigprocmask(SIG_BLOCK, &held, nullptr);
	// Flushing again drops the rest of a key that sends several bytes.
	if (switched)
		set_terminal(false, TCSAFLUSH);
	set_ending_actions(action_of(SIG_DFL, 0));
	set_action(SIGTSTP, action_of(SIG_DFL, 0));
	set_action(SIGCONT, action_of(SIG_DFL, 0));
	sigprocmask(SIG_SETMASK, &before, nullptr);
	std::cout << std::endl;
}
