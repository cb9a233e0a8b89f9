// What is particular to POSIX systems: descriptors, signals, the encoding and the pause.
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <iostream>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include "partitions.h"

// The ways a user or the system asks a console program to stop.
static const int stop_signals[] = {SIGINT, SIGTERM, SIGHUP};

volatile std::sig_atomic_t stop_signal;

static void
note_stop(int sig)
{
	stop_signal = sig;
}

// A signal the program was started with ignored stays ignored.
static void
set_stop_action(void (*action)(int))
{
	for (int sig : stop_signals)
		if (std::signal(sig, action) == SIG_IGN)
			std::signal(sig, SIG_IGN);
}

void
catch_stop_signals()
{
	set_stop_action(note_stop);
}

void
release_stop_signals()
{
	set_stop_action(SIG_DFL);
}

static const char pause_prompt[] = "Press any key to continue . . . ";

// A closed standard descriptor would be the next one opened, and the result
// file would take the console's place. A console that goes away is, as on
// Windows, only a write that fails: the listing and the file go on.
void
guard_standard_streams()
{
	// Each lower one is open by then, so open() hands out this one.
	for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; fd++)
		if (fcntl(fd, F_GETFD) == -1 && errno == EBADF)
			open("/dev/null", O_RDWR);
	std::signal(SIGPIPE, SIG_IGN);
}

bool
console_takes_utf8()
{
	return true;
}

// Waits for one key, as the Windows command processor's pause does. Only a
// person at a terminal can press it: scripted runs must never wait.
void
pause_console()
{
	struct termios saved;
	if (!isatty(STDIN_FILENO) || !isatty(STDOUT_FILENO) ||
	    tcgetattr(STDIN_FILENO, &saved) != 0)
		return;

	struct termios raw = saved;
	// Without ISIG, Ctrl-C is a key too and cannot leave echo switched off.
	raw.c_lflag &= ~(ICANON | ECHO | ISIG);
	raw.c_cc[VMIN] = 1;
	raw.c_cc[VTIME] = 0;
	// Flushing drops keys typed during the listing, so the pause holds. The
	// terminal is switched before the prompt shows: a key pressed once it
	// is on the screen is never flushed away.
	bool raw_set = tcsetattr(STDIN_FILENO, TCSAFLUSH, &raw) == 0;
	std::cout << pause_prompt << std::flush;
	if (raw_set) {
		char key;
		while (read(STDIN_FILENO, &key, 1) < 0 && errno == EINTR)
			;
		// Flushing again drops the rest of a key that sends several bytes.
		tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
	}
	std::cout << std::endl;
}
