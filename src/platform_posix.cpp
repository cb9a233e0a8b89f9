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
// What ends the program while the pause has the terminal switched.
static const int ending_signals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
static const int suspend_signal[] = {SIGTSTP};
// How long a stopped run waits for the console to take its line.
static const unsigned stop_grace_seconds = 1;
static const char pause_prompt[] = "Press any key to continue . . . ";

std::atomic<int> stop_signal;
const int file_newline_length = 1;

// The terminal as the pause found it, and as it switches it.
static struct termios cooked, raw;

// Sets the action of each signal that was not ignored at start: a parent's
// choice to ignore one, as nohup makes, holds with no moment in which it
// does not. Handlers run one at a time; only a suspension comes between.
// Safe in a handler.
template <std::size_t count>
static void
set_actions(const int (&sigs)[count], void (*handler)(int), int flags)
{
	struct sigaction action = {};
	action.sa_handler = handler;
	action.sa_flags = flags;
	sigfillset(&action.sa_mask);
	sigdelset(&action.sa_mask, SIGTSTP);
	for (int sig : sigs) {
		struct sigaction old;
		if (sigaction(sig, nullptr, &old) == 0 && old.sa_handler != SIG_IGN)
			sigaction(sig, &action, nullptr);
	}
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
note_stop(int sig)
{
	int saved_errno = errno;
	stop_signal = sig;
	// A second request is not noted but obeyed, and a console that is not
	// read can hold the last line back for a moment only.
	set_actions(stop_signals, SIG_DFL, 0);
	alarm(stop_grace_seconds);
	errno = saved_errno;
}

// The terminal is put back before the program ends by the signal's default
// action, which SA_RESETHAND has restored: it is taken once this returns.
static void
restore_and_end(int sig)
{
	tcsetattr(STDIN_FILENO, TCSANOW, &cooked);
	std::raise(sig);
}

// GCOVR_EXCL_STOP

void
catch_stop_signals()
{
	// The alarm is the program's own, so it is taken even if ignored.
	struct sigaction grace = {};
	grace.sa_handler = end_by_stop_signal;
	sigaction(SIGALRM, &grace, nullptr);
	set_actions(stop_signals, note_stop, SA_RESTART);
}

void
release_stop_signals()
{
	set_actions(stop_signals, SIG_DFL, 0);
}

// A closed standard descriptor would be the next one opened, and the result
// file would take the console's place. A console that goes away is, as on
// Windows, only a write that fails: the listing and the file go on; so is
// a file that reaches the size limit, as a full disk would be.
bool
guard_streams()
{
	// Each lower one is open by then, so open() must hand out this one.
	for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; fd++)
		if (fcntl(fd, F_GETFD) == -1 && errno == EBADF &&
		    open("/dev/null", O_RDWR) != fd)
			return false;
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

// Put back while the program is stopped, switched again once it goes on.
static void
restore_and_suspend(int)
{
	int saved_errno = errno;
	tcsetattr(STDIN_FILENO, TCSANOW, &cooked);
	std::raise(SIGTSTP);
	tcsetattr(STDIN_FILENO, TCSANOW, &raw);
	set_actions(suspend_signal, restore_and_suspend,
	    SA_RESETHAND | SA_NODEFER);
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
	// Without ISIG, Ctrl-C is a key too and cannot leave echo switched off.
	raw.c_lflag &= ~(ICANON | ECHO | ISIG);
	raw.c_cc[VMIN] = 1;
	raw.c_cc[VTIME] = 0;
	set_actions(ending_signals, restore_and_end, SA_RESETHAND);
	set_actions(suspend_signal, restore_and_suspend,
	    SA_RESETHAND | SA_NODEFER);
	// The key comes through cin, which may have failed on N and may still
	// hold the rest of its line; neither is a key. Only what is at hand is
	// dropped: nothing here waits.
	std::cin.clear();
	char held[64];
	while (std::cin.readsome(held, sizeof held) > 0)
		;
	// Flushing drops keys typed during the listing, so the pause holds. The
	// terminal is switched before the prompt shows: a key pressed once it
	// is on the screen is never flushed away.
	bool raw_set = tcsetattr(STDIN_FILENO, TCSAFLUSH, &raw) == 0;
	std::cout << pause_prompt << std::flush;
	if (raw_set)
		std::cin.get();

	// Signals wait until the terminal is back and their actions are the
	// defaults again, so that none can switch it once more.
	sigset_t all, before;
	sigfillset(&all);
	sigprocmask(SIG_BLOCK, &all, &before);
	// Flushing again drops the rest of a key that sends several bytes.
	tcsetattr(STDIN_FILENO, TCSAFLUSH, &cooked);
	set_actions(ending_signals, SIG_DFL, 0);
	set_actions(suspend_signal, SIG_DFL, 0);
	sigprocmask(SIG_SETMASK, &before, nullptr);
	std::cout << std::endl;
}
